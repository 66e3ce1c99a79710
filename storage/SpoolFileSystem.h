#pragma once

// The spool's files reach the disk through a thin layer over SQLite's own file system (a VFS
// shim): it tells a write refused for want of disk space from the spool's own bound (SQLite
// answers "full" for both), and lets a test make the disk full where no file system can be filled.
namespace spool_files {

// The layer's name for sqlite3_open_v2; registered at the first call. Safe from any thread.
const char* Name();

// True when a write through the layer has been refused for want of disk space since the last
// call. Safe from any thread.
bool TakeDiskFull();

// For tests: while on, every write that would make a file longer fails as on a full disk (writes
// within a file's length still succeed, as they do on a real full disk).
void SimulateFullDisk(bool full);

}  // namespace spool_files
