#pragma once
// Saving without ever leaving a half-written file: the data goes to a temporary file beside
// the target, reaches the disk, and only then is renamed over the target. On any failure
// the temporary goes and the target stays exactly as it was.

#include "framework/AfxFile.h"

#include <string>
#include <vector>

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
    // refused. FALSE, with *pError filled, on failure.
    BOOL Open(LPCTSTR lpszPathName, CFileException* pError);
    // Failures of writes through it name the target, not the temporary.
    CFile& GetFile() { return m_file; }

    // Flushes the data to disk, closes and renames over the target; throws CFileException.
    // In a batch, closes and leaves the sync and the rename to the batch.
    void Commit();
    // Closes and removes the temporary; the target is untouched. Never throws.
    void Abort();

    // Saves of a batch reach the disk together: while pPending is set, Commit hands each
    // finished temporary to it instead of syncing and renaming, and the batch syncs the file
    // system once and then renames them all. Every temporary of the batch carries pszTag in
    // its name (".NAME.TAG.XXXXXX"), so the batch can find and remove its own when it is
    // interrupted. Null, null: back to single saves.
    static void SetBatch(const char* pszTag, std::vector<AFX_PENDING_SAVE>* pPending);

private:
    CFile m_file;
    CString m_strPath;       // the target as the caller named it, for messages
    std::string m_strTarget;  // the file that will be replaced (links resolved)
    std::string m_strTemp;    // empty once renamed or removed
};
