#pragma once
// Saving without ever leaving a half-written file: the data goes to a temporary file beside
// the target, reaches the disk, and only then is renamed over the target. On any failure
// the temporary goes and the target stays exactly as it was. The temporary takes the
// target's owner, mode and extended attributes; where it cannot, or where the target has
// other names, the new bytes are written in place, under a lock on the file, with the old
// ones kept in a journal beside it until the new ones are on disk: a failure or a kill
// leaves the old bytes or the new ones, never a mix. No link that another user controls is
// followed, and every file written is opened so that it cannot be swapped between the check
// and the write.

#include "framework/AfxFile.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

class CSaveBatch;

// A save that a batch finishes: its temporary, complete, and the file it replaces. The
// temporary stays open (and so locked) until it is renamed: nobody takes it for a dead
// run's leftover meanwhile. A save written in place has no name; its open file holds the
// new bytes, and pTargetFd the target as Open checked it. A save passed on without
// pTargetFd (to another process, which gets pFd alone) has its target opened again at the
// commit, without following a link; a temporary is renamed only while its name is still the
// file pFd holds.
struct AFX_PENDING_SAVE
{
    std::string strTemp;  // empty when the target is written in place
    std::string strTarget;
    std::shared_ptr<const int> pFd;  // closed with the last copy
    std::shared_ptr<const int> pTargetFd;  // in place: the target, opened and checked at Open

    int Fd() const { return pFd ? *pFd : -1; }
    // Takes fd over: it is closed once no copy of the save is left.
    static std::shared_ptr<const int> Own(int fd);
};

class CSafeSaveFile
{
public:
    CSafeSaveFile() = default;
    ~CSafeSaveFile();
    CSafeSaveFile(const CSafeSaveFile&) = delete;
    CSafeSaveFile& operator=(const CSafeSaveFile&) = delete;

    // Checks the target and creates the temporary. The target may be a new name in an
    // existing folder or a regular file this user may write (a symbolic link is followed:
    // the file it points to is replaced, or created when it does not exist); a directory,
    // a read-only file or a device is refused, and so is a link in a sticky folder that
    // everyone may write, unless the saver or the folder's owner owns it (the message names
    // the link and its owner). FALSE, with *pError filled, on failure. With
    // pBatch, the save is one of that batch's: its temporary carries the batch's tag and
    // Commit hands it to the batch.
    BOOL Open(LPCTSTR lpszPathName, CFileException* pError, CSaveBatch* pBatch = nullptr);
    // Failures of writes through it name the target, not the temporary.
    CFile& GetFile() { return m_file; }

    // Flushes the data to disk, closes and renames over the target (or writes it in
    // place); throws CFileException. Then removes the temporaries that dead runs left in the
    // folder. In a batch, leaves the sync and the rename to the batch.
    void Commit();
    // Closes and removes the temporary; the target is untouched. Never throws.
    void Abort();

    // Removes the temporaries beside these targets that no running save holds: those of
    // this user's processes that were killed, whatever batch they belonged to, and puts the
    // old bytes of their journals back. Temporaries are known by their name, their owner and
    // the lock their owner holds while it lives, never by a process id.
    static void RemoveDeadTemporaries(const std::vector<std::string>& targets);

private:
    BOOL OpenInPlace(const struct stat& st, CFileException* pError);
    void CloseFolder();

    CFile m_file;
    CString m_strPath;         // the target as the caller named it, for messages
    std::string m_strTarget;   // the file that will be replaced (links resolved)
    std::string m_strName;     // its name in its folder
    std::string m_strTemp;     // empty once renamed, handed on or removed
    std::string m_strTempName;  // the temporary's name in the folder
    int m_fdDir = -1;          // the target's folder, from Open to Commit: every name is taken in it
    int m_fdTarget = -1;       // in place: the target, opened and checked at Open
    bool m_bInPlace = false;   // m_file holds the new bytes in memory, for the target in place
    CSaveBatch* m_pBatch = nullptr;
};

// Changing some bytes of an existing file where it lies, without copying it: the file keeps
// its inode (its other names, owner, mode and attributes), its size and every byte outside
// the ranges written. From Open to Commit or Abort the file is locked (flock), as a save in
// place locks it, so saves and patches of it take turns. The new bytes wait in memory until
// Commit; only then are the old bytes of the ranges, and nothing else, copied to a journal
// beside the file, synced before the first of them is overwritten and removed once the new
// ones are synced: a failure or a kill leaves every range old or every range new, and the
// next save or patch into the folder puts a dead patch's old bytes back.
class CSafePatchFile
{
public:
    CSafePatchFile() = default;
    ~CSafePatchFile();  // Abort()
    CSafePatchFile(const CSafePatchFile&) = delete;
    CSafePatchFile& operator=(const CSafePatchFile&) = delete;

    // Opens an existing regular file for patching, checked as CSafeSaveFile::Open checks a
    // target (ResolveTarget's link rule for sticky world-writable folders, a directory, a
    // device, a FIFO or a file this user may not write refused; opened through its folder's
    // descriptor with O_NOFOLLOW, and found to be the file checked), and takes its lock
    // (flock LOCK_EX, waiting for a save or patch of it in progress). A dead save's or patch's
    // journal of this file is put back first. FALSE with *pError filled on failure.
    BOOL Open(LPCTSTR lpszPathName, CFileException* pError);
    BOOL IsOpen() const { return m_fdTarget >= 0; }
    // The file's size at Open.
    std::uint64_t GetLength() const { return m_nLength; }
    // Reads up to n bytes at nOffset of the file as it is now: the count read (fewer only at
    // the end). Throws CFileException on a read error.
    std::size_t Read(void* p, std::size_t n, std::uint64_t nOffset) const;
    // Collects new bytes for [nOffset, nOffset + n), which must lie inside the file and not
    // overlap a range collected before; throws CFileException (EINVAL, a cause in words)
    // otherwise. Nothing is written before Commit.
    void Write(std::uint64_t nOffset, const void* p, std::size_t n);
    // Writes the collected ranges: their old bytes go to a journal beside the file (synced,
    // with the folder, before the first byte is overwritten), the new bytes are written and
    // synced (fdatasync), and the journal is removed. Throws CFileException naming the file
    // on failure; then the old bytes are back, or, where even that failed, the journal stays
    // for the next save or patch into the folder to put back. Releases the file either way.
    // With nothing collected, writes nothing.
    void Commit();
    // Forgets the collected writes and releases the file. Never throws.
    void Abort();

private:
    CString m_strPath;        // the file as the caller named it, for messages
    std::string m_strName;    // its name in its folder (links resolved)
    int m_fdDir = -1;         // its folder, from Open on: the journal goes there
    int m_fdTarget = -1;      // the file, opened, checked and locked at Open
    std::uint64_t m_nLength = 0;  // its size at Open
    std::map<std::uint64_t, std::vector<char>> m_ranges;  // the new bytes by offset
};

// Saves that reach the disk together, at the cost of one sync per file system instead of
// one per file: each save's temporary is collected closed and unsynced; once all are
// written, Sync makes them durable and only then does Commit rename them over their targets.
// A batch may span processes: a worker collects its saves and Takes them to pass them on,
// the process that commits Adds them.
class CSaveBatch
{
public:
    // pszOwner starts the batch's tag, "OWNER-PID-RANDOM", which every temporary of the
    // batch carries in its name.
    explicit CSaveBatch(const char* pszOwner);
    CSaveBatch(const CSaveBatch&) = delete;
    CSaveBatch& operator=(const CSaveBatch&) = delete;

    const std::string& GetTag() const { return m_strTag; }

    // Collects a finished temporary. Saves of one group (the caller's number: one file of a
    // batch, say) are committed together.
    void Add(AFX_PENDING_SAVE save, std::size_t nGroup = 0);
    // The saves collected, in groups in order; the batch forgets them.
    std::vector<AFX_PENDING_SAVE> Take();
    // The saves of one group; the batch forgets them.
    std::vector<AFX_PENDING_SAVE> Take(std::size_t nGroup);
    // Removes the temporaries collected: their saves failed.
    void Discard();
    // Removes those of one group only: the others are still to be committed.
    void Discard(std::size_t nGroup);
    // How many open descriptors the batch holds: one for each temporary, two for a save in
    // place (its new bytes and its target).
    std::size_t Held() const;

    // One syncfs for each file system the collected temporaries are on. False, with the
    // cause in strError, when one fails.
    bool Sync(std::string& strError) const;
    // Renames the saves of nGroup over their targets (or writes them in place): 0, or the
    // errno of the first that failed.
    int Commit(std::size_t nGroup);
    // Removes what is left: the temporaries collected and not renamed, and any other beside
    // the targets that no running save holds.
    void RemoveLeftovers(const std::vector<std::string>& targets);

private:
    std::string m_strTag;
    std::map<std::size_t, std::vector<AFX_PENDING_SAVE>> m_groups;
};

