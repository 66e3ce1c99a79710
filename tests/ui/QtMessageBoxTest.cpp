#include "ui/QtMessageBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <ostream>
#include <string>

#include "tests/ui/UiFixture.h"

namespace uitest {
namespace {

// What the box showed. Until a box is seen the icon is one no call asks for, so a box that was never
// recorded cannot pass for one without an icon.
struct SeenBox {
    QMessageBox::Icon icon = static_cast<QMessageBox::Icon>(-1);
    bool iconShown = false;
    QString text;
    QString title;
};

// Shows the box and, once it is up, records it and presses `button`.
MessageAnswer ShowAndPress(const std::string& text, MessageIcon icon, MessageButtons buttons,
                           QMessageBox::StandardButton button, SeenBox& seen) {
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        presser.stop();
        seen = SeenBox{box->icon(), !box->iconPixmap().isNull(), box->text(), box->windowTitle()};
        box->button(button)->click();
    });
    presser.start(5);
    QtMessageBox messageBox;
    return messageBox.Show(text, "", icon, buttons);
}

TEST(QtMessageBoxTest, QuestionIsAnsweredNo) {
    SeenBox seen;
    EXPECT_EQ(ShowAndPress("Delete?", MessageIcon::Question, MessageButtons::YesNo, QMessageBox::No, seen),
              MessageAnswer::No);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "Delete?");
    EXPECT_EQ(seen.title, "Telvorn");
}

TEST(QtMessageBoxTest, QuestionIsAnsweredYes) {
    SeenBox seen;
    EXPECT_EQ(ShowAndPress("Delete?", MessageIcon::Question, MessageButtons::YesNo, QMessageBox::Yes, seen),
              MessageAnswer::Yes);
}

TEST(QtMessageBoxTest, StopIconIsTheErrorIconAndAnEmptyTextStillShowsABox) {
    SeenBox seen;
    EXPECT_EQ(ShowAndPress("", MessageIcon::Stop, MessageButtons::Ok, QMessageBox::Ok, seen), MessageAnswer::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, "");
}

struct IconCase {
    MessageIcon icon;
    QMessageBox::Icon expected;
    const char* name;
};

void PrintTo(const IconCase& c, std::ostream* out) { *out << c.name; }

class QtMessageBoxIconTest : public ::testing::TestWithParam<IconCase> {};

// Each icon of the program's boxes shows as its Qt counterpart; the plain box shows none at all.
TEST_P(QtMessageBoxIconTest, ShowsItsIcon) {
    SeenBox seen;
    ShowAndPress("Created", GetParam().icon, MessageButtons::Ok, QMessageBox::Ok, seen);
    EXPECT_EQ(seen.text, "Created");
    EXPECT_EQ(seen.icon, GetParam().expected);
    EXPECT_EQ(seen.iconShown, GetParam().expected != QMessageBox::NoIcon);
}

INSTANTIATE_TEST_SUITE_P(EveryIcon, QtMessageBoxIconTest,
                         ::testing::Values(IconCase{MessageIcon::None, QMessageBox::NoIcon, "None"},
                                           IconCase{MessageIcon::Stop, QMessageBox::Critical, "Stop"},
                                           IconCase{MessageIcon::Information, QMessageBox::Information, "Information"},
                                           IconCase{MessageIcon::Question, QMessageBox::Question, "Question"},
                                           IconCase{MessageIcon::Warning, QMessageBox::Warning, "Warning"}),
                         [](const ::testing::TestParamInfo<IconCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace uitest
