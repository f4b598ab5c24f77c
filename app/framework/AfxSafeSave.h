#pragma once
// Saving without ever leaving a half-written file: the data goes to a temporary file beside
// the target, reaches the disk, and only then is renamed over the target. On any failure
// the temporary goes and the target stays exactly as it was.

#include "AfxFile.h"

#include <string>

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
    void Commit();
    // Closes and removes the temporary; the target is untouched. Never throws.
    void Abort();

private:
    CFile m_file;
    CString m_strPath;       // the target as the caller named it, for messages
    std::string m_strTarget;  // the file that will be replaced (links resolved)
    std::string m_strTemp;    // empty once renamed or removed
};
