#pragma once
// What the safe save and the batch share: system calls that go on after a signal, the names
// and locks of the files a save makes (temporaries and journals), the sweep of what dead
// saves left, the checks of a target, and the writes in place: a whole file's or a patch's.

#include "framework/AfxFile.h"

#include <cerrno>
#include <cstdint>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

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
// The last part of strPath.
std::string NameOf(const std::string& strPath);

// Whether strName is a name a save makes, a temporary or a journal:
// ".NAME.[TAG.]afxsave-RRRRRRCCCC" or ".NAME.afxsave-journal-RRRRRRCCCC" (without ".NAME"
// when the name would be too long), where R is random and CCCC is computed from everything
// before it, so no name a user picks matches by accident. A program that must never have an
// output taken for one refuses the names this accepts.
bool IsTemporaryName(const std::string& strName);
// Whether strName is a journal: the old bytes of a file being written in place.
bool IsJournalName(const std::string& strName);
// strTemplate, which ends in ten placeholders, made a name IsTemporaryName accepts.
void FillTemporaryName(std::string& strTemplate);

// Opens strFolder for the *at calls: the descriptor, or -1 with errno set.
int OpenFolder(const std::string& strFolder);

// Removes from the folder every temporary this user's dead saves left (a save or a batch
// that was killed, or that could not remove its own), and writes the old bytes of each
// dead save's journal back into its file. Only files of the saver, with a name a save makes
// and a lock nobody holds, are touched: a temporary still in use is locked by its owner, and
// every other file (a name a save does not make, another user's, a link, a folder) stays.
void RemoveDeadTemporaries(const std::string& strFolder);
void RemoveDeadTemporaries(int fdDir);

// Puts the bytes of fdNew into fdTarget, the file strName in the folder fdDir, so its inode
// (its other names, owner and attributes) stays. The file is locked for the whole rewrite;
// the old bytes go to a journal beside it, synced before the first byte is overwritten and
// removed once the new bytes are synced, so a kill at any moment leaves the old bytes or the
// new ones. If a write or the sync fails they are written back and the errno of the first
// failure is returned. 0 on success.
int WriteInPlace(int fdDir, const std::string& strName, int fdTarget, int fdNew);

// New bytes for ranges of a file, by offset; none overlaps another.
using PATCH_RANGES = std::map<std::uint64_t, std::vector<char>>;

// Writes the ranges into fdTarget, the file strName in the folder fdDir, which the caller
// holds locked, so only they change. Their old bytes go to a journal beside the file,
// records of [offset][length][bytes] synced before the first byte is overwritten and
// removed once the new ones are synced. If a write or the sync fails they are written back
// and the errno of the first failure is returned (EINVAL for a range the file no longer
// holds, with nothing written). 0 on success.
int PatchInPlace(int fdDir, const std::string& strName, int fdTarget, const PATCH_RANGES& ranges);

// Puts back every dead save's or patch's journal of fdTarget (st), open and locked by the
// caller, which is in the folder fdDir: 0, or the errno that stops a write into it.
int RecoverJournalsOf(int fdDir, int fdTarget, const struct stat& st);

// The file a save of strPath writes: the end of a chain of symbolic links, which need not
// exist yet. A link in a sticky folder that everyone may write is followed only when the
// saver or the folder's owner owns it; otherwise false, with strRefusal naming the link and
// its owner.
bool ResolveTarget(const std::string& strPath, std::string& strTarget, std::string& strRefusal);
// The file a save or patch of strPath writes (ResolveTarget's), its name, and its folder
// opened as fdDir, in which every name from then on is taken: false, with e filled, when a
// link is refused, the path names a folder, or the folder cannot be opened.
bool OpenTargetFolder(const CString& strPath, std::string& strTarget, std::string& strName, int& fdDir,
                      CFileException& e);
// A refusal in words, with errno's value for callers that look at it.
CFileException Refusal(int nErrno, const std::string& strCause, const CString& strPath);
// Whether the existing strName in fdDir (st, not following a link) may be written: a link, a
// directory, anything but a regular file, and a file this user may not write are refused,
// with e saying why (for strPath). A save that renames refuses a write-protected file too,
// as a write in place would.
bool CheckTarget(int fdDir, const std::string& strName, const struct stat& st, const CString& strPath,
                 CFileException& e);
// Opens strName in fdDir for writing in place, never through a link, and only while it is
// still the file st that was checked: the descriptor, or -1 with e filled.
int OpenChecked(int fdDir, const std::string& strName, const struct stat& st, const CString& strPath,
                CFileException& e);

// Renames the temporary strTemp, open as fdTemp, over strTarget in the folder fdDir, once
// the name is found to still be that file: 0 or an errno.
int RenameTemporary(int fdDir, const std::string& strTemp, int fdTemp, const std::string& strTarget);

}  // namespace afx_save
