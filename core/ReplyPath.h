#pragma once

#include <cstddef>
#include <cstdint>

#include "core/RtuActivity.h"

// The connection a chunk came from, for the replies and echoes the decoder sends back.
// The server implements it per call of DecodeChunk.
class IReplyPath {
public:
    // One send of the bytes. A failed send closes and releases the connection itself and returns false.
    virtual bool Send(const std::uint8_t* bytes, std::size_t length) = 0;
    // Closes the connection and returns its record to the table.
    virtual void Release() = 0;
    // The connection and peer, for the last-report record of the units it carries.
    virtual ReportOrigin Origin() const { return {}; }

protected:
    ~IReplyPath() = default;
};
