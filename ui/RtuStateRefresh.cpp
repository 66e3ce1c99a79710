// The refresh of the RTU state page: the panel redrawn from a copy of the current RTU's record.
#include <cstring>

#include "core/RtuTable.h"
#include "ui/CurrentRtu.h"
#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"
#include "ui/UiText.h"

namespace {
constexpr int kLamps = 8;
constexpr int kValueButtons = 4;
constexpr int kValueColumn = 1;
constexpr int kKindColumn = 2;
constexpr std::uint8_t kRegisterKind = 1;
constexpr std::uint8_t kCoilKind = 2;
}  // namespace

RegisterTexts RegisterColumnTexts(std::uint8_t kind, float value) {
    if (kind == kRegisterKind) {
        return {QString::asprintf("%.2f", double(value)), QStringLiteral("Input")};
    }
    if (kind == kCoilKind) {
        return {value != 0 ? QStringLiteral("ON") : QStringLiteral("OFF"), QStringLiteral("Coil")};
    }
    return {};
}

void CPageRtuState::Refresh() {
    ++refreshCount;
    ShowCurrentRtu();
}

void CPageRtuState::OpenRtu(const std::string& uidText, const std::string& name) {
    openedUid = uidText;
    currentRtu = LiveRtuTable().FindRtuByUidText(uidText);
    ShowUnit(uidText);
    setHeader(uidText, name);
    ::PostCommand(*this, static_cast<int>(CMD_REFRESH_STATE));
}

void CPageRtuState::FollowRegistry() {
    if (openedUid) {
        currentRtu = LiveRtuTable().FindRtuByUidText(*openedUid);
    }
    ShowCurrentRtu();
}

// Until the operator opens an RTU the page shows slot 0, headed by the unit id that slot holds now.
void CPageRtuState::ShowCurrentRtu() {
    bool fallback = false;
    if (currentRtu == nullptr && !openedUid) {
        currentRtu = &LiveRtuTable().Slot(0);
        fallback = true;
    }
    if (currentRtu == nullptr) {
        // The RTU opened is no longer registered: nothing of another RTU may show in its place.
        ShowUnit(std::nullopt);
        setHeader("", "");
        ShowRecord(RtuRecord{}, true);
        return;
    }
    const RtuRecord rtu = currentRtu->Snapshot();
    const std::string uidText(rtu.uidText, strnlen(rtu.uidText, sizeof rtu.uidText));
    if (fallback || (!openedUid && shownUid != uidText)) {
        setHeader(uidText, "");
    }
    ShowUnit(uidText);
    ShowRecord(rtu, fallback);
}

void CPageRtuState::ShowRecord(const RtuRecord& rtu, bool fallback) {
    // The status text and the GPS text may be longer than their controls: the tooltip shows them whole.
    auto* status = static_cast<QLabel*>(Control(IDC_STATE_STATUS));
    status->setText(UiText(rtu.registString));
    status->setToolTip(status->text());
    ShowLamps(IDC_DIN_FIRST, IDC_DIN_GROUP, rtu.DinCount(), rtu.din);
    ShowLamps(IDC_DOUT_FIRST, IDC_DOUT_GROUP, rtu.DoutCount(), rtu.dout);
    ShowValueButtons(rtu);
    ShowRegisters(rtu);
    ShowExtras(rtu);
    for (int id : {IDC_ITEMP_BUTTON, IDC_SIGNAL_BUTTON, IDC_POWER_BUTTON}) {
        Control(id)->setEnabled(!fallback);
    }
}

// A history belongs to the RTU it was loaded for: once the page shows another, it goes.
void CPageRtuState::ShowUnit(const std::optional<std::string>& uidText) {
    if (shownUid && shownUid != uidText) {
        ClearHistory();
    }
    shownUid = uidText;
}

void CPageRtuState::ClearHistory() {
    browser.Clear();
    plotHistory(QString());
    if (rtuChanged) {
        rtuChanged();
    }
}

void CPageRtuState::ShowLamps(int firstId, int groupId, int count, const std::uint8_t* values) {
    for (int i = 0; i < kLamps; ++i) {
        auto* lamp = static_cast<CButtonST*>(Control(firstId + i));
        if (i < count) {
            lamp->SetIconNumber(values[i] != 0 ? IDI_LAMP_ON : IDI_LAMP_OFF);
        }
        lamp->setVisible(i < count);
    }
    SetShown(groupId, count != 0);
}

void CPageRtuState::ShowValueButtons(const RtuRecord& rtu) {
    for (int j = 0; j < kValueButtons; ++j) {
        const bool shown = j < rtu.AinCount();
        if (shown) {
            SetCaption(IDC_AIN_FIRST + j, QString::asprintf("%s: %.2f %s", names.AinName(j).c_str(), double(rtu.ain[j]),
                                                            names.AinUnit(j).c_str()));
        }
        SetShown(IDC_AIN_FIRST + j, shown);
    }
    SetShown(IDC_AIN_GROUP, rtu.AinCount() != 0);
    for (int k = 0; k < kValueButtons; ++k) {
        const bool shown = k < rtu.EtempCount();
        if (shown) {
            SetCaption(IDC_ETEMP_FIRST + k,
                       QString::asprintf("%s:%.2f", names.EtempName(k).c_str(), double(rtu.etemp[k])));
        }
        SetShown(IDC_ETEMP_FIRST + k, shown);
    }
    SetShown(IDC_ETEMP_GROUP, rtu.EtempCount() != 0);
    auto* power = static_cast<CButtonST*>(Control(IDC_POWER_BUTTON));
    power->SetIconNumber(rtu.batt != 0 ? IDI_POWER_ON : IDI_POWER_OFF, power->iconSize());
    power->setText(QStringLiteral(" "));
    SetCaption(IDC_SIGNAL_BUTTON, QString::asprintf("%d", rtu.signal));
    SetCaption(IDC_ITEMP_BUTTON, QString::asprintf("%.2f", double(rtu.itemp)));
}

void CPageRtuState::ShowRegisters(const RtuRecord& rtu) {
    if (registerList == nullptr) {
        return;
    }
    for (int k = 0; k < CPageModbusRegs::kRegisterRows && k < registerList->topLevelItemCount(); ++k) {
        QTreeWidgetItem* row = registerList->topLevelItem(k);
        const RegisterTexts texts = RegisterColumnTexts(rtu.regKind[k], rtu.reg[k]);
        row->setText(kValueColumn, texts.value);
        if (!texts.kind.isEmpty()) {
            row->setText(kKindColumn, texts.kind);
        }
    }
}

void CPageRtuState::ShowExtras(const RtuRecord& rtu) {
    const bool counters = rtu.CounterCount() != 0;
    for (int k = 0; k < kValueButtons; ++k) {
        if (counters) {
            SetCaption(IDC_COUNTER_BUTTONS[k],
                       QString::asprintf("%s: %.2f %s", names.CounterName(k).c_str(), double(rtu.ecounter[k]),
                                         names.CounterUnit(k).c_str()));
        }
        SetShown(IDC_COUNTER_BUTTONS[k], counters);
    }
    SetShown(IDC_COUNTER_GROUP, counters);
    const bool gray = rtu.HasGraycode();
    if (gray) {
        SetCaption(IDC_GRAY_BUTTON,
                   QString::asprintf("%s: %.2f", names.GraycodeName(0).c_str(), double(rtu.graycode[0])));
    }
    SetShown(IDC_GRAY_BUTTON, gray);
    SetShown(IDC_GRAY_GROUP, gray);
    if (rtu.HasGps()) {
        SetCaption(IDC_GPS_BUTTON, UiText(std::string(rtu.gps, strnlen(rtu.gps, sizeof rtu.gps))));
        Control(IDC_GPS_BUTTON)->setToolTip(static_cast<QAbstractButton*>(Control(IDC_GPS_BUTTON))->text());
    }
    SetShown(IDC_GPS_BUTTON, rtu.HasGps());
}
