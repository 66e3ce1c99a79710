#include "web/HealthCheck.h"

namespace {

Health Unhealthy(std::string reason) { return {false, std::move(reason)}; }

// With a spool: readings are lost while it refuses them, and would be at the next outage while it
// is unusable; while the database is away they wait in it.
Health WithSpool(const SpoolFigures& spool, bool databaseConnected) {
    if (!spool.spoolOpen) return Unhealthy("spool unusable: not open");
    if (spool.refusing) return Unhealthy("readings refused: " + spool.refusedWhy);
    if (!spool.fileOpen || spool.fileFailing)
        return Unhealthy("spool unusable: " + spool.trouble + "; " + std::to_string(spool.memoryReadings) +
                         " readings held in memory");
    if (!spool.stalled.empty()) return Unhealthy("spool unusable: forwarding stalled: " + spool.stalled);
    if (spool.databaseAway)
        return {true,
                "ok: database away, the spool takes every reading (" + std::to_string(spool.readingsHeld) + " held)"};
    if (!databaseConnected) return Unhealthy("database down");
    return {true, "ok: database answers"};
}

}  // namespace

Health JudgeHealth(bool rtuPortServed, const SpoolFigures* spool, bool databaseConnected, bool lastWriteStored) {
    if (!rtuPortServed) return Unhealthy("RTU port not listening");
    if (spool != nullptr) return WithSpool(*spool, databaseConnected);
    if (!databaseConnected || !lastWriteStored) return Unhealthy("database down");
    return {true, "ok: database answers"};
}
