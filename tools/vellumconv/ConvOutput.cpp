#include "tools/vellumconv/ConvOutput.h"

#include "framework/SafeSaveIo.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace
{

// The cause of the first failed write to standard output and to standard error.
int g_nOutError = 0;
int g_nErrError = 0;
// Standard output or error was closed when the run began: /dev/null holds its place, and a
// write to it fails as a write to a closed descriptor does.
bool g_bOutClosed = false;
bool g_bErrClosed = false;

bool Closed(std::FILE* pStream)
{
    if (!(pStream == stdout ? g_bOutClosed : pStream == stderr && g_bErrClosed))
        return false;
    errno = EBADF;
    return true;
}

bool Note(std::FILE* pStream, bool bOk)
{
    if (bOk)
        return true;
    int* pnError = pStream == stdout ? &g_nOutError : pStream == stderr ? &g_nErrError : nullptr;
    if (pnError != nullptr && *pnError == 0)
        *pnError = errno != 0 ? errno : EIO;
    return false;
}

}  // namespace

void ConvMarkClosed(std::FILE* pStream)
{
    (pStream == stdout ? g_bOutClosed : g_bErrClosed) = true;
}

bool ConvPut(std::FILE* pStream, std::string_view text)
{
    errno = 0;
    if (Closed(pStream))
        return Note(pStream, text.empty());
    return Note(pStream, std::fwrite(text.data(), 1, text.size(), pStream) == text.size());
}

bool ConvPrint(std::FILE* pStream, const char* pszFormat, ...)
{
    errno = 0;
    if (Closed(pStream))
        return Note(pStream, false);
    std::va_list args;
    va_start(args, pszFormat);
    const int n = std::vfprintf(pStream, pszFormat, args);
    va_end(args);
    return Note(pStream, n >= 0);
}

bool ConvFlush(std::FILE* pStream)
{
    errno = 0;
    return Note(pStream, std::fflush(pStream) == 0);
}

bool ConvWriteStandardOutput(const std::uint8_t* pData, std::size_t nSize, std::string& strCause)
{
    if (!ConvFlush(stdout) || Closed(stdout))
    {
        strCause = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    std::signal(SIGPIPE, SIG_IGN);
    while (nSize > 0)
    {
        const ssize_t nDone = ::write(STDOUT_FILENO, pData, nSize);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
        {
            strCause = std::strerror(nDone < 0 ? errno : EIO);
            return false;
        }
        pData += nDone;
        nSize -= static_cast<std::size_t>(nDone);
    }
    return true;
}

int ConvEndOutput(int nStatus)
{
    // The error flag also catches a write made without these; fclose catches a file system
    // that tells only at the close.
    const bool bOutFailed = std::ferror(stdout) != 0;
    errno = 0;
    const bool bOutClosed = Note(stdout, std::fclose(stdout) == 0);
    ConvFlush(stderr);
    const bool bErrFailed = std::ferror(stderr) != 0 || g_nErrError != 0;
    if (!bOutFailed && bOutClosed && g_nOutError == 0 && !bErrFailed)
        return nStatus;
    if (bOutFailed || !bOutClosed || g_nOutError != 0)
    {
        if (g_nOutError != 0)
            ConvPrint(stderr, "vellumconv: cannot write to standard output: %s.\n", std::strerror(g_nOutError));
        else
            ConvPut(stderr, "vellumconv: cannot write to standard output.\n");
        ConvFlush(stderr);
    }
    return nStatus == 0 ? 1 : nStatus;
}

std::string ConvReservedNameReason(const std::string& strPath)
{
    const std::size_t nSlash = strPath.rfind('/');
    const std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    // Beside the names this version makes, those of the looser form earlier versions made
    // (".NAME.afxsave-" and six letters or digits), which their sweeps still remove.
    const std::size_t nMark = strName.rfind(".afxsave-");
    const bool bEarlierForm = !strName.empty() && strName[0] == '.' && nMark != std::string::npos &&
                              strName.size() - nMark - 9 == 6 &&
                              std::all_of(strName.begin() + static_cast<std::ptrdiff_t>(nMark + 9), strName.end(),
                                          [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) != 0; });
    if (afx_save::IsTemporaryName(strName) || bEarlierForm)
        return "the name of a save's temporary file, which a later save into the folder removes";
    if (strName.find("afxsave-journal-") != std::string::npos)
        return "the name of a save's journal, which a later save into the folder writes back";
    return std::string();
}
