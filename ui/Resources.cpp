#include "ui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope, so it must be called outside any namespace.
void InitTelvornResources() { Q_INIT_RESOURCE(resources); }
