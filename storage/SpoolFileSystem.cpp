#include "storage/SpoolFileSystem.h"

#include <sqlite3.h>

#include <atomic>
#include <mutex>

namespace spool_files {
namespace {

constexpr const char* kName = "telvorn-spool";

std::atomic<bool> diskFull{false};
std::atomic<bool> simulateFull{false};

sqlite3_vfs* Real() {
    static sqlite3_vfs* const real = sqlite3_vfs_find(nullptr);
    return real;
}

// Our file object: the layer's methods, then the real file of SQLite's own file system.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* RealOf(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

int Close(sqlite3_file* file) { return RealOf(file)->pMethods->xClose(RealOf(file)); }
int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    return RealOf(file)->pMethods->xRead(RealOf(file), data, amount, offset);
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    sqlite3_file* real = RealOf(file);
    if (simulateFull.load(std::memory_order_relaxed)) {
        sqlite3_int64 size = 0;
        if (real->pMethods->xFileSize(real, &size) == SQLITE_OK && offset + amount > size) {
            diskFull = true;
            return SQLITE_FULL;
        }
    }
    const int rc = real->pMethods->xWrite(real, data, amount, offset);
    if ((rc & 0xff) == SQLITE_FULL) diskFull = true;
    return rc;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) { return RealOf(file)->pMethods->xTruncate(RealOf(file), size); }
int Sync(sqlite3_file* file, int flags) { return RealOf(file)->pMethods->xSync(RealOf(file), flags); }
int FileSize(sqlite3_file* file, sqlite3_int64* size) { return RealOf(file)->pMethods->xFileSize(RealOf(file), size); }
int Lock(sqlite3_file* file, int level) { return RealOf(file)->pMethods->xLock(RealOf(file), level); }
int Unlock(sqlite3_file* file, int level) { return RealOf(file)->pMethods->xUnlock(RealOf(file), level); }
int CheckReservedLock(sqlite3_file* file, int* out) {
    return RealOf(file)->pMethods->xCheckReservedLock(RealOf(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
    return RealOf(file)->pMethods->xFileControl(RealOf(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return RealOf(file)->pMethods->xSectorSize(RealOf(file)); }
int DeviceCharacteristics(sqlite3_file* file) { return RealOf(file)->pMethods->xDeviceCharacteristics(RealOf(file)); }
int ShmMap(sqlite3_file* file, int page, int pageSize, int extend, void volatile** out) {
    return RealOf(file)->pMethods->xShmMap(RealOf(file), page, pageSize, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
    return RealOf(file)->pMethods->xShmLock(RealOf(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { RealOf(file)->pMethods->xShmBarrier(RealOf(file)); }
int ShmUnmap(sqlite3_file* file, int deleteFlag) { return RealOf(file)->pMethods->xShmUnmap(RealOf(file), deleteFlag); }

// Version 2: no memory-mapped reads, so every page the spool reads passes through Read.
const sqlite3_io_methods kMethods = {2,
                                     Close,
                                     Read,
                                     Write,
                                     Truncate,
                                     Sync,
                                     FileSize,
                                     Lock,
                                     Unlock,
                                     CheckReservedLock,
                                     FileControl,
                                     SectorSize,
                                     DeviceCharacteristics,
                                     ShmMap,
                                     ShmLock,
                                     ShmBarrier,
                                     ShmUnmap,
                                     nullptr,
                                     nullptr};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<File*>(file);
    ours->real = reinterpret_cast<sqlite3_file*>(ours + 1);
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    const int rc = real->xOpen(real, name, ours->real, flags, outFlags);
    ours->base.pMethods = ours->real->pMethods != nullptr ? &kMethods : nullptr;
    return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xDelete(real, name, syncDir);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xAccess(real, name, flags, out);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xFullPathname(real, name, size, out);
}
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xRandomness(real, size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xSleep(real, microseconds);
}
int CurrentTime(sqlite3_vfs* vfs, double* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xCurrentTime(real, out);
}
int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xGetLastError != nullptr ? real->xGetLastError(real, size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return real->xCurrentTimeInt64(real, out);
}

sqlite3_vfs MakeVfs() {
    sqlite3_vfs vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(File)) + Real()->szOsFile;
    vfs.mxPathname = Real()->mxPathname;
    vfs.zName = kName;
    vfs.pAppData = Real();
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    // Extensions are never loaded into the spool; SQLite's own functions ignore the VFS passed.
    vfs.xDlOpen = Real()->xDlOpen;
    vfs.xDlError = Real()->xDlError;
    vfs.xDlSym = Real()->xDlSym;
    vfs.xDlClose = Real()->xDlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    return vfs;
}

}  // namespace

const char* Name() {
    static std::once_flag registered;
    static sqlite3_vfs vfs;
    std::call_once(registered, [] {
        vfs = MakeVfs();
        sqlite3_vfs_register(&vfs, 0);
    });
    return kName;
}

bool TakeDiskFull() { return diskFull.exchange(false); }

void SimulateFullDisk(bool full) { simulateFull = full; }

}  // namespace spool_files
