#include "ui/PageRtuState.h"

#include <QDateTime>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPointer>

#include <algorithm>
#include <vector>

#include "platform/profile/IniFileReader.h"
#include "ui/IniValueLookup.h"
#include "ui/PageFonts.h"
#include "ui/UiText.h"
#include "widgets/BCMenu.h"
#include "widgets/ResourceIcon.h"

namespace {
constexpr int kLampX[] = {12, 33, 54, 75, 96, 117, 138, 160};
// The page in dialog units: narrow enough for a 1024-pixel screen, so the history area sits beside the
// panel with its buttons above the list and its filter between the list and the chart.
constexpr int kPageWidth = 563;
constexpr int kPageHeight = 311;

QString PageText(const std::string& key) { return IniText(IniFileReader(kUiIniPath), kRtuStateTextSection, key); }

// Runs an action for the given keys pressed in the controls it watches, in place of their own handling.
class KeyActionFilter final : public QObject {
public:
    KeyActionFilter(QObject* parent, std::initializer_list<int> keys, std::function<void()> action)
        : QObject(parent), keys(keys), action(std::move(action)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            std::find(keys.begin(), keys.end(), static_cast<QKeyEvent*>(event)->key()) != keys.end()) {
            action();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::vector<int> keys;
    std::function<void()> action;
};
}  // namespace

CPageRtuState::CPageRtuState(QWidget* parent, CSQLDatabase& database, IMessageBox& box, ISaveFileDialog& saveFile)
    : CPageDialog(parent, kTemplateId, kPageWidth, kPageHeight),
      buttonFont(PageListFont()),
      history(this, saveFile, [this] { return ReadFilter(); }),
      browser(database, history, box) {
    names.Load(IniValueLookup(kNamesIniPath));
    BuildPanel();
    BuildHistoryArea();
    BuildFilters();
    BuildChannelTable();
    ConnectButtons();
    ConnectHistoryList();
    ::PostCommand(*this, static_cast<int>(CMD_REFRESH_STATE));
}

CButtonST* CPageRtuState::MakeButton(int id, int x, int y, int width, int height, int icon, const QString& caption) {
    auto* button = new CButtonST(this, caption);
    PlaceControl(*button, id, x, y, width, height);
    button->SetIconNumber(icon);
    button->setFont(buttonFont);
    button->setAutoDefault(false);
    controls[id] = button;
    return button;
}

QWidget* CPageRtuState::MakeGroup(int id, int x, int y, int width, int height, const QString& caption) {
    auto* group = new QGroupBox(caption, this);
    PlaceControl(*group, id, x, y, width, height);
    group->lower();
    if (id != 0) {
        controls[id] = group;
    }
    return group;
}

void CPageRtuState::BuildPanel() {
    for (int id : {IDC_STATE_HEADER_ID, IDC_STATE_HEADER_NAME, IDC_STATE_STATUS}) {
        controls[id] = new QLabel(this);
    }
    PlaceControl(*controls[IDC_STATE_HEADER_ID], IDC_STATE_HEADER_ID, 33, 7, 114, 9);
    PlaceControl(*controls[IDC_STATE_HEADER_NAME], IDC_STATE_HEADER_NAME, 33, 17, 114, 9);
    PlaceControl(*controls[IDC_STATE_STATUS], IDC_STATE_STATUS, 152, 7, 132, 8);
    // The back button is small: once it has its image, the caption shows as its tooltip.
    MakeButton(IDC_STATE_BACK, 7, 7, 18, 18, 0, PageText("Title"))->SetImageFirst(true);
    MakeGroup(IDC_DIN_GROUP, 7, 36, 186, 28, PageText("DIN"));
    MakeGroup(IDC_DOUT_GROUP, 7, 66, 186, 28, PageText("DOUT"));
    for (int i = 0; i < 8; ++i) {
        MakeButton(IDC_DIN_FIRST + i, kLampX[i], 46, 18, 14, IDI_LAMP_ON);
        MakeButton(IDC_DOUT_FIRST + i, kLampX[i], 76, 18, 14, IDI_LAMP_ON);
    }
    MakeGroup(IDC_AIN_GROUP, 8, 100, 116, 98, PageText("AIN"));
    for (int j = 0; j < 4; ++j) {
        MakeButton(IDC_AIN_FIRST + j, 12, 116 + 19 * j, 106, 18, IDI_ANALOGUE_INPUT,
                   PageText("AIN" + std::to_string(j)));
    }
    MakeGroup(IDC_GRAY_GROUP, 127, 160, 141, 38, PageText("GRAY"));
    MakeButton(IDC_GRAY_BUTTON, 134, 173, 126, 18, IDI_GRAY_CODE, PageText("GrayCode"));
    MakeGroup(IDC_COUNTER_GROUP, 199, 30, 78, 124, PageText("COUNTER"));
    const int counterY[] = {41, 63, 85, 109};
    for (int k = 0; k < 4; ++k) {
        MakeButton(IDC_COUNTER_BUTTONS[k], 209, counterY[k], 63, 18, IDI_COUNTER, QStringLiteral("Counter"));
    }
    MakeGroup(IDC_ETEMP_GROUP, 174, 206, 110, 98, PageText("ExTempTitle"));
    for (int k = 0; k < 4; ++k) {
        MakeButton(IDC_ETEMP_FIRST + k, 182, 222 + 20 * k, 96, 18, IDI_EXTERNAL_TEMPERATURE,
                   PageText("ExTemp" + std::to_string(k)));
    }
    MakeButton(IDC_GPS_BUTTON, 12, 213, 154, 18, 0, QStringLiteral("GPS: N' 100.349820 E' 92.009831"));
    MakeGroup(IDC_RTU_INFO_GROUP, 7, 249, 156, 55, PageText("RTUINFO"));
    const QSize large(32, 32);
    MakeButton(IDC_POWER_BUTTON, 12, 260, 48, 40, IDI_POWER_OFF)->SetIconNumber(IDI_POWER_OFF, large);
    MakeButton(IDC_SIGNAL_BUTTON, 61, 260, 48, 40, IDI_SIGNAL)->SetIconNumber(IDI_SIGNAL, large);
    MakeButton(IDC_ITEMP_BUTTON, 110, 260, 48, 40, IDI_INTERNAL_TEMPERATURE)
        ->SetIconNumber(IDI_INTERNAL_TEMPERATURE, large);
}

void CPageRtuState::BuildHistoryArea() {
    PlaceControl(history.Title(), IDC_STATE_HISTORY_TITLE, 290, 9, 180, 8);
    controls[IDC_STATE_HISTORY_TITLE] = &history.Title();
    PlaceControl(history.List(), IDC_STATE_HISTORY_LIST, 290, 23, 266, 118);
    history.SetFont(PageListFont());
    history.List().setSelectionMode(QAbstractItemView::ExtendedSelection);
    chart = new CChartCtrl(this);
    PlaceControl(*chart, IDC_STATE_CHART, 290, 189, 266, 115);
    chart->SetBottomRange(0, 30);
    chart->SetBottomAutomatic(false);
    chart->show();
    MakeButton(IDC_QUERY_HISTORY, 474, 7, 19, 14, IDI_FILTER);
    MakeButton(CMD_EXPORT_HISTORY, 495, 7, 38, 14, IDI_EXPORT, PageText("EXPORT"));
    MakeButton(CMD_DELETE_HISTORY, 535, 7, 21, 14, IDI_DELETE);
}

void CPageRtuState::BuildFilters() {
    // Two rows: the time range and the counter source; the value filter and the chart's settings.
    MakeGroup(0, 288, 143, 270, 42, QString());
    timeRangeBox = new QCheckBox(this);
    PlaceControl(*timeRangeBox, IDC_TIME_RANGE, 292, 153, 12, 8);
    // Calendar dates: the query takes whole days, from the first day's start to the last day's end.
    for (QDateEdit** picker : {&fromDate, &toDate}) {
        *picker = new QDateEdit(QDate::currentDate(), this);
        (*picker)->setCalendarPopup(true);
    }
    PlaceControl(*fromDate, IDC_FROM_DATE, 306, 151, 76, 13);
    PlaceControl(*toDate, IDC_TO_DATE, 385, 151, 76, 13);
    auto* valueLabel = new QLabel(PageText("DATALISTC1"), this);
    PlaceControl(*valueLabel, IDC_VALUE_LABEL, 292, 170, 38, 8);
    compareSelector = new QComboBox(this);
    compareSelector->addItems({QStringLiteral(">"), QStringLiteral("="), QStringLiteral("<")});
    compareSelector->setCurrentIndex(-1);
    PlaceControl(*compareSelector, IDC_VALUE_COMPARE, 331, 168, 34, 12);
    valueEdit = new QLineEdit(this);
    PlaceControl(*valueEdit, IDC_VALUE_EDIT, 368, 168, 60, 12);
    counterSource = new QComboBox(this);
    counterSource->addItems({PageText("DATA_REAL"), PageText("DATA_REPT")});
    PlaceControl(*counterSource, IDC_COUNTER_SOURCE, 467, 151, 86, 12);
    auto* pointSizeIcon = new QLabel(this);
    pointSizeIcon->setPixmap(ResourcePixmap(IDI_POINT_SIZE, QSize(20, 20)));
    PlaceControl(*pointSizeIcon, 0, 433, 167, 14, 14);
    pointSizeSelector = new QComboBox(this);
    for (int size = 6; size <= 16; size += 2) {
        pointSizeSelector->addItem(QString::number(size));
    }
    PlaceControl(*pointSizeSelector, IDC_POINT_SIZE, 449, 168, 34, 12);
    autoFitBox = new QCheckBox(PageText("AUTOFIT"), this);
    PlaceControl(*autoFitBox, IDC_AUTOFIT, 487, 170, 66, 8);
}

// Each button calls what it stands for: a channel button loads that channel's history.
void CPageRtuState::ConnectButtons() {
    connect(Button(IDC_STATE_BACK), &QPushButton::clicked, this, &CPageRtuState::ShowRtuList);
    for (const auto& [id, channel] : channels) {
        connect(Button(id), &QPushButton::clicked, this, [this, id = id] { LoadChannel(id); });
    }
    connect(Button(IDC_QUERY_HISTORY), &QPushButton::clicked, this, &CPageRtuState::Query);
    connect(Button(CMD_EXPORT_HISTORY), &QPushButton::clicked, this, &CPageRtuState::ExportHistory);
    connect(Button(CMD_DELETE_HISTORY), &QPushButton::clicked, this, &CPageRtuState::DeleteRows);
    connect(autoFitBox, &QCheckBox::clicked, this, &CPageRtuState::ApplyAutoFit);
    // Enter in a filter control runs the filter, as the default button of the filter would.
    auto* enter = new KeyActionFilter(this, {Qt::Key_Return, Qt::Key_Enter}, [this] { Query(); });
    for (QWidget* control :
         std::initializer_list<QWidget*>{timeRangeBox, fromDate, toDate, compareSelector, valueEdit}) {
        control->installEventFilter(enter);
    }
}

QAbstractButton* CPageRtuState::Button(int id) const { return static_cast<QAbstractButton*>(controls.at(id)); }

void CPageRtuState::ConnectHistoryList() {
    QTreeWidget& list = history.List();
    list.installEventFilter(
        new KeyActionFilter(&list, {Qt::Key_Delete}, [this] { ::PostCommand(*this, CMD_DELETE_HISTORY); }));
    list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&list, &QWidget::customContextMenuRequested, this,
            [this, &list](const QPoint& position) { ShowHistoryMenu(list.viewport()->mapToGlobal(position)); });
}

void CPageRtuState::BuildChannelTable() {
    for (int i = 0; i < 8; ++i) {
        channels[IDC_DIN_FIRST + i] = {"DIN", i, "DIN"};
        channels[IDC_DOUT_FIRST + i] = {"DOUT", i, "DOUT"};
    }
    for (int i = 0; i < 4; ++i) {
        channels[IDC_AIN_FIRST + i] = {"AIN", i, "AD" + std::to_string(i)};
        channels[IDC_ETEMP_FIRST + i] = {"ETEMP", i, "ETEMP"};
        channels[IDC_COUNTER_BUTTONS[i]] = {"ECOUNTER", i, "COUNTER" + std::to_string(i)};
    }
    channels[IDC_SIGNAL_BUTTON] = {"SIGNAL", -1, "SIGNAL"};
    channels[IDC_POWER_BUTTON] = {"BATT", -1, "BATT"};
    channels[IDC_ITEMP_BUTTON] = {"ITEMP", -1, "ITEMP"};
    channels[IDC_GRAY_BUTTON] = {"GRYCODE", 0, "GRAYCODE0"};
}

void CPageRtuState::PostCommand(std::uint32_t commandId) {
    QPointer<CPageRtuState> target(this);
    gate.Post([target, commandId] {
        if (target) {
            target->OnCommand(static_cast<int>(commandId));
        }
    });
}

void CPageRtuState::OnCommand(int commandId) {
    switch (commandId) {
        case static_cast<int>(CMD_REFRESH_STATE):
            Refresh();
            break;
        case CMD_EXPORT_HISTORY:
            ExportHistory();
            break;
        case CMD_DELETE_HISTORY:
            DeleteRows();
            break;
        default:
            break;
    }
}

void CPageRtuState::ShowRtuList() {
    if (selectPage) {
        selectPage(0);
    }
}

QWidget* CPageRtuState::Control(int id) const {
    auto found = controls.find(id);
    return found == controls.end() ? nullptr : found->second;
}

void CPageRtuState::SetShown(int id, bool shown) { controls.at(id)->setVisible(shown); }

void CPageRtuState::SetCaption(int id, const QString& caption) {
    static_cast<QAbstractButton*>(controls.at(id))->setText(caption);
}

void CPageRtuState::setHeader(const std::string& uidText, const std::string& name) {
    IniFileReader data(kDataIniPath);
    static_cast<QLabel*>(controls.at(IDC_STATE_HEADER_ID))
        ->setText(IniText(data, kRtuColumnsSection, "RDATA1") + QStringLiteral(": ") + UiText(uidText));
    static_cast<QLabel*>(controls.at(IDC_STATE_HEADER_NAME))
        ->setText(IniText(data, kRtuColumnsSection, "RDATA2") + QStringLiteral(": ") + UiText(name));
    auto* back = static_cast<CButtonST*>(controls.at(IDC_STATE_BACK));
    back->SetIconNumber(IDI_RTU_HEADING);
    back->show();
}

HistoryFilter CPageRtuState::ReadFilter() const {
    HistoryFilter filter;
    filter.useTimeRange = timeRangeBox->isChecked();
    // Noon names the day whatever the daylight-saving shift.
    filter.fromDate = static_cast<std::time_t>(QDateTime(fromDate->date(), QTime(12, 0)).toSecsSinceEpoch());
    filter.toDate = static_cast<std::time_t>(QDateTime(toDate->date(), QTime(12, 0)).toSecsSinceEpoch());
    filter.valueText = valueEdit->text().toLocal8Bit().toStdString();
    filter.valueCompare = compareSelector->currentIndex();
    return filter;
}

void CPageRtuState::LoadChannel(int buttonId) {
    Channel channel = channels.at(buttonId);
    if (channel.name == "ECOUNTER") {
        const int source = counterSource->currentIndex();
        if (source < 0) {
            return;
        }
        channel.name = source == 0 ? "ECOUNTER" : "ECOUNTER_REPORT";
    }
    plotHistory(UiText(browser.LoadHistory(channel.name, channel.number, channel.displayKey)));
}

// The chart follows a query that ran: redrawn from the new list, with the empty title after a refused
// or failed one. A query with no condition changes nothing.
void CPageRtuState::Query() {
    if (const std::optional<std::string> title = browser.QueryHistory()) {
        plotHistory(UiText(*title));
    }
}

void CPageRtuState::ExportHistory() { browser.ExportHistoryCsv(); }

// The chart follows the list when a deletion changed it.
void CPageRtuState::DeleteRows() {
    if (const std::optional<std::string> title = browser.DeleteHistoryRows()) {
        plotHistory(UiText(*title));
    }
}

void CPageRtuState::ShowHistoryMenu(const QPoint& globalPosition) {
    BCMenu menu(QString(), this);
    menu.AppendItem(CMD_DELETE_HISTORY, PageText("Menu_DEL"));
    menu.AppendItem(CMD_EXPORT_HISTORY, PageText("Menu_EXPORT"));
    menu.SetCommandHandler([this](int commandId) { OnCommand(commandId); });
    menu.exec(globalPosition);
}
