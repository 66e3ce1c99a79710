#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/ChannelNames.h"
#include "core/RtuRecord.h"
#include "core/StatePage.h"
#include "platform/profile/MessageBox.h"
#include "storage/HistoryBrowser.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/CrossThreadGate.h"
#include "ui/HistoryList.h"
#include "ui/PageDialog.h"
#include "ui/ResourceIds.h"
#include "ui/SaveFileDialog.h"
#include "widgets/CButtonST.h"
#include "widgets/CChartCtrl.h"

// Page 2, the live state of the current RTU as a panel of lamps and value buttons, and the history of
// one of its channels as a list and a chart. The telemetry core keeps the panel current by posting
// CMD_REFRESH_STATE; a click on a channel button loads that channel's history.
//
// Threads: PostCommand from any thread (it only queues the command); everything else on the
// user-interface thread.
class CPageRtuState final : public CPageDialog, public IStatePage {
public:
    static constexpr int kTemplateId = 130;
    using PageSelector = std::function<void(int index)>;

    CPageRtuState(QWidget* parent, CSQLDatabase& database, IMessageBox& box, ISaveFileDialog& saveFile);

    void PostCommand(std::uint32_t commandId) override;
    // Refuses further posts from workers and waits until those under way are queued.
    void Detach() { gate.Close(); }

    // The posted refresh and the history menu's commands (export, delete); buttons call their
    // methods directly.
    void OnCommand(int commandId) override;

    // The Modbus register list whose value and kind columns the refresh writes; null for none.
    void LinkRegisterList(QTreeWidget* list) { registerList = list; }
    void LinkPageSelector(PageSelector selector) { selectPage = std::move(selector); }

    // Header lines of the RTU shown: its identifier and its name.
    void setHeader(const std::string& uidText, const std::string& name);
    // Shows the RTU with this unit id, the RTU list page's double click: from now on the page follows
    // that unit id, whichever slot of the live table holds it. The history of another RTU than the one
    // shown is emptied first.
    void OpenRtu(const std::string& uidText, const std::string& name);
    // After a registry reload, which hands the slots of the live table to the registered unit ids in
    // order: the page finds its RTU again, or shows none when that RTU is gone.
    void FollowRegistry();
    // Called whenever the page's history is emptied because it shows another RTU.
    void LinkRtuChanged(std::function<void()> changed) { rtuChanged = std::move(changed); }
    // Redraws the chart from the history list.
    void plotHistory(const QString& title);

    const ChannelNames& Names() const { return names; }
    // Refresh commands handled so far.
    int RefreshCount() const { return refreshCount; }
    CChartCtrl& Chart() const { return *chart; }
    CHistoryList& History() { return history; }
    CHistoryBrowser& Browser() { return browser; }
    // A control of the page by its template id (buttons and statics).
    QWidget* Control(int id) const;
    QComboBox& CompareSelector() const { return *compareSelector; }
    QLineEdit& ValueEdit() const { return *valueEdit; }
    QComboBox& CounterSource() const { return *counterSource; }
    QComboBox& PointSizeSelector() const { return *pointSizeSelector; }
    QCheckBox& AutoFitBox() const { return *autoFitBox; }
    QCheckBox& TimeRangeBox() const { return *timeRangeBox; }
    QDateEdit& FromDate() const { return *fromDate; }
    QDateEdit& ToDate() const { return *toDate; }

private:
    struct Channel {
        std::string name;
        int number;
        std::string displayKey;
    };

    void BuildPanel();
    void BuildHistoryArea();
    void BuildFilters();
    void ConnectHistoryList();
    void BuildChannelTable();
    void ConnectButtons();
    QAbstractButton* Button(int id) const;
    CButtonST* MakeButton(int id, int x, int y, int width, int height, int icon, const QString& caption = {});
    QWidget* MakeGroup(int id, int x, int y, int width, int height, const QString& caption);
    void SetShown(int id, bool shown);
    void SetCaption(int id, const QString& caption);
    HistoryFilter ReadFilter() const;
    void LoadChannel(int buttonId);
    void ShowRtuList();
    void Query();
    void ExportHistory();
    void DeleteRows();
    void ApplyAutoFit();
    void ShowHistoryMenu(const QPoint& globalPosition);

    // Refresh, step by step (RtuStateRefresh.cpp).
    void Refresh();
    void ShowCurrentRtu();
    void ShowRecord(const RtuRecord& rtu, bool fallback);
    void ShowUnit(const std::optional<std::string>& uidText);
    void ClearHistory();
    void ShowLamps(int firstId, int groupId, int count, const std::uint8_t* values);
    void ShowValueButtons(const RtuRecord& rtu);
    void ShowRegisters(const RtuRecord& rtu);
    void ShowExtras(const RtuRecord& rtu);

    ChannelNames names;
    CrossThreadGate gate;
    int refreshCount = 0;
    QFont buttonFont;
    std::map<int, QWidget*> controls;
    std::map<int, Channel> channels;
    QCheckBox* timeRangeBox = nullptr;
    QDateEdit* fromDate = nullptr;
    QDateEdit* toDate = nullptr;
    QComboBox* compareSelector = nullptr;
    QLineEdit* valueEdit = nullptr;
    QComboBox* counterSource = nullptr;
    QComboBox* pointSizeSelector = nullptr;
    QCheckBox* autoFitBox = nullptr;
    CChartCtrl* chart = nullptr;
    CHistoryList history;
    CHistoryBrowser browser;
    QTreeWidget* registerList = nullptr;
    PageSelector selectPage;
    std::function<void()> rtuChanged;
    // The unit id the operator opened (none before the first), and the one whose values and history
    // the page shows now (none when that RTU is gone).
    std::optional<std::string> openedUid;
    std::optional<std::string> shownUid;
};

// The value and kind columns of a Modbus register row for a register kind (1 register, 2 coil) and
// value; an empty kind leaves the row's kind as it was.
struct RegisterTexts {
    QString value;
    QString kind;
};
RegisterTexts RegisterColumnTexts(std::uint8_t kind, float value);
