// telvorn-admin run as an operator runs it: a child process in the service's working directory
// (the test's), on the test's database, beside a running telvorn-headless where it matters.
#include "tests/storage/StorageFixture.h"

#include <signal.h>

#include <optional>

#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunCommand.h"
#include "tests/support/WaitUntil.h"

namespace {

const char* const kForm =
    "[RTU]\nRDATACOUNTS=8\nRDATA1=Unit ID\nRDATA2=Name\nRDATA3=Site\nRDATA4=Location\nRDATA5=SIM phone\n"
    "RDATA6=Installed\nRDATA7=Contact\nRDATA8=Model\n";
const char* const kListHeader = "Unit ID\tName\tSite\tLocation\tSIM phone\tInstalled\tContact\tModel\n";

struct AdminRun {
    int status = -1;
    std::string out;
    std::string err;
};

class AdminFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        WriteFile("data_rtu.ini", DatabaseSettings() + kForm + "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n");
    }

    // Runs telvorn-admin with `args`, `input` on its standard input.
    AdminRun Admin(const std::vector<std::string>& args, const std::string& input = "") {
        std::string command = "printf %s " + Quoted(input) + " | " TELVORN_ADMIN;
        for (const std::string& arg : args) command += " " + Quoted(arg);
        const std::filesystem::path errors = home_ / "admin-stderr.txt";
        const CommandResult result = RunCommand(command + " 2>" + Quoted(errors.string()));
        return {result.status, result.output, ReadFile(errors)};
    }

    int TablesOf(const std::string& uid) {
        const std::vector<std::string> tables = Tables();
        return static_cast<int>(std::count_if(tables.begin(), tables.end(),
                                              [&](const std::string& name) { return name.rfind(uid + "_", 0) == 0; }));
    }

private:
    static std::string Quoted(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }
};

using AdminTest = OnEachEngine<AdminFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, AdminTest, EachEngine(), EngineName);

TEST_P(AdminTest, AddsEditsListsAndDeletesAsTheFormDoes) {
    const AdminRun add = Admin({"rtu", "add", "0042", "--model", "406", "--name", "Pump 'A'", "--site=North"});
    EXPECT_EQ(add.status, 0) << add.err;
    EXPECT_NE(add.out.find("ADD_RTU_OK"), std::string::npos) << add.out;
    Connect();
    EXPECT_EQ(TablesOf("42"), 158);

    EXPECT_EQ(Admin({"rtu", "edit", "42", "--contact", "Bob\tSmith"}).status, 0);
    EXPECT_EQ(Admin({"rtu", "list"}).out, std::string(kListHeader) + "42\tPump 'A'\tNorth\t\t\t\tBob?Smith\t406\n");

    const AdminRun remove = Admin({"rtu", "delete", "42", "--yes"});
    EXPECT_EQ(remove.status, 0) << remove.err;
    EXPECT_EQ(Admin({"rtu", "list"}).out, kListHeader);
    EXPECT_EQ(TablesOf("42"), 158) << "the history stays";
}

// The service reads the registry again on telvorn-admin's word: an added RTU's readings are stored
// without a restart, and a deleted one is no longer served.
TEST_P(AdminTest, RunningServiceServesAnAddedRtuAtOnce) {
    ChildProcess headless(TELVORN_HEADLESS, {});
    ASSERT_TRUE(WaitUntil([&] { return headless.ListeningPort() != 0; }));
    const AdminRun add = Admin({"rtu", "add", "42", "--model", "406"});
    EXPECT_EQ(add.status, 0) << add.err;
    EXPECT_NE(add.out.find("told to read the registry again"), std::string::npos) << add.out;
    ASSERT_TRUE(headless.WaitForOutput("Registry reloaded: 1 RTUs, 1 new."));

    const int rtu = loopback::Connect(headless.ListeningPort());
    ASSERT_GE(rtu, 0);
    ASSERT_TRUE(loopback::SendText(rtu, "$00000042AB102026120712000001112.34$"));
    EXPECT_TRUE(headless.WaitForOutput("AIN1 12.30"));
    close(rtu);

    EXPECT_EQ(Admin({"rtu", "delete", "42", "--yes"}).status, 0);
    EXPECT_TRUE(headless.WaitForOutput("Registry reloaded: 0 RTUs, 0 new."));
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(home_ / "telvorn-headless.pid")) << "removed at the stop";
    Connect();
    EXPECT_EQ(Column("SELECT RVALUE FROM 42_AIN1"), std::vector<std::string>{"12.3"});
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* input;
    int status;
    const char* message;  // on standard error
};

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }

class AdminRefusalTest : public AdminFixture, public ::testing::WithParamInterface<Refusal> {};

// Unit 12 is registered; every refusal leaves the registry as it was.
TEST_P(AdminRefusalTest, RefusesWithItsMessageAndExitStatus) {
    ASSERT_EQ(Admin({"rtu", "add", "12", "--model", "406", "--name", "Well"}).status, 0);
    const Refusal& refusal = GetParam();
    const AdminRun run = Admin(refusal.args, refusal.input);
    EXPECT_EQ(run.status, refusal.status);
    EXPECT_NE(run.err.find(refusal.message), std::string::npos) << run.err;
    EXPECT_EQ(Admin({"rtu", "list"}).out, std::string(kListHeader) + "12\tWell\t\t\t\t\t\t406\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminRefusalTest,
    ::testing::Values(
        Refusal{
            "LetterInUnitId", {"rtu", "add", "A7", "--model", "406"}, "", 1, "Unit Id must be 1 to 8 decimal digits!"},
        Refusal{"NineDigits", {"rtu", "add", "123456789", "--model", "406"}, "", 1, "Unit Id must be 1 to 8"},
        Refusal{"EmptyUnitId", {"rtu", "add", "", "--model", "406"}, "", 1, "Unit Id can't be null!"},
        Refusal{"RegisteredAlready",
                {"rtu", "add", "012", "--model", "406"},
                "",
                1,
                "CSQLException exception when write database!"},
        Refusal{"NoModel", {"rtu", "add", "13"}, "", 2, "--model N"},
        Refusal{"ModelNotANumber", {"rtu", "add", "13", "--model", "4O6"}, "", 2, "--model takes"},
        Refusal{"FieldPastTheForm",
                {"rtu", "add", "13", "--model", "406", "--rdata8", "x"},
                "",
                2,
                "RDATA8 is not a row of the RTU form"},
        Refusal{"EditOfUnknownUnit", {"rtu", "edit", "13", "--name", "x"}, "", 4, "No RTU with unit id 13"},
        Refusal{"DeleteOfUnknownUnit", {"rtu", "delete", "13", "--yes"}, "", 4, "No RTU with unit id 13"},
        Refusal{"DeleteAnsweredNo", {"rtu", "delete", "12"}, "n\n", 5, "DELETE_RTU [y/N]"},
        Refusal{"DeleteWithoutAnswer", {"rtu", "delete", "12"}, "", 5, "DELETE_RTU [y/N]"},
        Refusal{"UnregisteredWithoutARunningService",
                {"rtu", "list", "--unregistered"},
                "",
                6,
                "No telvorn-headless runs in this directory"}),
    [](const auto& info) { return std::string(info.param.name); });

// A unit that reports unregistered is listed until it is added; the service is asked over HTTP, or
// HTTPS with a password.
class AdminUnregisteredTest : public AdminFixture {
protected:
    void StartService(const std::string& httpKeys) {
        WriteFile("data_rtu.ini",
                  DatabaseSettings() + kForm + "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=127.0.0.1:0\n" + httpKeys);
        headless.emplace(TELVORN_HEADLESS, std::vector<std::string>{});
        ASSERT_TRUE(headless->WaitForOutput("HTTP endpoint on "));
        std::uint16_t httpPort = 0;
        for (const std::string& line : headless->Output())
            if (line.rfind("HTTP endpoint on ", 0) == 0) httpPort = std::stoi(line.substr(line.rfind(':') + 1));
        ASSERT_TRUE(WaitUntil([&] { return (rtuPort = headless->ListeningPort(httpPort)) != 0; }));
    }

    void Send(int unit) {
        const int rtu = loopback::Connect(rtuPort);
        ASSERT_GE(rtu, 0);
        ASSERT_TRUE(loopback::SendText(rtu, "$000000" + std::to_string(unit) + "AB102026120712000001112.34$"));
        close(rtu);
    }

    std::optional<ChildProcess> headless;
    std::uint16_t rtuPort = 0;
};

TEST_F(AdminUnregisteredTest, UnitReportingUnregisteredIsListedUntilAdded) {
    StartService("");
    Send(99);
    const std::string line = "99\t1\t127.0.0.1:";
    ASSERT_TRUE(WaitUntil([&] {
        return Admin({"rtu", "list", "--unregistered"}).out.find(line) != std::string::npos;
    }));
    EXPECT_EQ(Admin({"rtu", "list", "--unregistered"}).out.rfind("Unit ID\tFrames\tPeer\tLast report\n", 0), 0u);

    ASSERT_EQ(Admin({"rtu", "add", "99", "--model", "406"}).status, 0);
    ASSERT_TRUE(headless->WaitForOutput("Registry reloaded: 1 RTUs, 1 new."));
    const AdminRun after = Admin({"rtu", "list", "--unregistered"});
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(after.out, "Unit ID\tFrames\tPeer\tLast report\n");
}

TEST_F(AdminUnregisteredTest, EndpointWithCertificateAndPasswordIsAskedWithThePasswordGiven) {
    const CommandResult made = RunCommand(
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=telvorn.example -keyout key.pem -out cert.pem "
        "2>&1 && openssl passwd -6 secret");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string hash = made.output.substr(made.output.rfind("$6$"));
    StartService("USER=operator\nCERT=cert.pem\nKEY=key.pem\nPASSWORD=" + hash);
    Send(98);

    const AdminRun withoutPassword = Admin({"rtu", "list", "--unregistered"});
    EXPECT_EQ(withoutPassword.status, 6);
    EXPECT_NE(withoutPassword.err.find("TELVORN_HTTP_PASSWORD"), std::string::npos) << withoutPassword.err;
    setenv("TELVORN_HTTP_PASSWORD", "wrong", 1);
    EXPECT_NE(Admin({"rtu", "list", "--unregistered"}).err.find("the password was refused"), std::string::npos);
    setenv("TELVORN_HTTP_PASSWORD", "secret", 1);
    EXPECT_TRUE(WaitUntil([&] {
        return Admin({"rtu", "list", "--unregistered"}).out.find("\n98\t1\t") != std::string::npos;
    }));
    unsetenv("TELVORN_HTTP_PASSWORD");
}

TEST_F(AdminFixture, DirectoryWithoutTheFormIsRefusedBeforeTheDatabase) {
    WriteFile("data_rtu.ini", DatabaseSettings());
    const AdminRun run = Admin({"rtu", "list"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("has no RTU form"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(DatabaseFile()));
}

}  // namespace
