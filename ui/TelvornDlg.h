#pragma once

#include <QDialog>
#include <QMenuBar>

#include <functional>
#include <memory>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/MessageBox.h"
#include "server/ServerStatusLine.h"
#include "server/StartTcpServer.h"
#include "storage/HistoryRecorder.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/DatabaseStartup.h"
#include "ui/MyTabCtrl.h"
#include "web/RawDataTail.h"
#include "widgets/BCMenu.h"
#include "widgets/CButtonST.h"

class QTreeWidget;

// The storage operations of the start-up; tests replace them to watch the order.
struct StartupOperations {
    std::function<void(CSQLDatabase&, IMessageBox&)> openDatabase = OpenTelvornDatabase;
    CPageRtuList::RegistryLoader loadRegistry = LoadRtuRegistry;
};

// The main window: tab control with the four pages, status line, look button and the view menu. Its
// initialisation is the program's start-up: settings, pages, event log, server, then the posted
// open-database command and the posted reload of the RTU list.
//
// Threads: user-interface thread only; workers reach it through the raw data page and the RTU state
// page, never through this class.
class CTelvornDlg final : public QDialog, private IStatusLine {
public:
    explicit CTelvornDlg(IMessageBox& messageBox, StartupOperations operations = {});
    // Stops the server (after detaching the pages from it) and closes the database.
    ~CTelvornDlg() override;

    void OnInitDialog();
    void OnCommand(int commandId);
    // Cuts the workers off the pages (waiting for calls under way) and closes the database: what must
    // happen before the process may end with server threads still running.
    void Teardown();

    CMyTabCtrl& Tabs() const { return *tabs; }
    CButtonST& StatusLine() const { return *statusLine; }
    CButtonST& LookButton() const { return *lookButton; }
    BCMenu& ViewMenu() const { return *viewMenu; }
    QMenuBar& MenuBar() const { return *menuBar; }
    CSQLDatabase& Database() { return database; }
    const CHistoryRecorder& History() const { return history; }
    const RunningServer& Server() const { return running; }
    // The raw-data lines the web console's raw page shows; null before OnInitDialog.
    const RawDataTail* RawDataLines() const { return rawDataTail.get(); }
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

    IMessageBox& messageBox;
    StartupOperations operations;
    CSQLDatabase database;
    // Handed to the server; workers record through it until the process ends.
    CHistoryRecorder history{&database};
    IniFileReader uiIni;
    QMenuBar* menuBar;
    BCMenu* viewMenu;
    QWidget* client;
    CMyTabCtrl* tabs;
    CButtonST* statusLine;
    CButtonST* lookButton;
    // Keeps the newest raw-data lines for the web console and hands each on to the raw data page.
    std::unique_ptr<RawDataTail> rawDataTail;
    IRawDataList* rawDataList = nullptr;
    QTreeWidget* registerList = nullptr;
    RunningServer running;
    bool tornDown = false;
};
