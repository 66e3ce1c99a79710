// UpdateCoil, UpdateRegister and UpdateRegistString: one register-number space for both protocols,
// mapped to a channel of the live record, a history call and a log line per row.
#include <cstdarg>
#include <span>

#include "core/TelemetryCore.h"
#include "core/TextFormat.h"

namespace {

struct Update {
    RtuSlot& slot;
    IRawDataList* lines;      // where the row's line goes; absent when the trace level leaves it out
    IHistoryWriter* history;  // may be absent
    std::int32_t unitId;
    std::int32_t value;
    const char* rtuTime;
    std::uint8_t state;
    std::uint32_t index;  // register number minus the row's first

    // Formats only a line that is written.
    void Log(const char* format, ...) const __attribute__((format(printf, 2, 3))) {
        if (!lines) return;
        va_list args;
        va_start(args, format);
        const std::string line = FormatV(format, args);
        va_end(args);
        lines->AddLine(line.c_str());
    }
    void HistoryInt(const char* channel, int number, int value, std::uint8_t historyState) const {
        if (history) history->WriteChannelInt(unitId, channel, number, value, rtuTime, historyState);
    }
    void Record(const char* channel, int number, double x) const {
        if (history) history->WriteChannelFloat(unitId, channel, number, x, rtuTime, state);
    }
    double Hundredths() const { return value * 0.01; }
    int On() const { return value != 0 ? 1 : 0; }
    int Index() const { return static_cast<int>(index); }
};

// Logs, records and stores one reading; returns whether the state page is to refresh.
using RowAction = bool (*)(const Update&);

struct Row {
    std::uint32_t first;
    std::uint32_t last;
    RowAction apply;
};

bool Din(const Update& u) {
    u.Log("Update DIN%d State%d\r\n", u.Index(), u.On());
    u.HistoryInt("DIN", u.Index(), u.On(), static_cast<std::uint8_t>(u.On()));
    u.slot.SetDin(u.index, u.value);
    return true;
}

bool Dout(const Update& u) {
    u.Log("Update DOUT%d State%d\r\n", u.Index(), u.On());
    u.HistoryInt("DOUT", u.Index(), u.On(), static_cast<std::uint8_t>(u.On()));
    u.slot.SetDout(u.index, u.value);
    return true;
}

bool ModbusCoil(const Update& u) {
    u.Log("Update COIL%d State%d\r\n", u.Index(), u.On());
    u.slot.SetCoilValue(u.index, u.value);
    return true;
}

bool Ain(const Update& u) {
    const double x = u.value * 0.1;
    u.Log("Update AIN%d %.2f, State:%d\r\n", u.Index(), x, u.state);
    u.Record("AIN", u.Index(), x);
    u.slot.SetAin(u.index, x);
    return true;
}

bool Itemp(const Update& u) {
    const double x = u.Hundredths();
    u.Log("Update Buildin-Temperature %.2f State:%d\r\n", x, u.state);
    u.Record("ITEMP", -1, x);
    u.slot.SetItemp(x);
    return true;
}

bool Signal(const Update& u) {
    const auto signal = static_cast<std::int32_t>(static_cast<std::int64_t>(u.value) - 256);
    u.Log("Update GSM/GPRS Signal %d\r\n", signal);
    u.HistoryInt("SIGNAL", -1, u.value, 0);
    u.slot.SetSignal(signal);
    return true;
}

// The RTU reports power failure: the log and the history show 1 for a reported 0.
bool Batt(const Update& u) {
    const int powerState = u.value == 0 ? 1 : 0;
    u.Log("Update PowerState %d\r\n", powerState);
    u.HistoryInt("BATT", -1, powerState, 0);
    u.slot.SetBatt(u.On());
    return true;
}

bool ModbusRegister(const Update& u) {
    const double x = u.Hundredths();
    u.Log("Update ModbusRegister%d %.2f, State:%d\r\n", u.Index(), x, u.state);
    u.Record("MBUSREG", u.Index(), x);
    u.slot.SetRegisterValue(u.index, x);
    return true;
}

// Counters 0..7 are logged and recorded; the record keeps only 0..3.
bool Counter(const Update& u) {
    u.Log("Update Counter%d %.2f\r\n", u.Index(), u.Hundredths());
    u.Record("ECOUNTER", u.Index(), u.Hundredths());
    u.slot.SetCounter(1301 + u.index, u.value);
    return true;
}

bool Graycode(const Update& u) {
    u.Log("Update Graycode%d %.2f\r\n", 0, u.Hundredths());
    u.Record("GRYCODE", 0, u.Hundredths());
    u.slot.SetGraycode(0, u.Hundredths());
    return true;
}

bool Etemp(const Update& u) {
    const double x = u.Hundredths();
    u.Log("Update Ex-Temperatures%d %.2f, State:%d\r\n", u.Index(), x, u.state);
    u.Record("ETEMP", u.Index(), x);
    u.slot.SetEtemp(u.index, x);
    return true;
}

// Daily counter reports go to the history only.
bool DailyReport(const Update& u) {
    const double x = u.Hundredths();
    u.Log("Update Counter%d Daily Report %s,%.2f\r\n", u.Index(), u.rtuTime, x);
    u.Record("ECOUNTER_REPORT", u.Index(), x);
    return false;
}

constexpr Row kCoilRows[] = {{1001, 1008, &Din}, {1101, 1108, &Dout}, {1201, 1233, &ModbusCoil}};

constexpr Row kRegisterRows[] = {
    {1001, 1008, &Ain},      {1101, 1101, &Itemp},          {1102, 1102, &Signal},
    {1103, 1103, &Batt},     {1201, 1233, &ModbusRegister}, {1301, 1308, &Counter},
    {1401, 1401, &Graycode}, {1501, 1508, &Etemp},          {1800, 1801, &DailyReport},
};

const Row* FindRow(std::span<const Row> rows, std::uint32_t registerNumber) {
    for (const Row& row : rows) {
        if (registerNumber >= row.first && registerNumber <= row.last) return &row;
    }
    return nullptr;
}

// Steps after the first log line: nothing without the state page, the RTU or the list, or for a
// register number outside the rows.
void ApplyRow(std::span<const Row> rows, const Update& update, std::uint32_t registerNumber, IStatePage* page) {
    const Row* row = FindRow(rows, registerNumber);
    if (!row) return;
    Update u = update;
    u.index = registerNumber - row->first;
    if (row->apply(u)) page->PostCommand(CMD_REFRESH_STATE);
}

}  // namespace

void TelemetryCore::UpdateCoil(std::int32_t unitId, std::uint32_t registerNumber, std::int32_t value,
                               const char* rtuTime, std::uint8_t state, bool logLines) {
    RtuSlot* slot = Table().FindRtu(unitId);
    IRawDataList* list = rawDataList.load();
    IRawDataList* lines = logLines ? list : nullptr;
    if (lines) {
        lines->AddLine(
            Format("Coil#%d set value=%xh state=%d\n", static_cast<int>(registerNumber), value != 0 ? 0xffu : 0u, state)
                .c_str());
    }
    IStatePage* page = statePage.load();
    if (!page || !slot || !list) return;
    ApplyRow(kCoilRows, {*slot, lines, historyWriter.load(), unitId, value, rtuTime, state, 0}, registerNumber, page);
}

void TelemetryCore::UpdateRegister(std::int32_t unitId, std::uint32_t registerNumber, std::int32_t value,
                                   const char* rtuTime, std::uint8_t state, bool logLines) {
    RtuSlot* slot = Table().FindRtu(unitId);
    IRawDataList* list = rawDataList.load();
    IRawDataList* lines = logLines ? list : nullptr;
    if (lines) lines->AddLine(Format("Register#%d set value=%d\n", static_cast<int>(registerNumber), value).c_str());
    IStatePage* page = statePage.load();
    if (!page || !slot || !list) return;
    ApplyRow(kRegisterRows, {*slot, lines, historyWriter.load(), unitId, value, rtuTime, state, 0}, registerNumber,
             page);
}

bool TelemetryCore::CoilHasChannel(std::uint32_t registerNumber) {
    return FindRow(kCoilRows, registerNumber) != nullptr;
}

bool TelemetryCore::RegisterHasChannel(std::uint32_t registerNumber) {
    return FindRow(kRegisterRows, registerNumber) != nullptr;
}

void TelemetryCore::UpdateRegistString(std::int32_t unitId, const char* text, bool logLines) {
    if (RtuSlot* slot = Table().FindRtu(unitId)) {
        slot->SetRegistString(text);
        if (IStatePage* page = statePage.load()) page->PostCommand(CMD_REFRESH_STATE);
    }
    IRawDataList* list = rawDataList.load();
    if (list && logLines) list->AddLine(Format("Update Rtu%d Regist String\r\n", unitId).c_str());
}
