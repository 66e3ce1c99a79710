#include "tests/ui/PageFixture.h"

#include <QComboBox>
#include <QLineEdit>

#include "ui/DyInputView.h"
#include "ui/PageRtuList.h"
#include "ui/StartupSettings.h"

namespace pagetest {
namespace {

// The RTU form on its own, with rows built from the eight configured captions.
class DyInputViewTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        owner = std::make_unique<CPageRtuList>(nullptr, db, CPageRtuList::RegistryLoader{}, box);
        panel = std::make_unique<CDyInputView>(nullptr, db, box);
        panel->buildRows(ReadRtuColumnCaptions());
    }

    void TearDown() override {
        panel.reset();
        owner.reset();
        PageTest::TearDown();
    }

    void OpenForEdit(const std::vector<std::string>& texts) {
        panel->show();
        panel->setHeading(CDyInputView::kEditMode, "Edit RTU");
        panel->fillRows(texts);
        panel->prepareEdit(*owner);
    }

    std::unique_ptr<CPageRtuList> owner;
    std::unique_ptr<CDyInputView> panel;
};

TEST_F(DyInputViewTest, EightCaptionsGiveSevenEditRowsAndOneComboOfModelCodes) {
    ASSERT_EQ(panel->RowCount(), 8);
    for (int k = 0; k < 7; ++k) {
        EXPECT_NE(qobject_cast<QLineEdit*>(&panel->Field(k)), nullptr) << k;
    }
    auto* combo = qobject_cast<QComboBox*>(&panel->Field(7));
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    QStringList codes;
    for (int i = 0; i < combo->count(); ++i) codes << combo->itemText(i);
    EXPECT_EQ(codes, (QStringList{"406", "407", "403", "405", "408", "409"}));
    EXPECT_EQ(panel->Label(7).text(), "Model");
    EXPECT_EQ(panel->Field(2).geometry(), QRect(QPoint(130, 86), QPoint(400, 106)));
}

TEST_F(DyInputViewTest, CancelKeepsTheTypedTextsAndTheNextAddEmptiesThem) {
    panel->show();
    panel->setHeading(CDyInputView::kAddMode, "Add RTU");
    panel->prepareAdd(*owner);
    panel->SetRowText(0, "33");
    panel->SetRowText(7, "999");
    ClickControl(*panel, IDC_FORM_CANCEL);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->RowText(0), "33");
    EXPECT_EQ(panel->RowText(7), "999");
    panel->prepareAdd(*owner);
    EXPECT_EQ(panel->RowText(0), "");
    EXPECT_EQ(panel->RowText(7), "");
}

TEST_F(DyInputViewTest, AFailedEditHidesThePanelAfterItsMessage) {
    OpenForEdit({"7", "Pump house"});
    db.Close();
    ClickControl(*panel, IDC_FORM_CONFIRM);
    EXPECT_EQ(Texts(), std::vector<std::string>{"EDIT_RTU_ERR"});
    EXPECT_EQ(box.shown.back().icon, MessageIcon::Stop);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->RowText(0), "7");
}

TEST_F(DyInputViewTest, TheUnitIdCannotBeChangedInEditMode) {
    OpenForEdit({"7", "Pump house"});
    EXPECT_FALSE(panel->Field(0).isEnabled());
    EXPECT_FALSE(panel->DeleteButton().isHidden());
    panel->prepareAdd(*owner);
    EXPECT_TRUE(panel->Field(0).isEnabled());
    EXPECT_TRUE(panel->DeleteButton().isHidden());
}

TEST_F(DyInputViewTest, ConfirmedEditStoresTheFieldsAndEmptiesTheForm) {
    Register("7", "Pump house", "405");
    OpenForEdit({"7", "Pump house", "", "", "", "", "", "405"});
    panel->SetRowText(1, "Pump hall");
    ClickControl(*panel, IDC_FORM_CONFIRM);
    EXPECT_EQ(Texts(), std::vector<std::string>{"EDIT_RTU_OK"});
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->RowText(1), "");
    EXPECT_EQ(Column("SELECT RDATA1 FROM RTU_TAB WHERE UID='7'"), std::vector<std::string>{"Pump hall"});
}

TEST_F(DyInputViewTest, DeleteAsksAndOnYesRemovesTheRtuLeavingThePanelAsItWas) {
    Register("7", "Pump house", "405");
    OpenForEdit({"7", "Pump house"});
    box.answers.push_back(MessageAnswer::Yes);
    ClickControl(*panel, IDC_FORM_DELETE);
    EXPECT_EQ(Texts(), std::vector<std::string>{"DELETE_RTU"});
    EXPECT_EQ(Count("RTU_TAB"), 0);
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->RowText(0), "7");
}

TEST_F(DyInputViewTest, DeleteWithAnEmptyUnitIdAsksNothing) {
    panel->prepareAdd(*owner);
    ClickControl(*panel, IDC_FORM_DELETE);
    EXPECT_TRUE(box.shown.empty());
}

}  // namespace
}  // namespace pagetest
