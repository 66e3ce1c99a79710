#include "ui/TelvornDlg.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "platform/profile/ProfileSettings.h"
#include "ui/AboutDlg.h"
#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"
#include "ui/PageTcpRowData.h"
#include "ui/ResourceIds.h"
#include "ui/UiText.h"
#include "widgets/ControlId.h"
#include "widgets/DialogUnits.h"
#include "widgets/ResourceIcon.h"

namespace {

constexpr int kViewMenuBitmaps[] = {IDB_MENU_RTU_LIST, IDB_MENU_RAW_DATA, IDB_MENU_RTU_STATE};
// The look button's owner-drawn tab look: back colour, draw mode 2, all five look flags.
const QColor kCustomLookColor(30, 60, 30);
constexpr int kCustomDrawMode = 2;
constexpr unsigned kAllLookFlags = 0x1f;

// Layout of the client area (width W, height H): the tab control at (8, 12), (W - 16) x (H - 44); the
// pages below a 32-pixel band of it; status line and look button 22 pixels above the bottom.
constexpr int kTabLeft = 8;
constexpr int kTabTop = 12;
constexpr int kTabSpareWidth = 16;
constexpr int kTabSpareHeight = 44;
constexpr int kPageBand = 32;
constexpr int kBottomLineOffset = 22;
constexpr int kBottomLineHeight = 18;
constexpr QRect kStatusLineSpan(4, 0, 600, kBottomLineHeight);
constexpr QRect kLookButtonSpan(608, 0, 900, kBottomLineHeight);
// How much of the look button the window keeps in view: enough to click it.
constexpr int kLookButtonReach = 24;
// The least page area the window keeps; a page larger than its area scrolls. Small enough that the
// window fits a 1024 x 768 screen, as industrial panel PCs have, with room for its frame.
constexpr QSize kLeastPageArea(320, 240);

}  // namespace

CTelvornDlg::CTelvornDlg(IMessageBox& messageBox, StartupOperations operations)
    : messageBox(messageBox),
      operations(WithRuntimeStages(std::move(operations))),
      runtime(messageBox, RuntimeOptions{{}, true}),
      menuBar(new QMenuBar(this)),
      viewMenu(new BCMenu(QString(), this)),
      client(new QWidget(this)),
      tabs(new CMyTabCtrl(client, runtime.Database(), this->operations.loadRegistry, messageBox)),
      statusLine(new CButtonST(client)),
      lookButton(new CButtonST(client)) {
    setFont(DialogFont());
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    DialogUnits units(font());
    SetControlId(*tabs, IDC_TAB);
    SetControlId(*statusLine, IDC_STATUS_LINE);
    SetControlId(*lookButton, IDC_LOOK_BUTTON);
    tabs->setGeometry(units.Rect(7, 7, 652, 316));
    statusLine->setGeometry(units.Rect(7, 362, 319, 16));
    lookButton->setGeometry(units.Rect(331, 362, 88, 16));
    // Enter must not press the status line or the look button.
    statusLine->setAutoDefault(false);
    lookButton->setAutoDefault(false);

    // The status line is a button only for its look: a click on it does nothing.
    connect(lookButton, &QPushButton::clicked, this, &CTelvornDlg::ApplyCustomLook);
    viewMenu->SetCommandHandler([this](int commandId) { OnCommand(commandId); });

    setMinimumSize(MinimumWindowSize());
    ResizeClientArea(OpeningClientSize(units.Size(666, 385)));
}

CTelvornDlg::~CTelvornDlg() {
    Teardown();
    runtime.Stop();
}

StartupOperations CTelvornDlg::WithRuntimeStages(StartupOperations given) {
    if (!given.openDatabase) given.openDatabase = [this](CSQLDatabase&, IMessageBox&) { runtime.OpenDatabase(); };
    if (!given.loadRegistry) given.loadRegistry = [this](CSQLDatabase&) { return runtime.ReloadRegistry().rows; };
    return given;
}

bool CTelvornDlg::OnInitDialog() {
    uiIni.setFile(kUiIniPath);

    setWindowTitle(QStringLiteral("Telvorn (Release Version 1.44) for GPRS RTU %1").arg("Ms Access"));
    // Given an empty title the window system shows the program's name instead; a blank reads as empty.
    const QString title = IniText(uiIni, kTitlesSection, "SYSTITLE");
    setWindowTitle(title.isEmpty() ? QStringLiteral(" ") : title);

    statusLine->SetIconNumber(IDB_STATUS_SERVER);
    lookButton->SetIconNumber(0);

    tabs->LayoutPages();
    registerList = &tabs->ModbusRegsPage().RegisterList();

    BuildViewMenu();
    // The menu bar has its entry now, and with it its final height.
    setMinimumSize(MinimumWindowSize());
    setWindowIcon(ResourceIcon(IDI_APPLICATION));

    RuntimeFront front;
    front.statusLine = this;
    front.rawDataList = &tabs->RawDataPage();
    front.statePage = &tabs->RtuStatePage();
    // The list shows what the registry holds once a database that did not open at start answers.
    front.databaseBack = [this] { PostCommand(tabs->RtuListPage(), CMD_RELOAD_RTU_LIST); };
    runtime.SetFront(front);
    if (!runtime.Start(RuntimeStage::kServer)) return false;
    // Posted in this order, after the server started: the database is open before the registry is read.
    PostWindowCommand(CMD_OPEN_DATABASE);
    PostCommand(tabs->RtuListPage(), CMD_RELOAD_RTU_LIST);
    return true;
}

void CTelvornDlg::StartMonitoring() { runtime.Start(RuntimeStage::kEndpoint); }

void CTelvornDlg::BuildViewMenu() {
    for (int i = 0; i < 3; ++i) {
        viewMenu->AppendItem(CMD_VIEW_PAGE0 + i, IniText(uiIni, kTitlesSection, "Page" + std::to_string(i)),
                             ResourceIcon(kViewMenuBitmaps[i]));
    }
    QString caption = IniText(uiIni, kMenuSection, "View");
    viewMenu->setTitle(caption);
    menuBar->addMenu(viewMenu);
    menuBar->actions().front()->setText(caption);
}

void CTelvornDlg::OnCommand(int commandId) {
    switch (commandId) {
        case CMD_ABOUT:
            ShowAbout();
            break;
        case CMD_OPEN_DATABASE:
            operations.openDatabase(runtime.Database(), messageBox);
            break;
        case CMD_VIEW_PAGE0:
        case CMD_VIEW_PAGE1:
        case CMD_VIEW_PAGE2:
            tabs->selectPage(commandId - CMD_VIEW_PAGE0);
            break;
        default:
            break;
    }
}

void CTelvornDlg::Teardown() {
    if (tornDown) {
        return;
    }
    tornDown = true;
    tabs->RawDataPage().Detach();
    tabs->RtuStatePage().Detach();
    runtime.Stop();
}

void CTelvornDlg::PostWindowCommand(int commandId) {
    QMetaObject::invokeMethod(
        this, [this, commandId] { OnCommand(commandId); }, Qt::QueuedConnection);
}

void CTelvornDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CTelvornDlg::ApplyCustomLook() {
    tabs->SetCustomLook(kCustomLookColor, kCustomDrawMode, kAllLookFlags);
    tabs->update();
    update();
}

void CTelvornDlg::SetText(const std::string& text) { statusLine->setText(UiText(text)); }

QSize CTelvornDlg::ClientSize() const { return client->size(); }

void CTelvornDlg::ResizeClientArea(QSize size) {
    resize(size.width(), size.height() + menuBar->sizeHint().height());
    // A hidden window gets its resize event only when shown; the controls follow at once.
    ArrangeWindow();
}

void CTelvornDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ArrangeWindow();
}

void CTelvornDlg::ArrangeWindow() {
    int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), menuHeight);
    client->setGeometry(0, menuHeight, width(), height() - menuHeight);
    LayoutControls();
}

void CTelvornDlg::LayoutControls() {
    int w = client->width();
    int h = client->height();
    tabs->setGeometry(kTabLeft, kTabTop, w - kTabSpareWidth, h - kTabSpareHeight);
    QRect area = tabs->rect();
    tabs->PlacePages(QRect(area.left(), area.top() + kPageBand, area.width(), area.height() - kPageBand));
    statusLine->setGeometry(kStatusLineSpan.translated(0, h - kBottomLineOffset));
    lookButton->setGeometry(kLookButtonSpan.translated(0, h - kBottomLineOffset));
}

// The smallest window whose client area, laid out as above, holds the least page area, the whole tab
// strip, the whole status line and enough of the look button to click it.
QSize CTelvornDlg::MinimumWindowSize() const {
    const int width =
        std::max({kLeastPageArea.width() + kTabSpareWidth, tabs->TabBar().sizeHint().width() + kTabSpareWidth,
                  kStatusLineSpan.right() + 1, kLookButtonSpan.left() + kLookButtonReach});
    const int height = kLeastPageArea.height() + kPageBand + kTabSpareHeight;
    return QSize(width, height + menuBar->sizeHint().height());
}

// The template's size, on a screen too small for it the whole of the screen's free area.
QSize CTelvornDlg::OpeningClientSize(QSize templateSize) const {
    const QScreen* shownOn = screen();
    if (shownOn == nullptr) {
        return templateSize;
    }
    const QSize room = shownOn->availableGeometry().size() - QSize(0, menuBar->sizeHint().height());
    return templateSize.boundedTo(room);
}

// Escape would reject the dialog, which ends the program and with it the server of every RTU. The
// window closes only by its close box.
void CTelvornDlg::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTelvornDlg::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
    QPainter painter(this);
    painter.drawPixmap((width() - iconSize + 1) / 2, (height() - iconSize + 1) / 2,
                       ResourcePixmap(IDI_APPLICATION, QSize(iconSize, iconSize)));
}

// The window manager owns the system menu; its About item is offered on the window's own context menu.
void CTelvornDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu systemMenu(this);
    QAction* about = systemMenu.addAction(ResourceIcon(IDI_APPLICATION), "About Telvorn...");
    if (systemMenu.exec(event->globalPos()) == about) {
        OnCommand(CMD_ABOUT);
    }
}
