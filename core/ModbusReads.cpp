// Modbus/TCP reads, answered from the live table through its read windows, and the replies that
// refuse a request.
#include <span>

#include "core/ModbusService.h"
#include "core/TextFormat.h"

namespace {

// The most bits and registers one Modbus/TCP reply can carry.
constexpr std::uint32_t kMaxBitsPerRead = 2000;
constexpr std::uint32_t kExceptionLength = 9;

using BuildReply = std::size_t (*)(const RtuRecord&, ReplyBuffer&, std::uint32_t k, std::uint32_t n,
                                   const ModbusReplyHeader&);

// A read window: start addresses first..last reach positions 0.. of one source.
struct ReadWindow {
    std::uint32_t first;
    std::uint32_t last;
    const char* name;
    BuildReply build;
};

constexpr ReadWindow kBitWindows[] = {
    {1000, 1031, "DIN",
     [](const RtuRecord& r, ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) {
         return r.BuildDinReply(out, k, n, h);
     }},
    {1100, 1131, "DOUT",
     [](const RtuRecord& r, ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) {
         return r.BuildDoutReply(out, k, n, h);
     }},
};

constexpr ReadWindow kRegisterWindows[] = {
    {1000, 1007, "AIN",
     [](const RtuRecord& r, ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) {
         return r.BuildAinReply(out, k, n, h, h.functionCode == 0x04);
     }},
    {1200, 1263, "REGISTERS",
     [](const RtuRecord& r, ReplyBuffer& out, std::uint32_t k, std::uint32_t n, const ModbusReplyHeader& h) {
         return r.BuildRegisterReply(out, k, n, h, h.functionCode == 0x04);
     }},
};

const ReadWindow* WindowAt(std::span<const ReadWindow> windows, std::uint32_t start) {
    for (const ReadWindow& window : windows) {
        if (start >= window.first && start <= window.last) return &window;
    }
    return nullptr;
}

// Each request builds its reply in a buffer of its own, so connections reading one unit never share
// it. A quantity above the window's limit builds no reply.
ModbusResult AnswerFromWindows(const Adu& adu, std::span<const ReadWindow> windows, std::uint32_t readLimit) {
    if (!adu.slot) return adu.Refuse(kTargetFailedToRespond);
    const std::uint32_t quantity = adu.view.BigEndian16(kAduDataPos);
    if (adu.Standard() && (quantity == 0 || quantity > readLimit)) return adu.Refuse(kIllegalDataValue);
    const ReadWindow* window = WindowAt(windows, adu.start);
    if (!window) return adu.Refuse(kIllegalDataAddress);
    const std::uint32_t k = adu.start - window->first;
    ReplyBuffer reply;
    const std::size_t length =
        adu.slot->Read([&](const RtuRecord& record) { return window->build(record, reply, k, quantity, adu.header); });
    if (length > 0) adu.ctx.reply.Send(reply.data(), length);
    if (adu.ctx.modbusList) {
        DumpReply(adu.ctx, reply.data(), length);
        adu.ctx.LogModbus(Format("Query %s from %u-%u, Reply %zu Bytes", window->name, k, k + quantity, length));
    }
    return length > 0 ? ModbusResult::kOk : adu.Refuse(kIllegalDataValue);
}

void LogRead(const Adu& adu, const char* functionText) {
    if (!adu.ctx.modbusList) return;
    // The found record is named by its slot number + 1, 0 meaning none.
    const std::size_t tag = adu.slot ? adu.ctx.core.Table().IndexOf(*adu.slot) + 1 : 0;
    adu.ctx.LogModbus(Format("Reply Fn %s, RegStart=%d, Cnts=%d, pState=%zx\r\n", functionText, adu.start,
                             adu.view.BigEndian16(kAduDataPos), tag));
}

}  // namespace

ModbusResult Adu::Refuse(std::uint8_t code) const {
    if (!Standard()) return ModbusResult::kNoReply;
    SendModbusException(ctx, header, code);
    return ModbusResult::kException;
}

void SendModbusException(const ChunkContext& ctx, const ModbusReplyHeader& header, std::uint8_t code) {
    const std::uint8_t reply[kExceptionLength] = {static_cast<std::uint8_t>(header.transactionId >> 8),
                                                  static_cast<std::uint8_t>(header.transactionId & 0xff),
                                                  0,
                                                  0,
                                                  0,
                                                  3,
                                                  header.unitId,
                                                  static_cast<std::uint8_t>(header.functionCode | 0x80),
                                                  code};
    ctx.reply.Send(reply, sizeof reply);
    if (!ctx.modbusList) return;
    DumpReply(ctx, reply, sizeof reply);
    ctx.LogModbus(Format("Exception %2.2X to Fn %2.2X", code, header.functionCode));
}

void DumpReply(const ChunkContext& ctx, const std::uint8_t* reply, std::size_t length) {
    if (length > 0 && ctx.modbusList) ctx.LogModbus(HexDump(reply, length));
}

ModbusResult ReadBits(const Adu& adu) {
    LogRead(adu, "0x01");
    return AnswerFromWindows(adu, kBitWindows, kMaxBitsPerRead);
}

ModbusResult ReadRegisters(const Adu& adu) {
    LogRead(adu, "0x03");
    return AnswerFromWindows(adu, kRegisterWindows, kMaxRegistersPerRead);
}
