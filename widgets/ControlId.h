#pragma once

#include <QWidget>

// Numeric control ids as the dialog templates give them, so other parts can fetch a page's control
// by its id. User-interface thread only.
void SetControlId(QWidget& control, int id);
// The child of parent (at any depth) with that id, or null.
QWidget* FindControl(const QWidget& parent, int id);
