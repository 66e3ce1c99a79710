#pragma once

#include <QDialog>

// The About box: application icon, program name and version. User-interface thread only.
class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent);
};
