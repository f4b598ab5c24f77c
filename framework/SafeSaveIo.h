#pragma once
// What the safe save and the batch share: system calls that go on after a signal, the
// temporaries' names and locks, and the write in place.

#include <cerrno>
#include <string>
#include <sys/types.h>

namespace afx_save
{

// Runs a system call again for as long as a signal interrupts it.
template <class Fn>
auto Retry(Fn fn)
{
    for (;;)
    {
        auto result = fn();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

// Closes fd. Linux releases the descriptor even when close fails, so it is never retried.
void CloseFd(int fd);

// The folder of strPath with its slash; "./" for a bare name.
std::string FolderOf(const std::string& strPath);

// Whether strName is a temporary a save makes: ".NAME.[TAG.]afxsave-XXXXXX".
bool IsTemporaryName(const std::string& strName);

// Removes from strFolder every temporary no process holds open any more: a save or a batch
// that was killed, or that could not remove its own. A temporary still in use is locked by
// its owner and stays, and so does every file whose name a save does not make.
void RemoveDeadTemporaries(const std::string& strFolder);

// Puts the bytes of fdNew into strTarget in place, so its inode (its other names, owner and
// attributes) stays. The old bytes are read first; if a write or the sync fails they are
// written back and the errno of the first failure is returned. 0 on success.
int WriteInPlace(const std::string& strTarget, int fdNew);

}  // namespace afx_save
