#pragma once

#include <QIcon>
#include <QPixmap>

// Icon or bitmap `number` of the resource file (":/icons/<number>.svg"). A null icon when the
// number has no entry or the resources were not initialised.
QIcon ResourceIcon(int number);
QPixmap ResourcePixmap(int number, QSize size);
