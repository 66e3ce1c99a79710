#include <gtest/gtest.h>

#include "tests/server/ServerFixture.h"

namespace servertest {
namespace {

TEST_F(ServerTest, OneSegmentReachesTheDecoderOnceZeroTerminated) {
    StartServer();
    int client = Connect();
    std::string segment(30, 'A');
    ASSERT_TRUE(Send(client, segment));
    ASSERT_TRUE(WaitForChunks(1));
    Chunk chunk = handler.Chunks()[0];
    EXPECT_EQ(chunk.bytes, 30u);
    EXPECT_EQ(chunk.fill, 30u);
    EXPECT_EQ(chunk.data, segment);
    EXPECT_EQ(chunk.after, 0);
    Attachment* record = RecordOf(client);
    ASSERT_NE(record, nullptr);
    {
        std::lock_guard guard(record->lock);
        EXPECT_EQ(record->fill, 0u);
    }
    ASSERT_TRUE(Send(client, "next"));
    EXPECT_TRUE(WaitForChunks(2));
}

TEST_F(ServerTest, FrameSplitOverTwoSendsReachesTheDecoderTwice) {
    StartServer();
    int client = Connect();
    ASSERT_TRUE(Send(client, "$0000"));
    ASSERT_TRUE(WaitForChunks(1));
    ASSERT_TRUE(Send(client, "0123$"));
    ASSERT_TRUE(WaitForChunks(2));
    std::vector<Chunk> chunks = handler.Chunks();
    EXPECT_EQ(chunks[0].data, "$0000");
    EXPECT_EQ(chunks[1].data, "0123$");
    EXPECT_EQ(chunks.size(), 2u);
}

TEST_F(ServerTest, ReplyGoesBackOnTheSameConnection) {
    StartServer();
    int first = Connect();
    int second = Connect();
    ASSERT_TRUE(Send(second, "ping"));
    EXPECT_EQ(loopback::Receive(second, kGenerousMs), "pong");
    EXPECT_FALSE(loopback::WaitReadable(first, 0));
}

// The next receive is armed before decoding; its bytes land in the receive buffer while the first
// chunk is still being decoded, and must not change what the decoder reads.
TEST_F(ServerTest, BytesUnderDecodingStayIntactWhileTheNextReceiveCompletes) {
    StartServer();
    std::mutex gate;
    std::condition_variable changed;
    bool decoding = false;
    bool proceed = false;
    std::string reread;
    handler.onDecode = [&](Attachment& record, ConnectionTable&, CompletionPort&) {
        std::unique_lock guard(gate);
        if (!reread.empty()) {
            return;
        }
        decoding = true;
        changed.notify_all();
        changed.wait_for(guard, 30s, [&] { return proceed; });
        reread.assign(reinterpret_cast<const char*>(record.stream.Received()), record.fill);
    };
    int client = Connect();
    ASSERT_TRUE(Send(client, "first chunk"));
    {
        std::unique_lock guard(gate);
        ASSERT_TRUE(changed.wait_for(guard, 30s, [&] { return decoding; }));
    }
    ASSERT_TRUE(Send(client, "SECOND"));
    // The second receive has completed once a service thread has turned it into a task.
    ASSERT_TRUE(WaitUntil([&] { return server->TaskPool().FreeCount() < server->TaskPool().Size(); }));
    {
        std::lock_guard guard(gate);
        proceed = true;
    }
    changed.notify_all();
    ASSERT_TRUE(WaitForChunks(2));
    std::lock_guard guard(gate);
    EXPECT_EQ(reread, "first chunk");
    EXPECT_EQ(handler.Chunks()[1].data, "SECOND");
}

}  // namespace
}  // namespace servertest
