#include "ui/PageRtuList.h"

#include <QContextMenuEvent>
#include <QHeaderView>

#include "core/RtuTable.h"
#include "platform/profile/IniFileReader.h"
#include "platform/profile/ProfileSettings.h"
#include "ui/CurrentRtu.h"
#include "ui/DyInputView.h"
#include "ui/PageFonts.h"
#include "ui/PageRtuState.h"
#include "ui/ResourceIds.h"
#include "ui/UiText.h"
#include "widgets/BCMenu.h"
#include "widgets/CDataTipDelegate.h"
#include "widgets/ResourceIcon.h"

namespace {
constexpr int kColumnWidth = 80;
// The list's width when the form is beside it, and the least height that keeps a few rows in view.
constexpr int kCollapsedListWidth = 456;
constexpr int kLeastListHeight = 100;
// The layout's distance from the list and the form to the page's bottom and right edges.
constexpr int kEdgeMargin = 16;
const QColor kHeadingColor(44, 101, 133);

QString PageText(const char* key) { return IniText(IniFileReader(kUiIniPath), kRtuListTextSection, key); }
}  // namespace

// The template gives no size of its own; the page fills the tab control's display area.
CPageRtuList::CPageRtuList(QWidget* parent, CSQLDatabase& database, RegistryLoader loader, IMessageBox& box)
    : CPageDialog(parent, kTemplateId, 650, 300),
      database(database),
      loadRegistry(std::move(loader)),
      box(box),
      columnCaptions(ReadRtuColumnCaptions()),
      headingIcon(new CXColorStatic(this)),
      headingText(new CXColorStatic(this, PageText("PageTitle"))),
      list(new QTreeWidget(this)),
      addButton(MakeButton(CMD_ADD_RTU, IDI_ADD, 276, &CPageRtuList::Add)),
      viewButton(MakeButton(CMD_VIEW_RTU, IDI_VIEW, 306, &CPageRtuList::View)),
      editButton(MakeButton(CMD_EDIT_SELECTED_RTU, 0, 335, &CPageRtuList::EditSelected)),
      reloadButton(MakeButton(CMD_RELOAD_RTU_LIST, IDI_RELOAD, 492, &CPageRtuList::Reload)),
      expandButton(MakeButton(IDC_RTU_LIST_EXPAND, IDI_EXPAND, 0, &CPageRtuList::ToggleExpanded)),
      inputPanel(new CDyInputView(this, database, box)) {
    PlaceControl(*expandButton, IDC_RTU_LIST_EXPAND, 7, 21, 16, 12);
    editButton->hide();
    reloadButton->hide();
    headingIcon->SetBackgroundColor(kHeadingColor);
    headingIcon->setPixmap(ResourcePixmap(IDI_RTU_HEADING, QSize(32, 32)));
    headingIcon->setAlignment(Qt::AlignCenter);
    headingText->SetBackgroundColor(kHeadingColor);
    headingText->SetTextColor(Qt::white);
    headingText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetUpList();
    inputPanel->buildRows(columnCaptions);
    PlaceInputPanel();

    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { PostCommand(*this, CMD_EDIT_SELECTED_RTU); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { PostCommand(*this, CMD_SHOW_SELECTED_RTU); });
    LayOut();
}

CButtonST* CPageRtuList::MakeButton(int id, int icon, int x, void (CPageRtuList::*handler)()) {
    auto* button = new CButtonST(this);
    PlaceControl(*button, id, x, 24, 26, 17);
    button->SetIconNumber(icon);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

void CPageRtuList::SetUpList() {
    PlaceControl(*list, IDC_RTU_LIST, 7, 36, 265, 232);
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setUniformRowHeights(true);
    list->setIconSize(QSize(16, 16));
    list->setItemDelegate(new CDataTipDelegate(list));
    list->setFont(PageListFont());
    // Grid lines; a style sheet on the items needs the selection colours spelt out as well.
    list->setStyleSheet(
        QStringLiteral("QTreeView::item { border: 1px solid #d0d0d0; }"
                       "QTreeView::item:selected { background: palette(highlight);"
                       " color: palette(highlighted-text); }"));
    const int columns = std::max<int>(kCellsPerRow, static_cast<int>(columnCaptions.size()));
    list->setColumnCount(columns);
    QStringList captions;
    for (const std::string& caption : columnCaptions) {
        captions << UiText(caption);
    }
    list->setHeaderLabels(captions);
    // Every column keeps its width; an expanded list shows empty space after the last one.
    list->header()->setStretchLastSection(false);
    for (int i = 0; i < columns; ++i) {
        list->header()->resizeSection(i, kColumnWidth);
        list->setColumnHidden(i, i >= static_cast<int>(columnCaptions.size()));
    }
}

void CPageRtuList::LinkStatePage(CPageRtuState* page, PageSelector selector) {
    statePage = page;
    selectPage = std::move(selector);
}

void CPageRtuList::resizeEvent(QResizeEvent* event) {
    CPageDialog::resizeEvent(event);
    LayOut();
}

void CPageRtuList::LayOut() {
    const int w = width();
    const int h = height();
    headingIcon->setGeometry(8, 4, 48, 34);
    headingText->setGeometry(56, 4, w - 62, 34);
    list->setGeometry(8, 62, expanded ? w - 28 : kCollapsedListWidth, h - 78);
}

// Once, at the page's first size: beside the add button, to the right edge and 8 pixels above the
// bottom. The layout moves only the list and the heading.
void CPageRtuList::PlaceInputPanel() {
    const QRect add = addButton->geometry();
    inputPanel->setGeometry(
        QRect(QPoint(add.left() + 20, add.bottom() + 1 + 8), QPoint(width() - 1, height() - 1 - 8)));
}

QSize CPageRtuList::MinimumSize() const {
    QRect needed = headingIcon->geometry() | expandButton->geometry() | addButton->geometry() | viewButton->geometry();
    needed |= QRect(list->x(), list->y(), kCollapsedListWidth, kLeastListHeight);
    needed |= inputPanel->ContentsExtent().translated(inputPanel->pos());
    return QSize(needed.right() + 1 + kEdgeMargin, needed.bottom() + 1 + kEdgeMargin);
}

void CPageRtuList::OnCommand(int commandId) {
    switch (commandId) {
        case CMD_RELOAD_RTU_LIST:
            Reload();
            break;
        case CMD_ADD_RTU:
            Add();
            break;
        case CMD_EDIT_SELECTED_RTU:
            EditSelected();
            break;
        case CMD_VIEW_RTU:
            View();
            break;
        case CMD_SHOW_SELECTED_RTU:
            ShowSelected();
            break;
        default:
            break;
    }
}

void CPageRtuList::Reload() {
    if (!database.connected.load() || !loadRegistry) {
        return;
    }
    rows = loadRegistry(database);
    ShowRegistryRows(rows);
    if (statePage != nullptr) {
        statePage->FollowRegistry();
    }
}

void CPageRtuList::ShowRegistryRows(const std::vector<RegistryRow>& registry) {
    const QSignalBlocker quiet(list);
    list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(registry.size()));
    const QIcon rowIcon = ResourceIcon(IDI_RTU_ROW);
    for (const RegistryRow& row : registry) {
        QStringList cells;
        for (const std::string& cell : row) {
            cells << UiText(cell);
        }
        auto* item = new QTreeWidgetItem(cells);
        item->setIcon(0, rowIcon);
        items << item;
    }
    list->addTopLevelItems(items);
}

void CPageRtuList::Add() {
    if (expanded) {
        ToggleExpanded();
    }
    IniFileReader ui(kUiIniPath);
    box.Show(ui.readValue(kRtuListTextSection, "Message_AddNew"), "", MessageIcon::Information, MessageButtons::Ok);
    inputPanel->show();
    inputPanel->setHeading(CDyInputView::kAddMode, PageText("ADD_BTN"));
    inputPanel->prepareAdd(*this);
}

std::vector<std::string> CPageRtuList::SelectedTexts() const {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        return {};
    }
    std::vector<std::string> texts;
    for (int i = 0; i < kCellsPerRow; ++i) {
        texts.push_back(selected.front()->text(i).toLocal8Bit().toStdString());
    }
    return texts;
}

void CPageRtuList::EditSelected() {
    const std::vector<std::string> texts = SelectedTexts();
    if (texts.empty() || expanded) {
        return;
    }
    inputPanel->show();
    inputPanel->setHeading(CDyInputView::kEditMode, PageText("EDIT_BTN"));
    inputPanel->fillRows(texts);
    inputPanel->prepareEdit(*this);
}

void CPageRtuList::View() {
    if (list->selectedItems().isEmpty()) {
        IniFileReader messages(kMessagesIniPath);
        box.Show(messages.readValue(kErrorsSection, "SEL_RTU_ERR"), "", MessageIcon::None, MessageButtons::Ok);
        return;
    }
    PostCommand(*this, CMD_SHOW_SELECTED_RTU);
}

void CPageRtuList::ShowSelected() {
    const std::vector<std::string> texts = SelectedTexts();
    if (texts.empty()) {
        return;
    }
    currentRtu = LiveRtuTable().FindRtuByUidText(texts[0]);
    if (currentRtu == nullptr) {
        return;
    }
    if (selectPage) {
        selectPage(2);
    }
    if (statePage != nullptr) {
        statePage->OpenRtu(texts[0], texts[1]);
    }
}

void CPageRtuList::ToggleExpanded() {
    expanded = !expanded;
    if (expanded) {
        inputPanel->hide();
        addButton->hide();
        viewButton->hide();
    } else {
        addButton->show();
        viewButton->show();
    }
    expandButton->SetIconNumber(expanded ? IDI_COLLAPSE : IDI_EXPAND);
    LayOut();
}

void CPageRtuList::contextMenuEvent(QContextMenuEvent* event) {
    if (list->geometry().contains(event->pos())) {
        ShowContextMenu(event->globalPos());
    }
}

void CPageRtuList::ShowContextMenu(const QPoint& globalPosition) {
    BCMenu menu(QString(), this);
    menu.AppendItem(CMD_ADD_RTU, PageText("ADD_BTN"));
    menu.AppendItem(CMD_VIEW_RTU, PageText("VIEW_BTN"));
    menu.AppendItem(CMD_RELOAD_RTU_LIST, PageText("RELOAD_BTN"));
    menu.SetCommandHandler([this](int commandId) { OnCommand(commandId); });
    menu.exec(globalPosition);
}
