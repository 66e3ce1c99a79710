#include "widgets/BCMenu.h"

#include <gtest/gtest.h>

#include <QPixmap>

namespace {

TEST(BCMenuTest, ChoosingAnItemRunsItsCommand) {
    BCMenu menu("View", nullptr);
    std::vector<int> commands;
    menu.SetCommandHandler([&](int id) { commands.push_back(id); });
    QPixmap image(16, 16);
    image.fill(Qt::red);
    menu.AppendItem(24577, "first", QIcon(image));
    menu.AppendItem(24579, "third");

    menu.Item(24579)->trigger();
    menu.Item(24577)->trigger();

    EXPECT_EQ(commands, (std::vector<int>{24579, 24577}));
    EXPECT_FALSE(menu.Item(24577)->icon().isNull());
    EXPECT_EQ(menu.Item(1), nullptr);
}

}  // namespace
