#include "framework/AfxSafeSave.h"
#include "framework/SafeSaveIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace afx_save
{
namespace
{
constexpr char kMark[] = "afxsave-";
constexpr char kJournalMark[] = "afxsave-journal-";
constexpr std::size_t kRandomChars = 6;
constexpr std::size_t kCheckChars = 4;
constexpr std::size_t kTailChars = kRandomChars + kCheckChars;
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kNameCharCount = sizeof kNameChars - 1;

// The journal: a header, then the old bytes from offset kJournalHeader on: the whole file's,
// or, in a journal of ranges, records of [u64 offset][u64 length][old bytes]. The header is
// written, and synced, only after the bytes are: a journal without it holds nothing to put
// back.
constexpr char kJournalMagic[8] = {'A', 'F', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr char kRangesMagic[8] = {'A', 'F', 'X', 'J', 'R', 'N', 'L', '2'};
constexpr off_t kJournalHeader = 512;
constexpr std::size_t kRecordHeader = 16;
// What PutBackRanges says of records that do not fit their journal or their file.
constexpr int kCorruptRanges = -1;
constexpr std::size_t kCopyBuffer = 256 * 1024;

bool IsNameChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

// The check characters of a name: FNV-1a of everything before them, in base 62.
void CheckChars(const char* p, std::size_t n, char* pOut)
{
    std::uint32_t nHash = 2166136261u;
    for (std::size_t i = 0; i < n; ++i)
    {
        nHash ^= static_cast<unsigned char>(p[i]);
        nHash *= 16777619u;
    }
    constexpr auto nBase = static_cast<std::uint32_t>(kNameCharCount);
    for (std::size_t i = 0; i < kCheckChars; ++i, nHash /= nBase)
        pOut[i] = kNameChars[nHash % nBase];
}

// Whether strName is ".[ANYTHING.]MARK" and a tail of name characters whose check is right.
bool EndsWithMark(const std::string& strName, const char* pszMark)
{
    const std::size_t nMark = std::strlen(pszMark);
    if (strName.size() < 1 + nMark + kTailChars || strName[0] != '.')
        return false;
    const std::size_t nAt = strName.size() - kTailChars - nMark;
    if (strName[nAt - 1] != '.' || strName.compare(nAt, nMark, pszMark) != 0 ||
        !std::all_of(strName.end() - static_cast<std::ptrdiff_t>(kTailChars), strName.end(), IsNameChar))
        return false;
    char check[kCheckChars];
    CheckChars(strName.data(), strName.size() - kCheckChars, check);
    return std::equal(check, check + kCheckChars, strName.end() - static_cast<std::ptrdiff_t>(kCheckChars));
}

int WriteAllAt(int fd, const char* p, std::size_t nCount, off_t nAt)
{
    while (nCount > 0)
    {
        const ssize_t n = Retry([&] { return ::pwrite(fd, p, nCount, nAt); });
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        p += n;
        nCount -= static_cast<std::size_t>(n);
        nAt += n;
    }
    return 0;
}

// Copies fdFrom from nFrom on to fdTo at nTo, a piece at a time, until fdFrom ends or nMax
// bytes went (nMax < 0: no limit): 0 or an errno. *pnCopied is how many went.
int Copy(int fdFrom, off_t nFrom, int fdTo, off_t nTo, off_t nMax, off_t* pnCopied)
{
    std::vector<char> buf(kCopyBuffer);
    off_t nDone = 0;
    int nError = 0;
    while (nMax < 0 || nDone < nMax)
    {
        std::size_t nWant = buf.size();
        if (nMax >= 0 && static_cast<off_t>(nWant) > nMax - nDone)
            nWant = static_cast<std::size_t>(nMax - nDone);
        const ssize_t n = Retry([&] { return ::pread(fdFrom, buf.data(), nWant, nFrom + nDone); });
        if (n < 0)
        {
            nError = errno;
            break;
        }
        if (n == 0)
            break;
        nError = WriteAllAt(fdTo, buf.data(), static_cast<std::size_t>(n), nTo + nDone);
        if (nError != 0)
            break;
        nDone += n;
    }
    if (pnCopied != nullptr)
        *pnCopied = nDone;
    if (nError == 0 && nMax >= 0 && nDone != nMax)
        nError = EIO;  // the file is shorter than its header says
    return nError;
}

// Makes fd's bytes those of fdFrom from nFrom on (nLength of them, or all with -1), cut to
// that length and synced: 0 or an errno.
int Overwrite(int fd, int fdFrom, off_t nFrom, off_t nLength)
{
    off_t nCopied = 0;
    if (const int nError = Copy(fdFrom, nFrom, fd, 0, nLength, &nCopied))
        return nError;
    if (Retry([&] { return ::ftruncate(fd, nCopied); }) != 0 || Retry([&] { return ::fdatasync(fd); }) != 0)
        return errno;
    return 0;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether strName in fdDir is still the file st.
bool StillNamed(int fdDir, const std::string& strName, const struct stat& st)
{
    struct stat now;
    return ::fstatat(fdDir, strName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, st);
}

// Creates strTemplate (its last ten characters filled in) in fdDir with mode, and locks it.
// The descriptor, or -1 with errno set.
int CreateLocked(int fdDir, std::string& strTemplate, mode_t mode)
{
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        FillTemporaryName(strTemplate);
        const int fd = Retry([&] {
            return ::openat(fdDir, strTemplate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        });
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        // Until the lock is ours, another save may take the new file for a dead run's and
        // remove it; then it is made again. A file system without locks has no such sweeps.
        struct stat st;
        if (Retry([&] { return ::flock(fd, LOCK_EX); }) != 0 || (::fstat(fd, &st) == 0 && st.st_nlink > 0))
            return fd;
        CloseFd(fd);
    }
    errno = EEXIST;
    return -1;
}

// The name of a file a save makes beside strName, with ten placeholders: ".NAME.MARK" (with
// the tag, ".NAME.TAG.MARK"), or without the name when that would be too long.
std::string TemplateFor(const std::string& strName, const std::string& strTag, const char* pszMark)
{
    const std::string tail = (strTag.empty() ? std::string() : strTag + ".") + pszMark + std::string(kTailChars, 'X');
    if (strName.size() + tail.size() + 2 > NAME_MAX)
        return "." + tail;
    return "." + strName + "." + tail;
}

struct JOURNAL_HEADER
{
    bool bRanges = false;       // records of ranges, not the whole file
    std::uint64_t nDev = 0;
    std::uint64_t nIno = 0;
    std::uint64_t nLength = 0;  // of the old bytes (of the records, with their offsets and lengths)
    std::uint64_t nFileSize = 0;  // ranges: the file's size, which a patch keeps
    std::string strName;        // of the file, in the journal's folder
};

// Where the name's length lies in each kind of header; the name follows it.
constexpr std::size_t NameAt(bool bRanges)
{
    return bRanges ? 40 : 32;
}

void EncodeHeader(const JOURNAL_HEADER& h, char* p)
{
    std::memset(p, 0, kJournalHeader);
    std::memcpy(p, h.bRanges ? kRangesMagic : kJournalMagic, sizeof kJournalMagic);
    std::memcpy(p + 8, &h.nDev, 8);
    std::memcpy(p + 16, &h.nIno, 8);
    std::memcpy(p + 24, &h.nLength, 8);
    if (h.bRanges)
        std::memcpy(p + 32, &h.nFileSize, 8);
    const auto nName = static_cast<std::uint32_t>(h.strName.size());
    std::memcpy(p + NameAt(h.bRanges), &nName, 4);
    std::memcpy(p + NameAt(h.bRanges) + 4, h.strName.data(), nName);
}

// Reads exactly n bytes of fd at nAt: 0, an errno, or EIO where the file ends first.
int ReadAllAt(int fd, char* p, std::size_t n, off_t nAt)
{
    while (n > 0)
    {
        const ssize_t nRead = Retry([&] { return ::pread(fd, p, n, nAt); });
        if (nRead < 0)
            return errno;
        if (nRead == 0)
            return EIO;
        p += nRead;
        n -= static_cast<std::size_t>(nRead);
        nAt += nRead;
    }
    return 0;
}

// What a journal's header says: it has one, it has none (unfinished, or emptied once its
// save was done), or it could not be read.
enum class EHeader
{
    Valid,
    None,
    Unreadable,  // errno says why
};

// The header of the journal fd (st), which must be as long as the header says.
EHeader ReadHeader(int fd, const struct stat& st, JOURNAL_HEADER& h)
{
    char buf[kJournalHeader];
    if (st.st_size < kJournalHeader)
        return EHeader::None;
    if (const int nError = ReadAllAt(fd, buf, sizeof buf, 0))
    {
        errno = nError;
        return EHeader::Unreadable;
    }
    h.bRanges = std::memcmp(buf, kRangesMagic, sizeof kRangesMagic) == 0;
    if (!h.bRanges && std::memcmp(buf, kJournalMagic, sizeof kJournalMagic) != 0)
        return EHeader::None;
    std::uint32_t nName = 0;
    std::memcpy(&h.nDev, buf + 8, 8);
    std::memcpy(&h.nIno, buf + 16, 8);
    std::memcpy(&h.nLength, buf + 24, 8);
    h.nFileSize = 0;
    if (h.bRanges)
        std::memcpy(&h.nFileSize, buf + 32, 8);
    std::memcpy(&nName, buf + NameAt(h.bRanges), 4);
    if (nName == 0 || nName > NAME_MAX)
        return EHeader::None;
    h.strName.assign(buf + NameAt(h.bRanges) + 4, nName);
    const bool bValid = h.strName.find('/') == std::string::npos && h.strName.find('\0') == std::string::npos &&
                        h.strName != "." && h.strName != ".." &&
                        static_cast<std::uint64_t>(st.st_size) == static_cast<std::uint64_t>(kJournalHeader) + h.nLength;
    return bValid ? EHeader::Valid : EHeader::None;
}

// Writes the old bytes of each range of fdTarget to fdTo from nAt on, as records of [offset]
// [length][bytes]: 0 with nLength, how long they are, or an errno.
int KeepRanges(int fdTarget, const PATCH_RANGES& ranges, int fdTo, off_t nAt, std::uint64_t& nLength)
{
    off_t nPos = nAt;
    for (const auto& [nOffset, data] : ranges)
    {
        const std::uint64_t record[2] = {nOffset, data.size()};
        if (const int nError = WriteAllAt(fdTo, reinterpret_cast<const char*>(record), sizeof record, nPos))
            return nError;
        const auto nSize = static_cast<off_t>(data.size());
        if (const int nError = Copy(fdTarget, static_cast<off_t>(nOffset), fdTo, nPos + static_cast<off_t>(kRecordHeader), nSize, nullptr))
            return nError;
        nPos += static_cast<off_t>(kRecordHeader) + nSize;
    }
    nLength = static_cast<std::uint64_t>(nPos - nAt);
    return 0;
}

// Puts the records of old bytes in fdFrom (nLength of them from nAt on) back into fdTarget,
// whose size was nFileSize, and syncs it: 0, an errno, or kCorruptRanges when a record does
// not fit the records or the file (then nothing is written). Every record is checked before
// the first byte is.
int PutBackRanges(int fdTarget, int fdFrom, off_t nAt, std::uint64_t nLength, std::uint64_t nFileSize)
{
    struct stat st;
    if (::fstat(fdTarget, &st) != 0)
        return errno;
    const std::uint64_t nLimit = std::min(nFileSize, static_cast<std::uint64_t>(st.st_size));
    for (int nPass = 0; nPass < 2; ++nPass)
    {
        for (std::uint64_t nPos = 0; nPos < nLength;)
        {
            std::uint64_t record[2];
            if (nLength - nPos < kRecordHeader)
                return kCorruptRanges;
            if (const int nError =
                    ReadAllAt(fdFrom, reinterpret_cast<char*>(record), sizeof record, nAt + static_cast<off_t>(nPos)))
                return nError;
            nPos += kRecordHeader;
            const auto [nOffset, nSize] = record;
            if (nSize > nLength - nPos || nOffset > nLimit || nSize > nLimit - nOffset)
                return kCorruptRanges;
            if (nPass == 1)
                if (const int nError = Copy(fdFrom, nAt + static_cast<off_t>(nPos), fdTarget,
                                            static_cast<off_t>(nOffset), static_cast<off_t>(nSize), nullptr))
                    return nError;
            nPos += nSize;
        }
    }
    return Retry([&] { return ::fdatasync(fdTarget); }) != 0 ? errno : 0;
}

// Puts the old bytes of the journal fd (h) back into fdTarget: 0, an errno, or kCorruptRanges.
int PutBack(int fdTarget, int fd, const JOURNAL_HEADER& h)
{
    if (h.bRanges)
        return PutBackRanges(fdTarget, fd, kJournalHeader, h.nLength, h.nFileSize);
    return Overwrite(fdTarget, fd, kJournalHeader, static_cast<off_t>(h.nLength));
}

// Puts back the journal strJournal in fdDir if its save is dead. The target is found by the
// name the journal records, opened without following a link, and must be the file it
// records; fdHeld, when not -1, is that file already opened and locked by the caller (stHeld),
// and only its journals are looked at. The target's lock is taken before the journal's: a
// journal whose lock is free while its target's lock is ours has no living owner, since a
// save holds its target's lock for as long as its journal is there. Journals of other users,
// and those whose file is gone or is another file now, stay: their old bytes are the only
// copy. 0, or with fdHeld the errno that stops its save: a journal that cannot be looked at
// may be of its file, and left behind it would later undo the save.
int RecoverJournal(int fdDir, const std::string& strJournal, int fdHeld, const struct stat* pHeld)
{
    auto failed = [&](int nError) { return fdHeld >= 0 && nError != ENOENT ? nError : 0; };
    struct stat st;
    if (::fstatat(fdDir, strJournal.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1)
        return 0;
    const int fd =
        Retry([&] { return ::openat(fdDir, strJournal.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0)
        return failed(errno);
    struct stat now;
    JOURNAL_HEADER h;
    if (::fstat(fd, &now) != 0)
    {
        const int nError = errno;
        CloseFd(fd);
        return failed(nError);
    }
    if (!SameFile(now, st))
    {
        CloseFd(fd);
        return 0;
    }
    const EHeader header = ReadHeader(fd, now, h);
    if (header != EHeader::Valid)
    {
        const int nError = errno;
        // Unfinished (its file was not touched yet) or emptied once its save was done: only
        // swept, once its owner is gone.
        if (header == EHeader::None && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(fdDir, strJournal, now))
            Retry([&] { return ::unlinkat(fdDir, strJournal.c_str(), 0); });
        CloseFd(fd);
        return header == EHeader::Unreadable ? failed(nError) : 0;
    }
    if (pHeld != nullptr && (h.nDev != pHeld->st_dev || h.nIno != pHeld->st_ino))
    {
        CloseFd(fd);
        return 0;
    }
    int fdTarget = fdHeld;
    if (fdTarget < 0)
    {
        fdTarget =
            Retry([&] { return ::openat(fdDir, h.strName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
        struct stat stTarget;
        if (fdTarget < 0 || ::fstat(fdTarget, &stTarget) != 0 || !S_ISREG(stTarget.st_mode) ||
            stTarget.st_dev != h.nDev || stTarget.st_ino != h.nIno || ::flock(fdTarget, LOCK_EX | LOCK_NB) != 0)
        {
            // Gone, another file, or being saved: that save puts the journal back itself.
            CloseFd(fdTarget);
            CloseFd(fd);
            return 0;
        }
    }
    int nError = 0;
    JOURNAL_HEADER again;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        nError = EBUSY;
    else if (StillNamed(fdDir, strJournal, now) && ::fstat(fd, &now) == 0)
    {
        const EHeader last = ReadHeader(fd, now, again);
        if (last == EHeader::Unreadable)
            nError = errno;
        else if (last == EHeader::Valid)
        {
            // Records that do not fit are no old bytes of this file: nothing of them is
            // written, and the journal goes as one without its header would.
            nError = PutBack(fdTarget, fd, again);
            if (nError == kCorruptRanges)
                nError = 0;
            // One that cannot go is emptied, so that it never puts its bytes back again over
            // a later save's; it is swept then.
            if (nError == 0 && Retry([&] { return ::unlinkat(fdDir, strJournal.c_str(), 0); }) != 0 &&
                Retry([&] { return ::ftruncate(fd, 0); }) != 0)
                nError = errno;
        }
    }
    if (fdHeld < 0)
        CloseFd(fdTarget);
    CloseFd(fd);
    return fdHeld >= 0 ? nError : 0;
}

// The names in fdDir that a save makes.
std::vector<std::string> SaveNamesIn(int fdDir)
{
    std::vector<std::string> names;
    const int fdList = ::dup(fdDir);
    if (DIR* pDir = fdList >= 0 ? ::fdopendir(fdList) : nullptr)
    {
        ::rewinddir(pDir);
        while (const dirent* pEntry = ::readdir(pDir))
            if (IsTemporaryName(pEntry->d_name))
                names.emplace_back(pEntry->d_name);
        ::closedir(pDir);
    }
    else
        CloseFd(fdList);
    return names;
}

// How a write in place keeps the old bytes: written to fdTo from nAt on (0 with how many
// went, or an errno), and put back into the file from there.
using KeepOld = std::function<int(int fdTo, off_t nAt, std::uint64_t& nLength)>;
using PutBackOld = std::function<int(int fdFrom, off_t nAt, std::uint64_t nLength)>;

// Keeps the old bytes of the file h names in a new journal beside it, synced with its folder:
// 0 with fdJournal, strJournal and nLength, or an errno and nothing left.
int MakeJournal(int fdDir, JOURNAL_HEADER h, const KeepOld& keep, std::string& strJournal, int& fdJournal,
                std::uint64_t& nLength)
{
    strJournal = TemplateFor(h.strName, std::string(), kJournalMark);
    fdJournal = CreateLocked(fdDir, strJournal, 0600);
    if (fdJournal < 0)
        return errno;
    int nError = keep(fdJournal, kJournalHeader, nLength);
    if (nError == 0 && Retry([&] { return ::fdatasync(fdJournal); }) != 0)
        nError = errno;
    if (nError == 0)
    {
        h.nLength = nLength;
        char header[kJournalHeader];
        EncodeHeader(h, header);
        nError = WriteAllAt(fdJournal, header, sizeof header, 0);
    }
    if (nError == 0 && (Retry([&] { return ::fdatasync(fdJournal); }) != 0 || Retry([&] { return ::fsync(fdDir); }) != 0))
        nError = errno;
    if (nError != 0)
    {
        // Removed while locked; if even that fails, the journal holds what the file still
        // holds, so putting it back later changes nothing.
        Retry([&] { return ::unlinkat(fdDir, strJournal.c_str(), 0); });
        CloseFd(fdJournal);
        fdJournal = -1;
    }
    return nError;
}

// Where a folder takes no new file there is no journal: the old bytes are kept in an
// unnamed file of the temporary folder (memory when that fails), to be put back if the write
// fails. 0 with fdCopy and nLength, or an errno.
int MakeUndoCopy(const KeepOld& keep, int& fdCopy, std::uint64_t& nLength)
{
    const char* pszTmp = std::getenv("TMPDIR");
    fdCopy = Retry([&] {
        return ::open(pszTmp != nullptr && *pszTmp != '\0' ? pszTmp : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    });
    if (fdCopy < 0)
        fdCopy = ::memfd_create("afxsave-old", MFD_CLOEXEC);
    if (fdCopy < 0)
        return errno;
    const int nError = keep(fdCopy, 0, nLength);
    if (nError != 0)
    {
        CloseFd(fdCopy);
        fdCopy = -1;
    }
    return nError;
}

// Writes new bytes into the file h names (in fdDir, locked by the caller) with write, once
// keep has put the old ones in a journal (or, where the folder takes none, an undo copy). If
// write fails they are put back; should that fail too, the journal stays for the next save
// into the folder to put back. The journal goes once the new bytes are on disk. 0 or the
// errno of the first failure.
int WriteKeepingOld(int fdDir, const JOURNAL_HEADER& h, const KeepOld& keep, const std::function<int()>& write,
                    const PutBackOld& putBack)
{
    std::string strJournal;
    int fdOld = -1;
    std::uint64_t nLength = 0;
    int nError = MakeJournal(fdDir, h, keep, strJournal, fdOld, nLength);
    const bool bJournal = nError == 0;
    if (nError == EACCES || nError == EPERM)
        nError = MakeUndoCopy(keep, fdOld, nLength);
    if (nError != 0)
        return nError;
    const off_t nOldAt = bJournal ? kJournalHeader : 0;

    nError = write();
    if (nError != 0)
    {
        // Every name of the file goes back to the old content.
        if (putBack(fdOld, nOldAt, nLength) == 0 && bJournal)
            Retry([&] { return ::unlinkat(fdDir, strJournal.c_str(), 0); });
    }
    else if (bJournal && Retry([&] { return ::unlinkat(fdDir, strJournal.c_str(), 0); }) != 0)
    {
        // The new bytes are on disk; a journal that cannot go is emptied, so that nothing
        // puts it back, and the next save sweeps it.
        Retry([&] { return ::ftruncate(fdOld, 0); });
    }
    CloseFd(fdOld);
    return nError;
}

// The header of a journal of fdTarget (st), the file strName.
JOURNAL_HEADER HeaderFor(const std::string& strName, const struct stat& st, bool bRanges)
{
    JOURNAL_HEADER h;
    h.bRanges = bRanges;
    h.nDev = st.st_dev;
    h.nIno = st.st_ino;
    h.nFileSize = bRanges ? static_cast<std::uint64_t>(st.st_size) : 0;
    h.strName = strName;
    return h;
}
}  // namespace

void CloseFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

std::string FolderOf(const std::string& strPath)
{
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string("./") : strPath.substr(0, nSlash + 1);
}

std::string NameOf(const std::string& strPath)
{
    return strPath.substr(strPath.rfind('/') + 1);
}

bool IsJournalName(const std::string& strName)
{
    return EndsWithMark(strName, kJournalMark);
}

bool IsTemporaryName(const std::string& strName)
{
    return EndsWithMark(strName, kMark) || IsJournalName(strName);
}

void FillTemporaryName(std::string& strTemplate)
{
    static std::mt19937_64 s_random{std::random_device{}()};
    std::uint64_t bits = s_random();
    const std::size_t nAt = strTemplate.size() - kTailChars;
    for (std::size_t i = 0; i < kRandomChars; ++i, bits >>= 6)
        strTemplate[nAt + i] = kNameChars[bits % kNameCharCount];
    CheckChars(strTemplate.data(), strTemplate.size() - kCheckChars, strTemplate.data() + nAt + kRandomChars);
}

int OpenFolder(const std::string& strFolder)
{
    return Retry([&] { return ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
}

void RemoveDeadTemporaries(const std::string& strFolder)
{
    const int fdDir = OpenFolder(strFolder);
    if (fdDir < 0)
        return;
    RemoveDeadTemporaries(fdDir);
    CloseFd(fdDir);
}

void RemoveDeadTemporaries(int fdDir)
{
    const uid_t uid = ::geteuid();
    for (const std::string& name : SaveNamesIn(fdDir))
    {
        if (IsJournalName(name))
        {
            RecoverJournal(fdDir, name, -1, nullptr);
            continue;
        }
        // Only the saver's own: another user's file is never this program's to remove.
        struct stat st;
        if (::fstatat(fdDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != uid || st.st_nlink != 1)
            continue;
        const int fd = Retry([&] { return ::openat(fdDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
        if (fd < 0)
            continue;
        // Its owner holds the lock for as long as it lives; a lock we can take means the
        // owner is gone. The name must still be this file when it goes.
        struct stat now;
        if (::fstat(fd, &now) == 0 && SameFile(now, st) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            StillNamed(fdDir, name, now))
            Retry([&] { return ::unlinkat(fdDir, name.c_str(), 0); });
        CloseFd(fd);
    }
}

int RecoverJournalsOf(int fdDir, int fdTarget, const struct stat& st)
{
    for (const std::string& name : SaveNamesIn(fdDir))
        if (IsJournalName(name))
            if (const int nError = RecoverJournal(fdDir, name, fdTarget, &st))
                return nError;
    return 0;
}

int WriteInPlace(int fdDir, const std::string& strName, int fdTarget, int fdNew)
{
    // One rewrite at a time: another save of this file waits here until this one is whole.
    // A file system without locks still gets the journal.
    const bool bLocked = Retry([&] { return ::flock(fdTarget, LOCK_EX); }) == 0;
    auto done = [&](int nError) {
        if (bLocked)
            ::flock(fdTarget, LOCK_UN);
        return nError;
    };
    struct stat st;
    if (::fstat(fdTarget, &st) != 0)
        return done(errno);
    // A dead save's journal of this file goes back first: the bytes it holds are the file's
    // last whole ones, and a journal left behind would later undo this save.
    if (const int nError = RecoverJournalsOf(fdDir, fdTarget, st))
        return done(nError);
    return done(WriteKeepingOld(
        fdDir, HeaderFor(strName, st, false),
        [&](int fdTo, off_t nAt, std::uint64_t& nLength) {
            off_t nCopied = 0;
            const int nError = Copy(fdTarget, 0, fdTo, nAt, -1, &nCopied);
            nLength = static_cast<std::uint64_t>(nCopied);
            return nError;
        },
        [&] { return Overwrite(fdTarget, fdNew, 0, -1); },
        [&](int fdFrom, off_t nAt, std::uint64_t nLength) {
            return Overwrite(fdTarget, fdFrom, nAt, static_cast<off_t>(nLength));
        }));
}

int PatchInPlace(int fdDir, const std::string& strName, int fdTarget, const PATCH_RANGES& ranges)
{
    struct stat st;
    if (::fstat(fdTarget, &st) != 0)
        return errno;
    for (const auto& [nOffset, data] : ranges)
        if (nOffset > static_cast<std::uint64_t>(st.st_size) ||
            data.size() > static_cast<std::uint64_t>(st.st_size) - nOffset)
            return EINVAL;  // the file was cut short behind the lock's back
    return WriteKeepingOld(
        fdDir, HeaderFor(strName, st, true),
        [&](int fdTo, off_t nAt, std::uint64_t& nLength) { return KeepRanges(fdTarget, ranges, fdTo, nAt, nLength); },
        [&] {
            for (const auto& [nOffset, data] : ranges)
                if (const int nError = WriteAllAt(fdTarget, data.data(), data.size(), static_cast<off_t>(nOffset)))
                    return nError;
            return Retry([&] { return ::fdatasync(fdTarget); }) != 0 ? errno : 0;
        },
        [&](int fdFrom, off_t nAt, std::uint64_t nLength) {
            return PutBackRanges(fdTarget, fdFrom, nAt, nLength, static_cast<std::uint64_t>(st.st_size));
        });
}

int RenameTemporary(int fdDir, const std::string& strTemp, int fdTemp, const std::string& strTarget)
{
    struct stat st;
    if (::fstat(fdTemp, &st) != 0)
        return errno;
    if (!StillNamed(fdDir, strTemp, st))
        return ENOENT;  // not the file written any more: nothing of it is touched
    if (Retry([&] { return ::renameat(fdDir, strTemp.c_str(), fdDir, strTarget.c_str()); }) == 0)
        return 0;
    const int nError = errno;
    Retry([&] { return ::unlinkat(fdDir, strTemp.c_str(), 0); });
    return nError;
}

namespace
{
// Who uid is, for a message: its name in /etc/passwd (read here, so that the static
// converter needs no name service), or its number.
std::string UserName(uid_t uid)
{
    if (std::FILE* p = std::fopen("/etc/passwd", "re"))
    {
        char line[1024];
        while (std::fgets(line, sizeof line, p) != nullptr)
        {
            // NAME:PASSWORD:UID:...
            char* pColon = std::strchr(line, ':');
            char* pUid = pColon != nullptr ? std::strchr(pColon + 1, ':') : nullptr;
            if (pUid == nullptr)
                continue;
            char* pEnd = nullptr;
            const unsigned long n = std::strtoul(pUid + 1, &pEnd, 10);
            if (pEnd != pUid + 1 && *pEnd == ':' && n == uid)
            {
                std::fclose(p);
                return std::string(line, pColon);
            }
        }
        std::fclose(p);
    }
    return "user " + std::to_string(uid);
}

}  // namespace

// A refusal in words, with errno's value for callers that look at it.
CFileException Refusal(int nErrno, const std::string& strCause, const CString& strPath)
{
    CFileException e = CFileException::FromErrno(nErrno, strPath);
    e.m_strCause = strCause.c_str();
    return e;
}

// The file a save of strPath writes: the end of a chain of symbolic links, which need not
// exist yet (a dangling link gets its file; the link stays). A link in a sticky folder that
// everyone may write is followed only when the saver or the folder's owner owns it, the rule
// the kernel applies (fs.protected_symlinks) when it follows a link itself: anyone could
// have planted another. Then strRefusal names the link and its owner. Links among the folders
// are the kernel's to follow, by that same rule, when the folder is opened.
bool ResolveTarget(const std::string& strPath, std::string& strTarget, std::string& strRefusal)
{
    std::string path = strPath;
    for (int nHop = 0; nHop < 40; ++nHop)
    {
        struct stat lst, dir;
        if (::lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode))
            break;
        if (::stat(FolderOf(path).c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0 &&
            lst.st_uid != ::geteuid() && lst.st_uid != dir.st_uid)
        {
            strRefusal = path + " is a link owned by " + UserName(lst.st_uid) + " in a shared folder; not followed";
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            break;
        link.resize(static_cast<std::size_t>(n));
        path = link[0] == '/' ? link : FolderOf(path) + link;
    }
    strTarget = path;  // after a loop of links, still a link: the checks that follow report it
    return true;
}

bool OpenTargetFolder(const CString& strPath, std::string& strTarget, std::string& strName, int& fdDir,
                      CFileException& e)
{
    std::string strRefusal;
    if (strPath.IsEmpty())
        e = CFileException::FromErrno(ENOENT, strPath);
    else if (!ResolveTarget(strPath.Str(), strTarget, strRefusal))
        e = Refusal(EACCES, strRefusal, strPath);
    else if ((strName = NameOf(strTarget)).empty())
        e = CFileException::FromErrno(EISDIR, strPath);
    else if ((fdDir = OpenFolder(FolderOf(strTarget))) < 0)
        e = CFileException::FromErrno(errno, strPath);
    else
        return true;
    return false;
}

bool CheckTarget(int fdDir, const std::string& strName, const struct stat& st, const CString& strPath,
                 CFileException& e)
{
    if (S_ISLNK(st.st_mode))
        e = CFileException::FromErrno(ELOOP, strPath);  // a loop, or a link put there meanwhile
    else if (S_ISDIR(st.st_mode))
        e = CFileException::FromErrno(EISDIR, strPath);
    else if (!S_ISREG(st.st_mode))
        e = CFileException(CFileException::invalidFile, 0, strPath);
    else if (::faccessat(fdDir, strName.c_str(), W_OK, 0) != 0)
        e = CFileException::FromErrno(errno, strPath);
    else
        return true;
    return false;
}

int OpenChecked(int fdDir, const std::string& strName, const struct stat& st, const CString& strPath,
                CFileException& e)
{
    const int fd =
        Retry([&] { return ::openat(fdDir, strName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0)
    {
        e = errno == ELOOP ? Refusal(ELOOP, strPath.Str() + std::string(" became a link while it was checked; not followed"),
                                     strPath)
                           : CFileException::FromErrno(errno, strPath);
        return -1;
    }
    struct stat now;
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || !SameFile(now, st))
    {
        CloseFd(fd);
        e = Refusal(EAGAIN, strPath.Str() + std::string(" was replaced while it was checked"), strPath);
        return -1;
    }
    return fd;
}

}  // namespace afx_save

using namespace afx_save;

namespace
{
// The names of the extended attributes of the path (not following a link) or, with an empty
// path, of fd.
bool ListAttributes(const std::string& strPath, int fd, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> buf;
    for (;;)
    {
        const ssize_t nSize = strPath.empty() ? ::flistxattr(fd, nullptr, 0) : ::llistxattr(strPath.c_str(), nullptr, 0);
        if (nSize <= 0)
            return nSize == 0 || errno == ENOTSUP;
        buf.resize(static_cast<std::size_t>(nSize));
        const ssize_t n = strPath.empty() ? ::flistxattr(fd, buf.data(), buf.size())
                                          : ::llistxattr(strPath.c_str(), buf.data(), buf.size());
        if (n < 0 && errno == ERANGE)
            continue;
        if (n < 0)
            return false;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n);)
        {
            const std::string name(buf.data() + i);
            i += name.size() + 1;
            if (!name.empty())
                names.push_back(name);
        }
        return true;
    }
}

// Gives the temporary fd the extended attributes of strTarget (ACLs, security labels, user
// attributes) and no others.
bool CopyAttributes(const std::string& strTarget, int fd)
{
    std::vector<std::string> theirs, mine;
    if (!ListAttributes(strTarget, -1, theirs))
        return false;
    std::vector<char> value;
    for (const std::string& name : theirs)
    {
        ssize_t n = ::lgetxattr(strTarget.c_str(), name.c_str(), nullptr, 0);
        if (n >= 0)
        {
            value.resize(static_cast<std::size_t>(n));
            n = ::lgetxattr(strTarget.c_str(), name.c_str(), value.data(), value.size());
        }
        if (n < 0)
            return false;
        if (Retry([&] { return ::fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(n), 0); }) != 0)
            return false;
    }
    if (!ListAttributes(std::string(), fd, mine))
        return false;
    for (const std::string& name : mine)
        if (std::find(theirs.begin(), theirs.end(), name) == theirs.end() &&
            Retry([&] { return ::fremovexattr(fd, name.c_str()); }) != 0)
            return false;
    return true;
}

// Makes the temporary fd what the target st was: owner, group, mode, attributes. False when
// it cannot take one of them.
bool TakeOver(int fd, const std::string& strTarget, const struct stat& st)
{
    struct stat mine;
    if (::fstat(fd, &mine) != 0)
        return false;
    // Owner first: a change of owner clears the set-id bits that the mode then sets.
    if ((mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) &&
        Retry([&] { return ::fchown(fd, st.st_uid, st.st_gid); }) != 0)
        return false;
    if (Retry([&] { return ::fchmod(fd, st.st_mode & 07777); }) != 0)
        return false;
    return CopyAttributes(strTarget, fd);
}
}  // namespace

std::shared_ptr<const int> AFX_PENDING_SAVE::Own(int fd)
{
    return std::shared_ptr<const int>(new int(fd), [](const int* p) {
        CloseFd(*p);
        delete p;
    });
}

CSafeSaveFile::~CSafeSaveFile()
{
    Abort();
}

BOOL CSafeSaveFile::Open(LPCTSTR lpszPathName, CFileException* pError, CSaveBatch* pBatch)
{
    Abort();
    m_strPath = lpszPathName;
    m_pBatch = pBatch;
    auto fail = [&](const CFileException& e) {
        CloseFolder();
        if (pError != nullptr)
            *pError = e;
        return FALSE;
    };
    std::string target, name;
    CFileException eFolder;
    if (!OpenTargetFolder(m_strPath, target, name, m_fdDir, eFolder))
        return fail(eFolder);
    struct stat st;
    const bool bExists = ::fstatat(m_fdDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (bExists)
    {
        CFileException e;
        if (!CheckTarget(m_fdDir, name, st, m_strPath, e))
            return fail(e);
    }
    else if (errno != ENOENT)
        return fail(CFileException::FromErrno(errno, m_strPath));

    m_strTarget = target;
    m_strName = name;
    // A new file in place of this one would leave its other names with the old content.
    if (bExists && st.st_nlink > 1)
        return OpenInPlace(st, pError);

    std::string tmpl = TemplateFor(name, m_pBatch != nullptr ? m_pBatch->GetTag() : std::string(), kMark);
    // A new file gets its mode from the umask as the kernel creates it; one that replaces a
    // file starts private and then takes that file's mode.
    const int fd = CreateLocked(m_fdDir, tmpl, bExists ? 0600 : 0666);
    if (fd < 0)
    {
        // A folder that takes no new file may still hold a file this user may write.
        if (bExists && (errno == EACCES || errno == EPERM))
            return OpenInPlace(st, pError);
        return fail(CFileException::FromErrno(errno, m_strPath));
    }
    if (bExists && !TakeOver(fd, target, st))
    {
        Retry([&] { return ::unlinkat(m_fdDir, tmpl.c_str(), 0); });
        CloseFd(fd);
        return OpenInPlace(st, pError);
    }
    m_strTempName = tmpl;
    m_strTemp = FolderOf(target) + tmpl;
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

BOOL CSafeSaveFile::OpenInPlace(const struct stat& st, CFileException* pError)
{
    auto fail = [&](const CFileException& e) {
        CloseFolder();
        if (pError != nullptr)
            *pError = e;
        return FALSE;
    };
    // The very file checked, never a link put in its place: it is kept open until the
    // commit writes through it. The new bytes wait in memory until then.
    CFileException e;
    const int fdTarget = OpenChecked(m_fdDir, m_strName, st, m_strPath, e);
    if (fdTarget < 0)
        return fail(e);
    const int fd = ::memfd_create("afxsave", MFD_CLOEXEC);
    if (fd < 0)
    {
        const int nError = errno;
        CloseFd(fdTarget);
        return fail(CFileException::FromErrno(nError, m_strPath));
    }
    m_fdTarget = fdTarget;
    m_bInPlace = true;
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

void CSafeSaveFile::CloseFolder()
{
    CloseFd(m_fdDir);
    m_fdDir = -1;
}

void CSafeSaveFile::Commit()
{
    if ((m_strTemp.empty() && !m_bInPlace) || !m_file.IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    if (m_pBatch != nullptr)
    {
        // The batch keeps the temporary open, and so locked, until it renames it.
        const int fdKeep = ::fcntl(m_file.GetHandle(), F_DUPFD_CLOEXEC, 0);
        if (fdKeep < 0)
            throw CFileException::FromErrno(errno, m_strPath);
        AFX_PENDING_SAVE save;
        save.strTemp = m_strTemp;
        save.strTarget = m_strTarget;
        save.pFd = AFX_PENDING_SAVE::Own(fdKeep);
        if (m_bInPlace)
            save.pTargetFd = AFX_PENDING_SAVE::Own(std::exchange(m_fdTarget, -1));
        m_file.Close();
        m_pBatch->Add(std::move(save));
        m_strTemp.clear();
        m_strTempName.clear();
        m_bInPlace = false;
        CloseFolder();
        return;
    }
    if (m_bInPlace)
    {
        const int nError = WriteInPlace(m_fdDir, m_strName, m_fdTarget, m_file.GetHandle());
        m_file.Abort();
        CloseFd(std::exchange(m_fdTarget, -1));
        m_bInPlace = false;
        if (nError != 0)
            throw CFileException::FromErrno(nError, m_strPath);
    }
    else
    {
        // The data must be on disk before the rename makes it the file; otherwise a crash
        // just after the save could leave an empty file where the old one was.
        if (Retry([&] { return ::fdatasync(m_file.GetHandle()); }) != 0)
            throw CFileException::FromErrno(errno, m_strPath);
        // The lock stays until the rename.
        const int fdLock = ::fcntl(m_file.GetHandle(), F_DUPFD_CLOEXEC, 0);
        if (fdLock < 0)
            throw CFileException::FromErrno(errno, m_strPath);
        try
        {
            m_file.Close();
        }
        catch (...)
        {
            CloseFd(fdLock);
            throw;
        }
        // Renamed, or removed (or not the file written any more): nothing is left to abort.
        const int nError = RenameTemporary(m_fdDir, m_strTempName, fdLock, m_strName);
        CloseFd(fdLock);
        m_strTemp.clear();
        m_strTempName.clear();
        if (nError != 0)
            throw CFileException::FromErrno(nError, m_strPath);
    }
    afx_save::RemoveDeadTemporaries(m_fdDir);
    CloseFolder();
}

void CSafeSaveFile::Abort()
{
    // Removed while still locked, so no sweep of the folder meets it half gone.
    if (!m_strTempName.empty() && m_fdDir >= 0)
    {
        // Only the saver may rename a file of its own in a sticky folder; where the file is
        // still open, its name must still be it.
        struct stat st;
        if (!m_file.IsOpen() || (::fstat(m_file.GetHandle(), &st) == 0 && StillNamed(m_fdDir, m_strTempName, st)))
            Retry([&] { return ::unlinkat(m_fdDir, m_strTempName.c_str(), 0); });
    }
    m_strTemp.clear();
    m_strTempName.clear();
    m_file.Abort();
    CloseFd(std::exchange(m_fdTarget, -1));
    m_bInPlace = false;
    CloseFolder();
}

void CSafeSaveFile::RemoveDeadTemporaries(const std::vector<std::string>& targets)
{
    std::set<std::string> folders;
    for (const std::string& target : targets)
    {
        std::string resolved, strRefusal;
        // A link that would not be followed leads nowhere a save went.
        if (ResolveTarget(target, resolved, strRefusal))
            folders.insert(FolderOf(resolved));
    }
    for (const std::string& folder : folders)
        afx_save::RemoveDeadTemporaries(folder);
}
