// The shipped texts fit the controls the templates give them: no button caption, form label or
// history time stamp is cut.
#include "tests/ui/PageFixture.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>

#include <filesystem>

#include "ui/DatabaseStartup.h"
#include "ui/DyInputView.h"
#include "ui/PageModbusRegs.h"
#include "ui/PageRtuList.h"
#include "ui/PageRtuState.h"
#include "ui/PageTcpRowData.h"
#include "ui/ResourceIds.h"

namespace pagetest {
namespace {

namespace fs = std::filesystem;

class CaptionFitTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        for (const char* name : {"rtu_ui.ini", "name_rtu.ini", "data_rtu.ini", "Messages.ini"}) {
            fs::copy_file(fs::path(TELVORN_SOURCE_DIR) / "resources" / "ini" / name, name,
                          fs::copy_options::overwrite_existing);
        }
        LiveRtuTable().Slot(0).SetUidText("1");
        currentRtu = &LiveRtuTable().Slot(0);
    }

    // "id: caption" of every button on `root` not hidden whose caption is cut, and not shown whole as
    // its tooltip instead.
    static std::vector<std::string> CutCaptions(const QWidget& root) {
        std::vector<std::string> cut;
        for (const CButtonST* button : root.findChildren<CButtonST*>()) {
            if (!button->isHidden() && !button->CaptionFits() && button->toolTip() != button->text()) {
                cut.push_back(button->property("controlId").toString().toStdString() + ": " +
                              button->text().toStdString());
            }
        }
        return cut;
    }

    // Every history time stamp is as wide as its column allows, and the columns as wide as the list.
    static void ExpectTimeColumnsReadable(CHistoryList& history) {
        history.AppendRow(HistoryRow{"1", "-1234.5", "2026-12-31 23:59:58", "2026-12-31 23:59:59", true});
        QTreeWidget& list = history.List();
        // QTreeView hides the width its items ask for; the base class offers it.
        const QAbstractItemView& view = list;
        for (int column : {2, 3}) {
            EXPECT_GE(list.header()->sectionSize(column), view.sizeHintForColumn(column)) << column;
        }
        EXPECT_GE(list.header()->sectionSize(1), view.sizeHintForColumn(1));
        int total = 0;
        for (int column = 0; column < list.columnCount(); ++column) total += list.header()->sectionSize(column);
        EXPECT_LE(total, list.viewport()->width());
    }
};

struct PanelCase {
    const char* name;
    std::int32_t model;
};

class RtuStateCaptionTest : public CaptionFitTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(RtuStateCaptionTest, EveryValueButtonShowsItsWholeCaption) {
    RtuSlot& rtu = LiveRtuTable().Slot(0);
    rtu.SetModel(GetParam().model);
    for (std::uint32_t i = 0; i < 4; ++i) {
        rtu.SetAin(i, -1234.56);
        rtu.SetEtemp(i, -40.25);
        rtu.SetCounter(1301 + i, -1);  // the widest counter: 42949672.95
        rtu.SetGraycode(i, 65535);
    }
    rtu.SetSignal(-113);
    rtu.SetItemp(287.38);
    rtu.SetGps("N' 100.349820 E' 92.009831");
    CPageRtuState page(nullptr, db, box, saveFile);
    page.setHeader("1", "Pump station 1");
    page.OnCommand(static_cast<int>(CMD_REFRESH_STATE));
    EXPECT_EQ(CutCaptions(page), std::vector<std::string>{});
    // The small back button shows its image, its caption as the tooltip.
    const auto& back = static_cast<const CButtonST&>(*page.Control(IDC_STATE_BACK));
    EXPECT_FALSE(back.Layout().image.isEmpty());
    EXPECT_EQ(back.toolTip(), "Back");
}

INSTANTIATE_TEST_SUITE_P(Models, RtuStateCaptionTest,
                         ::testing::Values(PanelCase{"CountersAndTemperatures", 403}, PanelCase{"GrayCode", 405}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptionFitTest, TheHistoryTimeStampsOfTheStatePageAreWhole) {
    CPageRtuState page(nullptr, db, box, saveFile);
    ExpectTimeColumnsReadable(page.History());
}

TEST_F(CaptionFitTest, TheRegisterPageShowsWholeTimeStampsAndItsExportCaption) {
    CPageModbusRegs page(nullptr, db, box, saveFile);
    ExpectTimeColumnsReadable(page.History());
    EXPECT_EQ(CutCaptions(page), std::vector<std::string>{});
}

TEST_F(CaptionFitTest, TheRawDataPageShowsItsWholeResetCaption) {
    CPageTcpRowData page(nullptr);
    EXPECT_EQ(CutCaptions(page), std::vector<std::string>{});
}

TEST_F(CaptionFitTest, TheRtuFormShowsWholeLabelsAndButtonCaptions) {
    Register("1", "Pump station 1", "407");
    CPageRtuList page(nullptr, db, LoadRtuRegistry, box);
    page.OnCommand(CMD_RELOAD_RTU_LIST);
    page.List().setCurrentItem(page.List().topLevelItem(0));
    RunPosted();
    CDyInputView& form = page.InputPanel();
    ASSERT_FALSE(form.isHidden());
    EXPECT_EQ(CutCaptions(form), std::vector<std::string>{});
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
            << label->text().toStdString();
    }
}

}  // namespace
}  // namespace pagetest
