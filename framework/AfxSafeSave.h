#pragma once
// Saving without ever leaving a half-written file: the data goes to a temporary file beside
// the target, reaches the disk, and only then is renamed over the target. On any failure
// the temporary goes and the target stays exactly as it was.

#include "framework/AfxFile.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

class CSaveBatch;

// A save that a batch finishes: its temporary, complete and closed, and the file it replaces.
struct AFX_PENDING_SAVE
{
    std::string strTemp;
    std::string strTarget;
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
    // the file it points to is replaced); a directory, a read-only file or a device is
    // refused. FALSE, with *pError filled, on failure. With pBatch, the save is one of that
    // batch's: its temporary carries the batch's tag and Commit hands it to the batch.
    BOOL Open(LPCTSTR lpszPathName, CFileException* pError, CSaveBatch* pBatch = nullptr);
    // Failures of writes through it name the target, not the temporary.
    CFile& GetFile() { return m_file; }

    // Flushes the data to disk, closes and renames over the target; throws CFileException.
    // In a batch, closes without a sync and leaves the sync and the rename to the batch.
    void Commit();
    // Closes and removes the temporary; the target is untouched. Never throws.
    void Abort();

    // Removes every temporary that saves of these targets in the batch tagged strTag left
    // beside them. It goes by name, so it also finds those of a process that was killed
    // before it could say what it had made.
    static void RemoveBatchTemporaries(const std::vector<std::string>& targets, const std::string& strTag);

private:
    CFile m_file;
    CString m_strPath;       // the target as the caller named it, for messages
    std::string m_strTarget;  // the file that will be replaced (links resolved)
    std::string m_strTemp;    // empty once renamed, handed on or removed
    CSaveBatch* m_pBatch = nullptr;
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
    // Removes the temporaries collected: their saves failed.
    void Discard();

    // One syncfs for each file system the collected temporaries are on. False, with the
    // cause in strError, when one fails.
    bool Sync(std::string& strError) const;
    // Renames the saves of nGroup over their targets: 0, or the errno of a rename that
    // failed.
    int Commit(std::size_t nGroup);
    // Removes what is left: the temporaries collected and not renamed, and any other of this
    // batch's beside the targets.
    void RemoveLeftovers(const std::vector<std::string>& targets);

private:
    std::string m_strTag;
    std::map<std::size_t, std::vector<AFX_PENDING_SAVE>> m_groups;
};
