#include "tests/ui/PageFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <future>
#include <mutex>

#include "platform/profile/ProfileSettings.h"
#include "storage/sql/DatabaseMutex.h"
#include "ui/DyInputView.h"
#include "ui/PageRtuList.h"

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

    void OpenForAdd() {
        panel->show();
        panel->setHeading(CDyInputView::kAddMode, "Add RTU");
        panel->prepareAdd(*owner);
    }

    // Adds an RTU through the form as the operator does: type the unit id, press Save.
    void Add(const std::string& uid) {
        OpenForAdd();
        panel->SetRowText(0, QString::fromStdString(uid));
        ClickControl(*panel, IDC_FORM_CONFIRM);
    }

    // The control id of the focused control, or of the control it is part of (a combo's edit line).
    static int FocusedControlId() {
        for (const QWidget* widget = QApplication::focusWidget(); widget != nullptr; widget = widget->parentWidget())
            if (widget->property("controlId").isValid()) return widget->property("controlId").toInt();
        return 0;
    }

    // The form as an active window of its own, as the operator sees it.
    void ShowActive() {
        OpenForAdd();
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    }

    std::unique_ptr<CPageRtuList> owner;
    std::unique_ptr<CDyInputView> panel;
};

// Answers as FakeMessageBox does and notes, for every box, whether another thread could take the
// database lock while it was up: a box shown under the lock stops every history write of the fleet.
class LockProbeBox final : public IMessageBox {
public:
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override {
        lockFree.push_back(std::async(std::launch::async, [] {
                               std::unique_lock<std::recursive_mutex> lock(DatabaseMutex, std::try_to_lock);
                               return lock.owns_lock();
                           }).get());
        return boxes.Show(text, caption, icon, buttons);
    }

    FakeMessageBox boxes;
    std::vector<bool> lockFree;
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

TEST_F(DyInputViewTest, TheBoxesOfAFailedAddAreShownWithTheDatabaseLockFree) {
    LockProbeBox probe;
    CDyInputView form(nullptr, db, probe);
    form.buildRows(ReadRtuColumnCaptions());
    form.setHeading(CDyInputView::kAddMode, "Add RTU");
    for (int attempt = 0; attempt < 2; ++attempt) {
        form.prepareAdd(*owner);
        form.SetRowText(0, "12");
        ClickControl(form, IDC_FORM_CONFIRM);
    }
    ASSERT_EQ(probe.boxes.shown.size(), 4u);
    EXPECT_EQ(probe.boxes.shown[0].text, "ADD_RTU_OK");
    EXPECT_FALSE(probe.boxes.shown[1].text.empty());  // the driver's message
    EXPECT_EQ(probe.boxes.shown[2].text, "CSQLException exception when write database!");
    EXPECT_EQ(probe.boxes.shown[3].text, "ADD_RTU_ERR");
    EXPECT_EQ(probe.lockFree, std::vector<bool>(4, true));
}

// An RTU deleted and added again finds its channel tables still there: the first creation fails, its
// two error boxes show, and the row itself is stored.
TEST_F(DyInputViewTest, ReAddingADeletedRtuShowsTheTableErrorThenAddRtuOk) {
    Add("7");
    OpenForEdit({"7"});
    box.answers.push_back(MessageAnswer::Yes);
    ClickControl(*panel, IDC_FORM_DELETE);
    ASSERT_EQ(Count("RTU_TAB"), 0);
    box.shown.clear();
    Add("7");
    ASSERT_EQ(Texts().size(), 3u);
    EXPECT_FALSE(Texts()[0].empty());
    EXPECT_EQ(Texts()[1], "CSQLException exception when write database!");
    EXPECT_EQ(Texts()[2], "ADD_RTU_OK");
    EXPECT_EQ(Count("RTU_TAB"), 1);
}

TEST_F(DyInputViewTest, SavingAnRtuDeletedMeanwhileReportsEditRtuErr) {
    Register("7", "Pump house", "405");
    OpenForEdit({"7", "Pump house", "", "", "", "", "", "405"});
    ASSERT_TRUE(Exec("DELETE FROM RTU_TAB WHERE UID='7'"));
    panel->SetRowText(1, "Pump hall");
    ClickControl(*panel, IDC_FORM_CONFIRM);
    EXPECT_EQ(Texts(), std::vector<std::string>{"EDIT_RTU_ERR"});
    EXPECT_EQ(Count("RTU_TAB"), 0);
}

// A frame carries its unit id as eight digits: any other unit id could never report.
TEST_F(DyInputViewTest, AUnitIdIsOneToEightDigitsOrRefusedBeforeAnyTable) {
    for (const char* uid : {"abc", "A7", "7a", "-7", "+7", "1 2", "123456789", "12345678901234567890"}) {
        box.shown.clear();
        Add(uid);
        EXPECT_EQ(Texts(), (std::vector<std::string>{"Unit Id must be 1 to 8 decimal digits!", "ADD_RTU_ERR"})) << uid;
    }
    EXPECT_EQ(Count("RTU_TAB"), 0);
    EXPECT_EQ(Tables().size(), 3u);  // RTU_TAB, FULLRCDS and LTIME_ZONE only
    Add(" 7 ");
    Add("00000042");
    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB ORDER BY UID"), (std::vector<std::string>{"42", "7"}));
    EXPECT_TRUE(HasTable("7_DIN0"));
    EXPECT_TRUE(HasTable("42_RALARMS"));
}

TEST_F(DyInputViewTest, TabFollowsTheRowsThenTheButtons) {
    ShowActive();
    panel->Field(0).setFocus();
    std::vector<int> order;
    for (int step = 0; step < 9; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(FocusedControlId());
    }
    EXPECT_EQ(order, (std::vector<int>{1002, 1003, 1004, 1005, 1006, 1007, 1008, IDC_FORM_CONFIRM, IDC_FORM_CANCEL}));
}

TEST_F(DyInputViewTest, TheFocusedButtonShowsItsFocus) {
    ShowActive();
    QWidget& save = *FindControl(*panel, IDC_FORM_CONFIRM);
    panel->Field(1).setFocus();
    const QImage unfocused = save.grab().toImage();
    save.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(save.hasFocus());
    EXPECT_TRUE(save.grab().toImage() != unfocused);
}

TEST_F(DyInputViewTest, EnterInAnyRowSaves) {
    ShowActive();
    panel->SetRowText(0, "21");
    QTest::keyClick(&panel->Field(3), Qt::Key_Return);
    EXPECT_EQ(Texts(), std::vector<std::string>{"ADD_RTU_OK"});
    panel->SetRowText(0, "22");
    auto& model = static_cast<QComboBox&>(panel->Field(7));
    model.setFocus();
    QTest::keyClicks(&model, "408");
    QTest::keyClick(&model, Qt::Key_Return);
    EXPECT_EQ(Column("SELECT RDATA7 FROM RTU_TAB ORDER BY UID"), (std::vector<std::string>{"", "408"}));
    EXPECT_EQ(model.count(), 6);  // the typed code is not added to the offered ones
}

}  // namespace
}  // namespace pagetest
