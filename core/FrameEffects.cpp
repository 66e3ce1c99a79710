#include "core/FrameEffects.h"

#include "core/CounterReport.h"
#include "core/FrameDecoder.h"
#include "core/TextFormat.h"

void AppliedFrame::Register(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) {
    ctx.core.UpdateRegister(header.unitId, registerNumber, value, header.timestamp, state, ctx.list != nullptr);
}

void AppliedFrame::Coil(std::uint32_t registerNumber, std::int32_t value, std::uint8_t state) {
    ctx.core.UpdateCoil(header.unitId, registerNumber, value, header.timestamp, state, ctx.list != nullptr);
}

void AppliedFrame::CountersLine(const std::string& line) { AppendCountersLine(ctx.core.CountersPath(), line); }

void AppliedFrame::Gps(const std::string& text) {
    if (ctx.list) ctx.Log(Format("Register# set GPS=%s\n", text.c_str()));
    if (!ctx.statePage) return;
    if (RtuSlot* slot = ctx.core.Table().FindRtu(header.unitId)) {
        slot->SetGps(text);
        ctx.statePage->PostCommand(CMD_REFRESH_STATE);
    }
}

void AppliedFrame::Registration(const std::string& text) {
    ctx.core.UpdateRegistString(header.unitId, text.c_str(), ctx.list != nullptr);
}

// A failed send releases the connection itself; decoding of the chunk goes on either way.
void AppliedFrame::Reply(const std::string& message) {
    ctx.reply.Send(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
}
