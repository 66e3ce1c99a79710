#pragma once

#include <cstdint>
#include <string>

struct ChunkContext;
struct FrameHeader;

// Everything a frame function may do besides reading its frame, and its only way to the rest of
// the program. A frame that is only measured (to learn where it ends before it is decoded) runs
// the same function against MeasuredFrame, whose effects do nothing, so no function can act on a
// frame it was only asked to measure.
class IFrameEffects {
public:
    virtual ~IFrameEffects() = default;
    virtual void Register(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) = 0;
    virtual void Coil(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) = 0;
    // One line of the counters file.
    virtual void CountersLine(const std::string& line) = 0;
    // The RTU's position as it wrote it, for its state page.
    virtual void Gps(const std::string& text) = 0;
    virtual void Registration(const std::string& text) = 0;
    // Bytes back to the RTU on its connection.
    virtual void Reply(const std::string& message) = 0;
};

// The effects of a frame being decoded: on the live table, the history, the raw-data list, the
// state page, the counters file and the reply path of the chunk's context.
class AppliedFrame final : public IFrameEffects {
public:
    AppliedFrame(ChunkContext& ctx, const FrameHeader& header) : ctx(ctx), header(header) {}
    void Register(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) override;
    void Coil(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) override;
    void CountersLine(const std::string& line) override;
    void Gps(const std::string& text) override;
    void Registration(const std::string& text) override;
    void Reply(const std::string& message) override;

private:
    ChunkContext& ctx;
    const FrameHeader& header;
};

// The effects of a frame that is only measured: none.
class MeasuredFrame final : public IFrameEffects {
public:
    void Register(std::uint32_t, std::int32_t, std::uint8_t) override {}
    void Coil(std::uint32_t, std::int32_t, std::uint8_t) override {}
    void CountersLine(const std::string&) override {}
    void Gps(const std::string&) override {}
    void Registration(const std::string&) override {}
    void Reply(const std::string&) override {}
};
