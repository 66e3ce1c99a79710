#include "server/ConnectionTable.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/ConnectionOps.h"
#include "server/ServerError.h"

namespace {

// A one-record table on a port the system picked, with a connected socket pair for the record.
class ConnectionTableTest : public ::testing::Test {
protected:
    void SetUp() override { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair); }
    void TearDown() override { close(pair[1]); }

    Attachment& Open() {
        Attachment* record = table.Acquire();
        EXPECT_NE(record, nullptr);
        std::lock_guard guard(record->lock);
        EXPECT_TRUE(record->Attach(pair[0], sockaddr_in{}));
        port.Associate(pair[0], record);
        return *record;
    }

    CompletionPort port;
    ConnectionTable table{0, 1, true, true};
    int pair[2] = {-1, -1};
};

TEST_F(ConnectionTableTest, HandsOutEachFreeRecordOnce) {
    EXPECT_NE(table.Acquire(), nullptr);
    EXPECT_EQ(table.Acquire(), nullptr);
}

TEST_F(ConnectionTableTest, AttachingARecordInUseIsRefused) {
    Attachment& record = Open();
    std::lock_guard guard(record.lock);
    EXPECT_FALSE(record.Attach(pair[1], sockaddr_in{}));
    EXPECT_EQ(record.socket, pair[0]);
    ReleaseConnection(record, table, port);
}

// A late reply or release for a connection already released must not free the record again while
// an accept has taken it and waits for its lock.
TEST_F(ConnectionTableTest, ReleasingAClosedRecordLeavesItWithItsNewOwner) {
    Attachment& record = Open();
    std::uint32_t sequence = record.sequence;
    std::lock_guard guard(record.lock);
    ReleaseConnection(record, table, port);
    EXPECT_EQ(record.sequence, sequence + 1);
    ASSERT_EQ(table.Acquire(), &record);
    const std::uint8_t reply[] = {1};
    EXPECT_FALSE(SendToConnection(record, table, port, reply, sizeof reply));
    ReleaseConnection(record, table, port);
    EXPECT_EQ(table.FreeCount(), 0u);
    EXPECT_EQ(record.sequence, sequence + 1);
}

TEST_F(ConnectionTableTest, ReleasedRecordIsZeroedAndClosed) {
    Attachment& record = Open();
    std::lock_guard guard(record.lock);
    record.buffer[0] = 'x';
    record.fill = 1;
    record.lastActive = 5;
    ReleaseConnection(record, table, port);
    EXPECT_EQ(record.inUse, 0);
    EXPECT_EQ(record.socket, kNoSocket);
    EXPECT_EQ(record.buffer[0], 0);
    EXPECT_EQ(record.fill, 0u);
    EXPECT_EQ(record.lastActive, 0u);
    char byte;
    EXPECT_EQ(recv(pair[1], &byte, 1, 0), 0) << "the peer sees the close";
}

TEST_F(ConnectionTableTest, ZeroRecordsCountAsOne) {
    ConnectionTable small(0, 0, true, true);
    EXPECT_EQ(small.AllList().size(), 1u);
}

}  // namespace
