#pragma once
// Fails the Nth call of one family of system calls, for tests that try every failure in
// turn. Programs linked with vellum_fault_wrap have their calls of open, read, write and the
// rest go through here (the linker's --wrap), the converter's static build included. The
// count is shared with forked children, so a batch's workers count with their parent.
//
// A program is told what to fail by VELLUM_FAULT=FAMILY:N:ERROR (ERROR is EIO, ENOSPC,
// EDQUOT, EACCES, EINTR or SHORT, a write of half the bytes), and writes how many calls of
// each family it made to the file VELLUM_FAULT_COUNTS names when it ends.

#include <string>

enum class EFault
{
    Open,    // open, openat
    Read,    // read, pread
    Write,   // write, pwrite
    Sync,    // fsync, fdatasync
    Syncfs,  // syncfs
    Rename,  // rename, renameat
    Link,    // link, linkat
    Close,   // close
    Mkdir,   // mkdir
    Unlink,  // unlink, unlinkat
    Attr,    // fchown, fchmod, fsetxattr, fremovexattr
    Count
};

inline constexpr int kFaultShort = -1;  // the error of a short write

const char* FaultName(EFault family);
bool FaultFromName(const std::string& strName, EFault& family);
const char* FaultErrorName(int nError);

// Fails call nCall of family with nError, counting from 1 now; nCall 0 fails nothing.
void SetFault(EFault family, long nCall, int nError);
// Whether the fault set has happened.
bool FaultFired();
// The calls of family since the last reset.
long FaultCalls(EFault family);
void ResetFaultCalls();
