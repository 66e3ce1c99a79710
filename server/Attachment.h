#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/ReceiveStream.h"
#include "platform/completionport/CompletionPort.h"

inline constexpr std::uint32_t kReceiveBufferSize = 4096;
// A receive leaves the last byte of the buffer for the zero that terminates the data.
inline constexpr std::uint32_t kReceiveLength = kReceiveBufferSize - 1;
// Sequence numbers run 1..65534 and wrap.
inline constexpr std::uint32_t kLastSequence = 65534;
inline constexpr int kNoSocket = -1;

// Seconds since 1970 by the system clock, as lastActive holds them.
std::uint32_t NowSeconds();

// One connection slot, made once and reused. `lock` serialises every event of the connection; the
// fields below it that are not atomic (peerAddress, buffer, fill, stream) are only touched
// under it. inUse, sequence and lastActive are also read and written by service threads and the
// timeout checker without the lock, hence atomic.
struct Attachment {
    std::atomic<int> socket{kNoSocket};
    std::atomic<std::uint32_t> sequence{1};
    std::recursive_mutex lock;
    sockaddr_in peerAddress{};
    std::atomic<std::uint8_t> inUse{0};
    std::atomic<std::uint32_t> lastActive{0};   // 0: not timed
    std::uint8_t buffer[kReceiveBufferSize]{};  // receives always write from the first byte
    std::uint32_t fill = 0;
    // The bytes of the latest receive while they are decoded (the next receive is armed into
    // `buffer` before decoding starts and may complete at any time), behind a frame or ADU of the
    // connection that an earlier receive cut. Close leaves it alone, since the decoder may be
    // releasing the connection from inside it; the handler closes it, Attach empties it.
    ReceiveStream stream;

    // Takes a newly accepted socket; false (nothing changed) if the record is in use. Under `lock`.
    bool Attach(int acceptedSocket, const sockaddr_in& peer);
    // Ends the connection and advances `sequence`; does nothing and returns false if not in use.
    // Under `lock`.
    bool Close(CompletionPort& port);
};
