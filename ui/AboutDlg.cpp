#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/ResourceIds.h"
#include "widgets/ResourceIcon.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Telvorn");
    auto* icon = new QLabel(this);
    icon->setPixmap(ResourcePixmap(IDI_APPLICATION, QSize(48, 48)));
    auto* text = new QLabel("Telvorn Version 1.44\nServer for GPRS RTU fleets", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(buttons);
}
