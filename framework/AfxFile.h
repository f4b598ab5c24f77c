#pragma once
// Files, archives and the exceptions the framework's file operations raise.

#include "framework/AfxCore.h"
#include "framework/AfxString.h"

#include <cstdint>

class CException : public CObject
{
    DECLARE_DYNAMIC(CException)
public:
    CException() = default;
    CException(const CException&) : CObject() {}
    CException& operator=(const CException&) { return *this; }
    // The text a message box shows for this failure.
    virtual CString GetErrorMessage() const;
};

// "The user has already been told": whoever catches it shows nothing more.
class CUserException : public CException
{
    DECLARE_DYNAMIC(CUserException)
public:
    CUserException() = default;
    CUserException(const CUserException&) = default;
    CUserException& operator=(const CUserException&) = default;
};

[[noreturn]] void AfxThrowUserException();

class CFileException : public CException
{
    DECLARE_DYNAMIC(CFileException)
public:
    enum Cause
    {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(int cause = none, int lOsError = 0, LPCTSTR lpszFileName = nullptr);
    CFileException(const CFileException&) = default;
    CFileException& operator=(const CFileException&) = default;

    // Builds the exception for an errno value (the cause follows from it).
    static CFileException FromErrno(int nErrno, LPCTSTR lpszFileName);
    // An input that is not a regular file: a FIFO, a socket, a device. nMode is its st_mode;
    // the cause text names what it is.
    static CFileException NotRegular(unsigned nMode, LPCTSTR lpszFileName);
    static int OsErrorToException(int nErrno);

    // The human-readable cause alone: "No such file or directory", "Permission denied", ...,
    // or m_strCause when it is set.
    CString GetCauseText() const;
    // The path and the cause: "PATH: No space left on device".
    CString GetErrorMessage() const override;

    int m_cause;
    int m_lOsError;  // errno; 0 when the cause is not an OS error
    CString m_strFileName;
    CString m_strCause;  // the cause in words, where errno's text would not say what happened
    unsigned m_nFileType = 0;  // S_IFIFO, S_IFSOCK, ... for an input refused as not regular
};

// The name a refused input's message gives as the one that reads only regular files ("a FIFO;
// vellumconv reads regular files"); without one the message says "only regular files are read".
void AfxSetRegularFileReader(LPCTSTR lpszName);

// A real file. Every failure throws CFileException (Open with pError returns FALSE instead).
class CFile : public CObject
{
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyNone = 0x0040,
        modeNoTruncate = 0x0100,
        modeCreate = 0x1000,
        typeBinary = 0x8000,
    };

    CFile();
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);
    ~CFile() override;

    // Opens for reading (a regular file only: a FIFO or a device is refused at once, never
    // waited on) or, with modeCreate, creates or truncates for writing. On failure fills
    // *pError when given and returns FALSE, else throws.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Takes over an open descriptor at nPosition, its current position (closed by Close and the
    // destructor).
    void Attach(int fd, LPCTSTR lpszFileName, std::uint64_t nPosition = 0);
    // Closes; a failing close of a written file throws (the data may not have arrived).
    virtual void Close();
    // Closes and ignores every error.
    virtual void Abort();
    BOOL IsOpen() const { return m_fd >= 0; }
    int GetHandle() const { return m_fd; }
    const CString& GetFilePath() const { return m_strFileName; }

    enum SeekPosition
    {
        begin = 0,
        current = 1,
        end = 2,
    };

    // Reads until nCount bytes arrived or the file ended; returns how many arrived.
    std::uint32_t Read(void* pBuf, std::uint32_t nCount);
    void Write(const void* pBuf, std::uint32_t nCount);
    std::uint64_t Seek(std::int64_t lOff, int nFrom);
    std::uint64_t GetPosition() const;
    std::uint64_t GetLength() const;

private:
    [[noreturn]] void ThrowErrno(int nErrno) const;

    int m_fd = -1;
    std::uint64_t m_nPos = 0;
    CString m_strFileName;
};

// Tells the document whether it loads or stores, and gives it the open file. The document
// reads and writes the file directly, so the archive buffers nothing.
class CArchive
{
public:
    enum Mode : UINT
    {
        store = 0,
        load = 1,
        bNoFlushOnDelete = 2,
    };

    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    CFile* GetFile() const { return m_pFile; }
    void Close() {}

    class CDocument* m_pDocument = nullptr;

private:
    CFile* m_pFile;
    UINT m_nMode;
};

// The absolute, cleaned form of a path ("a/../b" from /home/u gives /home/u/b); links are
// not resolved.
CString AfxFullPath(LPCTSTR lpszPath);

// What the user reads when a file could not be opened or saved:
// "Cannot open "PATH": CAUSE." or "Cannot save "PATH": CAUSE.".
CString AfxFileErrorMessage(LPCTSTR lpszPathName, LPCTSTR lpszCause, BOOL bSaving);
