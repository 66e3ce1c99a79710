#pragma once

// The pages on the offscreen platform over the real database stack (unixODBC, the RTUDB driver, a
// SQLite file of the test's own), in the test's own working directory with the INI files they read.

#include "tests/storage/StorageFixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <string>
#include <vector>

#include "core/RtuTable.h"
#include "storage/OpenDatabase.h"
#include "storage/Schema.h"
#include "tests/ui/UiFixture.h"
#include "ui/CurrentRtu.h"
#include "ui/ResourceIds.h"
#include "widgets/ControlId.h"

namespace pagetest {

inline const char* const kPageMessages =
    "[ERRORS]\nOPEN_DB_ERR=OPEN_DB_ERR\nADD_RTU_ERR=ADD_RTU_ERR\nEDIT_RTU_ERR=EDIT_RTU_ERR\n"
    "SEL_RTU_ERR=SEL_RTU_ERR\n"
    "[SUCCESS]\nOPEN_DB_OK=OPEN_DB_OK\nCREATE_RTU_TAB_OK=CREATE_RTU_TAB_OK\nEXPORT_CSV_OK=EXPORT_CSV_OK\n"
    "ADD_RTU_OK=ADD_RTU_OK\nEDIT_RTU_OK=EDIT_RTU_OK\n"
    "[QUESTION]\nDELETE_RTU=DELETE_RTU\nDELETE_RID=DELETE_RID\nDELETE_ALL=DELETE_ALL\n";

inline const char* const kEightColumns =
    "[RTU]\nRDATACOUNTS=8\nRDATA1=Unit ID\nRDATA2=Name\nRDATA3=Place\nRDATA4=Phone\nRDATA5=Owner\n"
    "RDATA6=Note\nRDATA7=Install\nRDATA8=Model\n";

inline const char* const kUiTexts =
    "[Page0Text]\nPageTitle=RTU list\nADD_BTN=Add RTU\nEDIT_BTN=Edit RTU\nVIEW_BTN=View\nRELOAD_BTN=Reload\n"
    "Message_AddNew=Enter the new RTU\n"
    "[Page2Text]\nTitle=Back\nDIN=Digital inputs\nDATALISTC0=RID\nDATALISTC1=Value\nDATALISTC2=RTU time\n"
    "DATALISTC3=Server time\nEXPORT=Export\nDATA_REAL=Real\nDATA_REPT=Report\nAUTOFIT=Auto fit\n"
    "[BUTTONS]\nOk=OK\nEsc=Cancel\nDEL=Delete\n";

// The tooltip the view shows when the pointer rests on the cell at `index`; empty for none.
inline QString DataTipAt(QAbstractItemView& view, const QModelIndex& index) {
    const QPoint centre = view.visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, centre, view.viewport()->mapToGlobal(centre));
    QCoreApplication::sendEvent(view.viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// Clicks the button (or check box) with that control id below `parent`, as the operator would.
inline void ClickControl(const QWidget& parent, int id) {
    auto* button = qobject_cast<QAbstractButton*>(FindControl(parent, id));
    ASSERT_NE(button, nullptr) << "no button with id " << id;
    button->click();
}

class PageTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        InitTelvornResources();
        WriteFile("Messages.ini", kPageMessages);
        WriteFile("data_rtu.ini", kEightColumns);
        WriteFile("rtu_ui.ini", kUiTexts);
        WriteFile("name_rtu.ini", "[DEVNAMES]\n");
        OpenDatabase(db, box);
        box.shown.clear();
        ClearLiveTable();
        currentRtu = nullptr;
    }

    void TearDown() override {
        currentRtu = nullptr;
        ClearLiveTable();
        StorageTest::TearDown();
    }

    static void ClearLiveTable() {
        for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
            LiveRtuTable().Slot(i).SetUidText("");
            LiveRtuTable().Slot(i).SetModel(0);
        }
    }

    // Registry rows written straight into RTU_TAB, without the channel tables.
    void Register(const std::string& uid, const std::string& name, const std::string& model) {
        ASSERT_TRUE(
            Exec("INSERT INTO RTU_TAB (UID, RDATA1, RDATA7) VALUES ('" + uid + "', '" + name + "', '" + model + "')"));
    }

    // A channel table of the RTU with these values, one row each.
    void History(const std::string& uid, const char* name, int number, const std::vector<std::string>& values) {
        ASSERT_TRUE(CreateChannelTable(db, uid, name, number, kChannelFloat));
        const std::string table = ChannelTableName(uid, name, number);
        int rid = 1;
        for (const std::string& value : values) {
            ASSERT_TRUE(Exec("INSERT INTO " + table + " (RID, RVALUE, RTYPE, RTIME, LTIME) VALUES (" +
                             std::to_string(rid++) + ", '" + value +
                             "', 0, '2026-12-01 10:00:00', '2026-12-01 10:00:01')"));
        }
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& shown : box.shown) texts.push_back(shown.text);
        return texts;
    }

    static bool RunUntil(const std::function<bool()>& condition) { return uitest::ProcessEventsUntil(condition); }
    static void RunPosted() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    uitest::ScriptedSaveFileDialog saveFile;
};

}  // namespace pagetest
