#pragma once

#include <QFont>

#include "widgets/DialogUnits.h"

// The pages' list and button font: Arial, 14 pixels high, normal weight.
inline QFont PageListFont() { return CellHeightFont(QStringLiteral("Arial"), 14); }
