#include "tools/vellumconv/ConvStream.h"

#include "tools/vellumconv/ConvArgs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr std::size_t STREAM_PIECE = std::size_t{1} << 20;

struct StreamCopy
{
    bool bOk = false;
    std::string strPath;   // /proc/self/fd/N of the copy, or of standard input when it is a file
    std::string strCause;  // when not bOk
};

std::mutex g_streamsLock;
std::map<std::string, StreamCopy> g_streams;

// An unlinked file in $TMPDIR (else /tmp): nothing is left of it when the run ends.
int OpenSpool(std::string& strCause)
{
    const char* pszDir = std::getenv("TMPDIR");
    const std::string strDir = pszDir != nullptr && *pszDir != '\0' ? pszDir : "/tmp";
    int fd = ::open(strDir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EINTR)
    {
        // A file system without O_TMPFILE: a named file, unlinked at once.
        std::string strName = strDir + "/vellumconv-stream-XXXXXX";
        fd = ::mkostemp(strName.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(strName.c_str());
    }
    if (fd < 0)
        strCause = "cannot make its copy in " + strDir + ": " + std::strerror(errno);
    return fd;
}

bool WriteAll(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0)
    {
        const ssize_t nDone = ::write(fd, p, n);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
            return false;
        p += nDone;
        n -= static_cast<std::size_t>(nDone);
    }
    return true;
}

// Copies the stream on fdIn to a new unlinked file; strEmpty is the cause when it ends at once.
StreamCopy CopyStream(int fdIn, const std::string& strEmpty)
{
    StreamCopy copy;
    const int fdOut = OpenSpool(copy.strCause);
    if (fdOut < 0)
        return copy;
    std::vector<std::uint8_t> piece(STREAM_PIECE);
    std::uint64_t nTotal = 0;
    for (;;)
    {
        const ssize_t nGot = ::read(fdIn, piece.data(), piece.size());
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
        {
            copy.strCause = std::strerror(errno);
            ::close(fdOut);
            return copy;
        }
        if (nGot == 0)
            break;
        if (!WriteAll(fdOut, piece.data(), static_cast<std::size_t>(nGot)))
        {
            copy.strCause = std::string("cannot copy it: ") + std::strerror(errno);
            ::close(fdOut);
            return copy;
        }
        nTotal += static_cast<std::uint64_t>(nGot);
    }
    if (nTotal == 0)
    {
        copy.strCause = strEmpty;
        ::close(fdOut);
        return copy;
    }
    // The copy stays open to the end of the run; its readers open it again by this name.
    copy.bOk = true;
    copy.strPath = "/proc/self/fd/" + std::to_string(fdOut);
    return copy;
}

StreamCopy ReadStandardInput()
{
    StreamCopy copy;
    struct stat st;
    if (::fstat(STDIN_FILENO, &st) != 0)
    {
        copy.strCause = std::string("standard input: ") + std::strerror(errno);
        return copy;
    }
    // A redirected file is read as that file, in place.
    if (S_ISREG(st.st_mode))
    {
        copy.bOk = true;
        copy.strPath = "/proc/self/fd/0";
        return copy;
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return CopyStream(STDIN_FILENO, "standard input is empty");
    copy.strCause = ::isatty(STDIN_FILENO) ? "standard input is a terminal; vellumconv reads a file or a pipe there"
                                           : "standard input is not a file or a pipe; vellumconv reads those there";
    return copy;
}

StreamCopy ReadFifo(const std::string& strName)
{
    StreamCopy copy;
    // Without a writer a blocking open would wait for one; this one returns at once, and a
    // FIFO nobody writes reads as empty.
    int fd;
    do
        fd = ::open(strName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))
    {
        copy.strCause = fd < 0 ? std::strerror(errno) : "it is no longer a FIFO";
        if (fd >= 0)
            ::close(fd);
        return copy;
    }
    const int nFlags = ::fcntl(fd, F_GETFL);
    if (nFlags >= 0)
        ::fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK);
    copy = CopyStream(fd, "a FIFO with nothing written to it");
    ::close(fd);
    return copy;
}

}  // namespace

bool IsConvStream(const std::string& strName)
{
    struct stat st;
    return strName == "-" || (::stat(strName.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

bool ConvReadPath(const std::string& strName, std::string& strPath, std::string& strCause)
{
    const std::lock_guard<std::mutex> lock(g_streamsLock);
    auto it = g_streams.find(strName);
    if (it == g_streams.end())
    {
        if (!IsConvStream(strName))
        {
            strPath = strName;
            return true;
        }
        it = g_streams.emplace(strName, strName == "-" ? ReadStandardInput() : ReadFifo(strName)).first;
    }
    strPath = it->second.strPath;
    strCause = it->second.strCause;
    return it->second.bOk;
}

namespace
{

const char* const DASH_OUTPUT_ERROR =
    "'-' (standard output) is an output only of 'export' (the PNG) and 'palette export'; name a file";

std::string DashInputs(const std::vector<const std::string*>& inputs, bool bListFromStdin)
{
    int nDashes = 0;
    for (const std::string* pIn : inputs)
        nDashes += *pIn == "-" ? 1 : 0;
    if (nDashes > 0 && bListFromStdin)
        return "'-' (standard input) holds the list of --files-from; it cannot be an input too";
    if (nDashes > 1)
        return "'-' (standard input) is named more than once; a run reads it once";
    return {};
}

}  // namespace

std::string ConvDashError(const ConvCommandLine& cmd)
{
    std::vector<const std::string*> inputs, outputs;
    std::string strPaletteSource;
    std::uint32_t nRow = 0;
    if (!cmd.batch.verb.strPaletteSpec.empty() && SplitPaletteSpec(cmd.batch.verb.strPaletteSpec, strPaletteSource, nRow))
        inputs.push_back(&strPaletteSource);
    std::string strScanPalette;
    if (!cmd.scan.strPalette.empty() && SplitPaletteSpec(cmd.scan.strPalette, strScanPalette, nRow))
        inputs.push_back(&strScanPalette);
    switch (cmd.mode)
    {
    case EConvMode::Steps:
        for (const ConvStep& step : cmd.steps)
            (step.kind == EConvStep::Open ? inputs : outputs).push_back(&step.strPath);
        break;
    case EConvMode::Shorthand:
    case EConvMode::Verb:
        inputs.push_back(&cmd.strVerbIn);
        if (!cmd.batch.verb.strLike.empty())
            inputs.push_back(&cmd.batch.verb.strLike);
        if (!(cmd.mode == EConvMode::Verb && cmd.batch.verb.kind == EConvVerb::Export))
            outputs.push_back(&cmd.strVerbOut);
        break;
    case EConvMode::Batch:
        for (const std::string& strFile : cmd.batch.files)
            inputs.push_back(&strFile);
        if (!cmd.batch.verb.strLike.empty())
            inputs.push_back(&cmd.batch.verb.strLike);
        outputs.push_back(&cmd.batch.strOutDir);
        break;
    case EConvMode::Scan:
        for (const std::string& strFile : cmd.scan.files)
            inputs.push_back(&strFile);
        outputs.push_back(&cmd.scan.strExtractDir);
        break;
    case EConvMode::Palette:
        inputs.push_back(&cmd.palette.strIn);
        if (cmd.palette.verb == EConvPaletteVerb::Import)
        {
            inputs.push_back(&cmd.palette.strPalette);
            outputs.push_back(&cmd.palette.strOut);
        }
        break;
    case EConvMode::Thumbnail:
        inputs.push_back(&cmd.thumbnail.strIn);
        outputs.push_back(&cmd.thumbnail.strOut);
        break;
    case EConvMode::Replace:
        if (cmd.replace.strContainer == "-")
            return "'-' cannot be the CONTAINER: replace changes it where it lies; name a file";
        for (const std::string& strNew : cmd.replace.news)
            inputs.push_back(&strNew);
        outputs.push_back(&cmd.replace.strOutput);
        outputs.push_back(&cmd.replace.strFromDir);
        break;
    }
    for (const std::string* pOut : outputs)
        if (*pOut == "-")
            return DASH_OUTPUT_ERROR;
    return DashInputs(inputs, cmd.mode == EConvMode::Batch && cmd.batch.strFilesFrom == "-");
}
