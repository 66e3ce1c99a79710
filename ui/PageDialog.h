#pragma once

#include <QWidget>

#include "widgets/DialogUnits.h"

// A page of the main window's tab control, built from its dialog template: the controls are placed in
// dialog units of the template font. Commands reach it through OnCommand, called directly or posted.
// User-interface thread only.
class CPageDialog : public QWidget {
public:
    CPageDialog(QWidget* parent, int templateId, int widthUnits, int heightUnits);

    int TemplateId() const { return templateId; }
    // The smallest size at which every control of the page can be reached: where its controls reach,
    // hidden ones included, for a page that keeps them where the template puts them.
    virtual QSize MinimumSize() const;
    const DialogUnits& Units() const { return units; }
    // Places a control at its template position (dialog units) and gives it its control id.
    void PlaceControl(QWidget& control, int id, int x, int y, int width, int height);

    virtual void OnCommand(int commandId);

private:
    int templateId;
    DialogUnits units;
};

// Queues the command for the page's thread; returns at once (a posted command message).
void PostCommand(CPageDialog& page, int commandId);
