#include "ui/SaveFileDialog.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>

#include <fstream>

#include "tests/ui/UiFixture.h"

namespace uitest {
namespace {

TEST(ToolkitFileFilterTest, PairsBecomeTheToolkitsNameFilters) {
    EXPECT_EQ(ToolkitFileFilter("Excel file (*.csv)|*.csv|"), "Excel file (*.csv)");
    EXPECT_EQ(ToolkitFileFilter("Text|*.txt;*.log|All files (*.*)|*.*|"), "Text (*.txt *.log);;All files (*.*)");
    EXPECT_EQ(ToolkitFileFilter(""), "");
}

// The export's filter in the toolkit's own file dialog lists the .csv files of a directory and no other.
TEST_F(UiTest, TheExportFilterListsTheCsvFiles) {
    for (const char* name : {"report.csv", "notes.txt"}) std::ofstream(name) << "x\n";
    QFileDialog dialog(nullptr, QString(), QDir::currentPath(), ToolkitFileFilter("Excel file (*.csv)|*.csv|"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.nameFilters(), QStringList{"Excel file (*.csv)"});
    auto* files = dialog.findChild<QListView*>("listView");
    ASSERT_NE(files, nullptr);
    QStringList listed;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        listed.clear();
        const QModelIndex root = files->rootIndex();
        for (int row = 0; row < files->model()->rowCount(root); ++row) {
            listed << files->model()->index(row, 0, root).data().toString();
        }
        return !listed.isEmpty();
    }));
    EXPECT_EQ(listed, QStringList{"report.csv"});
}

}  // namespace
}  // namespace uitest
