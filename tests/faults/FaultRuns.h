#pragma once
// What the fault tests share: the failures tried on each family of calls, the folder's
// hidden names, and the tally they print.

#include "tests/faults/FaultWrap.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

// Whether this is the sanitizer build, where each run of the converter takes ten times as
// long: there the sweeps leave out the errors that differ from EIO only in their words, and
// the batches try every third call.
#ifdef VELLUM_FAULTS_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// Every family gets the four errors and an interruption that must be retried; transfers
// also come up short.
inline std::vector<int> ErrorsFor(EFault family)
{
    std::vector<int> errors = {EIO, ENOSPC, EDQUOT, EACCES, EINTR};
    if (kSanitized)
        errors = {EIO, EACCES, EINTR};
    if (family == EFault::Write || family == EFault::Read)
        errors.push_back(kFaultShort);
    return errors;
}

// The calls of each family since the last reset: what a clean run makes.
inline std::vector<long> CountedCalls()
{
    std::vector<long> calls;
    for (int f = 0; f < static_cast<int>(EFault::Count); ++f)
        calls.push_back(FaultCalls(static_cast<EFault>(f)));
    return calls;
}

// Calls fn(family, nCall, nError) for each call of each family that a clean run made (calls)
// and each error ErrorsFor gives that family, under a trace that names them, for as long as
// fn returns true. The calls go into the tally.
template <class Fn>
void ForEachFault(const std::vector<long>& calls, long& nTallied, Fn fn)
{
    for (int f = 0; f < static_cast<int>(EFault::Count); ++f)
    {
        const EFault family = static_cast<EFault>(f);
        nTallied += calls[static_cast<std::size_t>(f)];
        for (long n = 1; n <= calls[static_cast<std::size_t>(f)]; ++n)
            for (int nError : ErrorsFor(family))
            {
                SCOPED_TRACE(std::string(FaultName(family)) + " call " + std::to_string(n) + " " +
                             FaultErrorName(nError));
                if (!fn(family, n, nError))
                    return;
            }
    }
}

// A failure the program must ride out as if nothing had happened.
inline bool MustBeRetried(int nError)
{
    return nError == EINTR || nError == kFaultShort;
}

// The hidden names in a folder: where temporaries would be.
inline std::set<std::string> HiddenIn(const std::string& strDir)
{
    std::set<std::string> names;
    if (DIR* p = ::opendir(strDir.c_str()))
    {
        while (const dirent* e = ::readdir(p))
            if (e->d_name[0] == '.' && std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(p);
    }
    return names;
}

// A temporary as a save killed in mid-write leaves it: the next save into the folder removes it.
inline constexpr const char* kDeadTemporary = ".dead.bmp.afxsave-Dead00TEb0";

struct FaultTally
{
    long nCalls = 0;     // calls a clean run makes, over the families
    long nInjected = 0;  // runs with a fault that fired
    long nRetried = 0;   // of them, interruptions and short transfers ridden out
    long nFailed = 0;    // of them, runs that reported a failure
    void Print(const char* pszOperation) const
    {
        std::printf("faults: %s: %ld calls, %ld faults injected (%ld ridden out, %ld reported), all survived\n",
                    pszOperation, nCalls, nInjected, nRetried, nFailed);
    }
};
