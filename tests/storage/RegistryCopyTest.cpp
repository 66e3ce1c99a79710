#include "storage/RegistryCopy.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/ReadFile.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

RegistryRow Row(const std::string& uid, const std::string& name = "", const std::string& model = "402") {
    RegistryRow row;
    row[0] = uid;
    row[1] = name;
    row[7] = model;
    return row;
}

class RegistryCopyTest : public ::testing::Test {
protected:
    TempWorkingDirectory directory;
    const std::filesystem::path path = RegistryCopyPath();
};

// Texts an operator may type come back as they were; an empty registry is a registry too.
TEST_F(RegistryCopyTest, RowsComeBackAsWritten) {
    const std::vector<std::vector<RegistryRow>> registries = {
        {},
        {Row("7"), Row("12345678", "Pump 3")},
        {Row("1", "tab\there"), Row("2", "two\nlines\r"), Row("3", "back\\slash \\t"), Row("4", "end 3")},
    };
    for (const auto& rows : registries) {
        std::string error;
        ASSERT_TRUE(SaveRegistryCopy(path, rows, error)) << error;
        const auto read = LoadRegistryCopy(path, error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(*read, rows);
    }
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".new"));
}

// A copy cut short, changed by hand or missing is no registry: serving part of one would be wrong.
TEST_F(RegistryCopyTest, CopyThatIsNotWholeIsRefused) {
    std::string error;
    ASSERT_TRUE(SaveRegistryCopy(path, {Row("7"), Row("8")}, error));
    const std::string whole = ReadFile(path);
    const std::vector<std::string> damaged = {
        whole.substr(0, whole.rfind("end ")),       // the end line lost
        whole.substr(0, whole.find('\n', 30) + 1),  // a row lost with it
        whole.substr(0, whole.size() - 3) + "3\n",  // a count that does not match
        whole + "9\t\t\t\t\t\t\t\t\t\t\t\t\n",      // a row after the end
        "other heading\n" + whole.substr(whole.find('\n') + 1),
        whole.substr(0, whole.find('\t')) + "\\x" + whole.substr(whole.find('\t')),
        "",
    };
    for (const std::string& text : damaged) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(LoadRegistryCopy(path, error)) << text;
        EXPECT_FALSE(error.empty());
    }
    std::filesystem::remove(path);
    EXPECT_FALSE(LoadRegistryCopy(path, error));
}

}  // namespace
