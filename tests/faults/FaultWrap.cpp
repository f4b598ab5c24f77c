#include "tests/faults/FaultWrap.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace
{
constexpr const char* kNames[] = {"open",  "read", "write", "fsync", "syncfs", "rename",
                                  "link",  "close", "mkdir", "unlink", "attr"};
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<std::size_t>(EFault::Count));

struct State
{
    std::atomic<long> calls[static_cast<int>(EFault::Count)];
    std::atomic<int> nFired;
    int nFamily;
    long nCall;
    int nError;
    pid_t owner;
};

State* g_pState = nullptr;

// In memory shared with every child forked later, so a batch counts its workers' calls.
State& Shared()
{
    if (g_pState == nullptr)
    {
        void* p = ::mmap(nullptr, sizeof(State), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            std::abort();
        g_pState = new (p) State{};
        g_pState->nFamily = -1;
        g_pState->owner = ::getpid();
    }
    return *g_pState;
}

int ErrorFromName(const char* psz)
{
    static const struct
    {
        const char* pszName;
        int nError;
    } kErrors[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EDQUOT", EDQUOT},
                   {"EACCES", EACCES}, {"EINTR", EINTR},   {"SHORT", kFaultShort}};
    for (const auto& e : kErrors)
        if (std::strcmp(psz, e.pszName) == 0)
            return e.nError;
    return 0;
}

__attribute__((constructor)) void FromEnvironment()
{
    Shared();
    const char* pszFault = std::getenv("VELLUM_FAULT");
    if (pszFault == nullptr)
        return;
    char szFamily[16] = {}, szError[16] = {};
    long nCall = 0;
    EFault family;
    if (std::sscanf(pszFault, "%15[a-z]:%ld:%15[A-Z]", szFamily, &nCall, szError) != 3 ||
        !FaultFromName(szFamily, family) || ErrorFromName(szError) == 0)
    {
        std::fprintf(stderr, "bad VELLUM_FAULT '%s'\n", pszFault);
        std::_Exit(99);
    }
    SetFault(family, nCall, ErrorFromName(szError));
}

__attribute__((destructor)) void WriteCounts()
{
    const char* pszPath = std::getenv("VELLUM_FAULT_COUNTS");
    if (pszPath == nullptr || g_pState == nullptr || g_pState->owner != ::getpid())
        return;
    if (std::FILE* p = std::fopen(pszPath, "w"))
    {
        for (int i = 0; i < static_cast<int>(EFault::Count); ++i)
            std::fprintf(p, "%s %ld\n", kNames[i], g_pState->calls[i].load());
        std::fprintf(p, "fired %d\n", g_pState->nFired.load());
        std::fclose(p);
    }
}

// Whether this call of family fails, and with what.
bool Hit(EFault family, int& nError)
{
    State& s = Shared();
    const long n = s.calls[static_cast<int>(family)].fetch_add(1) + 1;
    if (s.nFamily != static_cast<int>(family) || s.nCall != n)
        return false;
    s.nFired = 1;
    nError = s.nError;
    return true;
}

template <class T>
T Fail(int nError)
{
    errno = nError;
    return static_cast<T>(-1);
}
}  // namespace

const char* FaultName(EFault family)
{
    return kNames[static_cast<int>(family)];
}

bool FaultFromName(const std::string& strName, EFault& family)
{
    for (int i = 0; i < static_cast<int>(EFault::Count); ++i)
        if (strName == kNames[i])
        {
            family = static_cast<EFault>(i);
            return true;
        }
    return false;
}

const char* FaultErrorName(int nError)
{
    switch (nError)
    {
    case EIO: return "EIO";
    case ENOSPC: return "ENOSPC";
    case EDQUOT: return "EDQUOT";
    case EACCES: return "EACCES";
    case EINTR: return "EINTR";
    case kFaultShort: return "SHORT";
    default: return "?";
    }
}

void SetFault(EFault family, long nCall, int nError)
{
    State& s = Shared();
    for (auto& n : s.calls)
        n = 0;
    s.nFamily = static_cast<int>(family);
    s.nCall = nCall;
    s.nError = nError;
    s.nFired = 0;
}

bool FaultFired()
{
    return Shared().nFired != 0;
}

long FaultCalls(EFault family)
{
    return Shared().calls[static_cast<int>(family)].load();
}

void ResetFaultCalls()
{
    for (auto& n : Shared().calls)
        n = 0;
}

// --- the wrapped calls ------------------------------------------------------------------

extern "C"
{
int __real_open(const char*, int, ...);
int __real_open64(const char*, int, ...);
int __real_openat(int, const char*, int, ...);
int __real_openat64(int, const char*, int, ...);
ssize_t __real_read(int, void*, size_t);
ssize_t __real_pread(int, void*, size_t, off_t);
ssize_t __real_pread64(int, void*, size_t, off_t);
ssize_t __real_write(int, const void*, size_t);
ssize_t __real_pwrite(int, const void*, size_t, off_t);
ssize_t __real_pwrite64(int, const void*, size_t, off_t);
int __real_fsync(int);
int __real_fdatasync(int);
int __real_syncfs(int);
int __real_rename(const char*, const char*);
int __real_renameat(int, const char*, int, const char*);
int __real_link(const char*, const char*);
int __real_linkat(int, const char*, int, const char*, int);
int __real_close(int);
int __real_mkdir(const char*, mode_t);
int __real_unlink(const char*);
int __real_unlinkat(int, const char*, int);
int __real_fchown(int, uid_t, gid_t);
int __real_fchmod(int, mode_t);
int __real_fsetxattr(int, const char*, const void*, size_t, int);
int __real_fremovexattr(int, const char*);

#define VELLUM_OPEN_MODE(flags)                                                                                  \
    mode_t mode = 0;                                                                                             \
    if (((flags) & O_CREAT) != 0 || ((flags) & O_TMPFILE) == O_TMPFILE)                                          \
    {                                                                                                            \
        va_list ap;                                                                                              \
        va_start(ap, flags);                                                                                     \
        mode = static_cast<mode_t>(va_arg(ap, unsigned));                                                       \
        va_end(ap);                                                                                              \
    }

int __wrap_open(const char* path, int flags, ...)
{
    VELLUM_OPEN_MODE(flags)
    int e;
    return Hit(EFault::Open, e) ? Fail<int>(e) : __real_open(path, flags, mode);
}
int __wrap_open64(const char* path, int flags, ...)
{
    VELLUM_OPEN_MODE(flags)
    int e;
    return Hit(EFault::Open, e) ? Fail<int>(e) : __real_open64(path, flags, mode);
}
int __wrap_openat(int dir, const char* path, int flags, ...)
{
    VELLUM_OPEN_MODE(flags)
    int e;
    return Hit(EFault::Open, e) ? Fail<int>(e) : __real_openat(dir, path, flags, mode);
}
int __wrap_openat64(int dir, const char* path, int flags, ...)
{
    VELLUM_OPEN_MODE(flags)
    int e;
    return Hit(EFault::Open, e) ? Fail<int>(e) : __real_openat64(dir, path, flags, mode);
}

// A short transfer moves half the bytes asked for, and always at least one.
static size_t Short(size_t n)
{
    return n > 1 ? n / 2 : n;
}

ssize_t __wrap_read(int fd, void* p, size_t n)
{
    int e;
    if (!Hit(EFault::Read, e))
        return __real_read(fd, p, n);
    return e == kFaultShort ? __real_read(fd, p, Short(n)) : Fail<ssize_t>(e);
}
ssize_t __wrap_pread(int fd, void* p, size_t n, off_t at)
{
    int e;
    if (!Hit(EFault::Read, e))
        return __real_pread(fd, p, n, at);
    return e == kFaultShort ? __real_pread(fd, p, Short(n), at) : Fail<ssize_t>(e);
}
ssize_t __wrap_pread64(int fd, void* p, size_t n, off_t at)
{
    int e;
    if (!Hit(EFault::Read, e))
        return __real_pread64(fd, p, n, at);
    return e == kFaultShort ? __real_pread64(fd, p, Short(n), at) : Fail<ssize_t>(e);
}
ssize_t __wrap_write(int fd, const void* p, size_t n)
{
    int e;
    if (!Hit(EFault::Write, e))
        return __real_write(fd, p, n);
    return e == kFaultShort ? __real_write(fd, p, Short(n)) : Fail<ssize_t>(e);
}
ssize_t __wrap_pwrite(int fd, const void* p, size_t n, off_t at)
{
    int e;
    if (!Hit(EFault::Write, e))
        return __real_pwrite(fd, p, n, at);
    return e == kFaultShort ? __real_pwrite(fd, p, Short(n), at) : Fail<ssize_t>(e);
}
ssize_t __wrap_pwrite64(int fd, const void* p, size_t n, off_t at)
{
    int e;
    if (!Hit(EFault::Write, e))
        return __real_pwrite64(fd, p, n, at);
    return e == kFaultShort ? __real_pwrite64(fd, p, Short(n), at) : Fail<ssize_t>(e);
}
int __wrap_fsync(int fd)
{
    int e;
    return Hit(EFault::Sync, e) ? Fail<int>(e) : __real_fsync(fd);
}
int __wrap_fdatasync(int fd)
{
    int e;
    return Hit(EFault::Sync, e) ? Fail<int>(e) : __real_fdatasync(fd);
}
int __wrap_syncfs(int fd)
{
    int e;
    return Hit(EFault::Syncfs, e) ? Fail<int>(e) : __real_syncfs(fd);
}
int __wrap_rename(const char* from, const char* to)
{
    int e;
    return Hit(EFault::Rename, e) ? Fail<int>(e) : __real_rename(from, to);
}
int __wrap_renameat(int d1, const char* from, int d2, const char* to)
{
    int e;
    return Hit(EFault::Rename, e) ? Fail<int>(e) : __real_renameat(d1, from, d2, to);
}
int __wrap_link(const char* from, const char* to)
{
    int e;
    return Hit(EFault::Link, e) ? Fail<int>(e) : __real_link(from, to);
}
int __wrap_linkat(int d1, const char* from, int d2, const char* to, int flags)
{
    int e;
    return Hit(EFault::Link, e) ? Fail<int>(e) : __real_linkat(d1, from, d2, to, flags);
}
// As Linux does, a failing close still releases the descriptor.
int __wrap_close(int fd)
{
    int e;
    if (!Hit(EFault::Close, e))
        return __real_close(fd);
    __real_close(fd);
    return Fail<int>(e);
}
int __wrap_mkdir(const char* path, mode_t mode)
{
    int e;
    return Hit(EFault::Mkdir, e) ? Fail<int>(e) : __real_mkdir(path, mode);
}
int __wrap_unlink(const char* path)
{
    int e;
    return Hit(EFault::Unlink, e) ? Fail<int>(e) : __real_unlink(path);
}
int __wrap_unlinkat(int dir, const char* path, int flags)
{
    int e;
    return Hit(EFault::Unlink, e) ? Fail<int>(e) : __real_unlinkat(dir, path, flags);
}
int __wrap_fchown(int fd, uid_t uid, gid_t gid)
{
    int e;
    return Hit(EFault::Attr, e) ? Fail<int>(e) : __real_fchown(fd, uid, gid);
}
int __wrap_fchmod(int fd, mode_t mode)
{
    int e;
    return Hit(EFault::Attr, e) ? Fail<int>(e) : __real_fchmod(fd, mode);
}
int __wrap_fsetxattr(int fd, const char* name, const void* value, size_t n, int flags)
{
    int e;
    return Hit(EFault::Attr, e) ? Fail<int>(e) : __real_fsetxattr(fd, name, value, n, flags);
}
int __wrap_fremovexattr(int fd, const char* name)
{
    int e;
    return Hit(EFault::Attr, e) ? Fail<int>(e) : __real_fremovexattr(fd, name);
}
}
