#pragma once

#include <QDialog>
#include <QMenuBar>

#include <functional>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/MessageBox.h"
#include "runtime/Runtime.h"
#include "server/ServerStatusLine.h"
#include "server/StartTcpServer.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/MyTabCtrl.h"
#include "widgets/BCMenu.h"
#include "widgets/CButtonST.h"

class QTreeWidget;

// The storage operations of the start-up; tests replace them to watch the order. Left empty, they
// are the runtime's database and registry stages.
struct StartupOperations {
    std::function<void(CSQLDatabase&, IMessageBox&)> openDatabase;
    CPageRtuList::RegistryLoader loadRegistry;
};

// The main window: tab control with the four pages, status line, look button and the view menu. Its
// initialisation is the program's start-up: pages, then the runtime's stages up to the server (event
// log, spool, history recording, server), then the posted open-database command and the posted
// reload of the RTU list; the monitoring endpoint follows (StartMonitoring).
//
// Threads: user-interface thread only; workers reach it through the raw data page and the RTU state
// page, never through this class.
class CTelvornDlg final : public QDialog, private IStatusLine {
public:
    explicit CTelvornDlg(IMessageBox& messageBox, StartupOperations operations = {});
    // Stops the server (after detaching the pages from it) and closes the database.
    ~CTelvornDlg() override;

    // False when the start failed such that the program must end (another Telvorn holds the
    // spool): the reason has been shown in a message box.
    bool OnInitDialog();
    // The runtime's last stage, the monitoring endpoint; after OnInitDialog.
    void StartMonitoring();
    void OnCommand(int commandId);
    // Cuts the workers off the pages (waiting for calls under way), then stops the runtime: the
    // server decodes what it has received and ends its threads, the spool keeps what the database
    // has not taken, the database closes. What must happen before the process may end.
    void Teardown();

    CMyTabCtrl& Tabs() const { return *tabs; }
    CButtonST& StatusLine() const { return *statusLine; }
    CButtonST& LookButton() const { return *lookButton; }
    BCMenu& ViewMenu() const { return *viewMenu; }
    QMenuBar& MenuBar() const { return *menuBar; }
    CSQLDatabase& Database() { return runtime.Database(); }
    const RunningServer& Server() const { return runtime.Server(); }
    // The size of the area below the menu bar that holds the controls.
    QSize ClientSize() const;
    void ResizeClientArea(QSize size);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetText(const std::string& text) override;
    void BuildViewMenu();
    void ArrangeWindow();
    void LayoutControls();
    QSize MinimumWindowSize() const;
    QSize OpeningClientSize(QSize templateSize) const;
    void PostWindowCommand(int commandId);
    void ShowAbout();
    void ApplyCustomLook();
    StartupOperations WithRuntimeStages(StartupOperations given);

    IMessageBox& messageBox;
    StartupOperations operations;
    // The database, the history and the server; workers use them until the process ends.
    Runtime runtime;
    IniFileReader uiIni;
    QMenuBar* menuBar;
    BCMenu* viewMenu;
    QWidget* client;
    CMyTabCtrl* tabs;
    CButtonST* statusLine;
    CButtonST* lookButton;
    QTreeWidget* registerList = nullptr;
    bool tornDown = false;
};
