#pragma once

#include <ctime>
#include <string>

#include "core/ChunkView.h"
#include "core/ModbusMode.h"
#include "core/RawDataList.h"
#include "core/ReplyPath.h"
#include "core/StatePage.h"
#include "core/TelemetryCore.h"

// What one call of DecodeChunk works with; lives on the worker's stack for that call.
struct ChunkContext {
    TelemetryCore& core;
    ChunkView chunk;
    IReplyPath& reply;
    IRawDataList* list;     // where the lines of frames go: absent without a list or at TraceLevel::kNone
    IStatePage* statePage;  // may be absent
    bool listPresent;       // the raw-data list is there, whatever the trace level: frames are echoed
    std::tm now;            // local time when the call began, for the time reply
    char rtuTime[15] = {};  // timestamp of the last frame decoded in this chunk, empty before the first
    // Set: a frame or ADU that runs past the end of the chunk is left undecoded and reported in the
    // loop's DecodeStop. Clear: it is decoded from what arrived, the zero bytes past the end standing in.
    bool stopAtCut = false;
    ModbusMode modbusMode = ModbusMode::kClassic;  // taken once per chunk
    // Where the per-request Modbus/TCP lines go: absent without a list or below TraceLevel::kAll.
    IRawDataList* modbusList = nullptr;
    // The Modbus/TCP service's own trace lines on standard output are written (TraceLevel::kAll).
    bool traceModbus = true;

    void Log(const char* line) const {
        if (list) list->AddLine(line);
    }
    void Log(const std::string& line) const { Log(line.c_str()); }
    void LogModbus(const std::string& line) const {
        if (modbusList) modbusList->AddLine(line.c_str());
    }
};
