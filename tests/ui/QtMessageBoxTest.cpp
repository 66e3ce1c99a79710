#include "ui/QtMessageBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "tests/ui/UiFixture.h"

namespace uitest {
namespace {

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
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
        seen = SeenBox{box->icon(), box->text(), box->windowTitle()};
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

TEST(QtMessageBoxTest, PlainBoxHasNoIcon) {
    SeenBox seen;
    ShowAndPress("Created", MessageIcon::None, MessageButtons::Ok, QMessageBox::Ok, seen);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

}  // namespace
}  // namespace uitest
