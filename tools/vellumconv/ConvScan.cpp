#include "tools/vellumconv/ConvScan.h"

#include "exchange/Exchange.h"
#include "formats/Scan.h"
#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvCommit.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvScanFile.h"
#include "tools/vellumconv/ConvText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// Bytes the UTF-8 sequence at p[i..n) takes, or 0 when it is not a valid one.
std::size_t Utf8Length(const std::string& s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t nMin = 0, v = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0)
        n = 2, nMin = 0x80, v = c & 0x1Fu;
    else if ((c & 0xF0) == 0xE0)
        n = 3, nMin = 0x800, v = c & 0x0Fu;
    else if ((c & 0xF8) == 0xF0)
        n = 4, nMin = 0x10000, v = c & 0x07u;
    else
        return 0;
    if (s.size() - i < n)
        return 0;
    for (std::size_t k = 1; k < n; ++k)
    {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (cc & 0x3Fu);
    }
    if (v < nMin || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    return n;
}

// A JSON string. File names are bytes, and JSON text is UTF-8: a byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC80 + byte (Python's "surrogateescape"), so the
// name can be turned back into its bytes.
std::string JsonString(const std::string& s)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();)
    {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = Utf8Length(s, i);
        if (n > 1)
        {
            out.append(s, i, n);
            i += n;
            continue;
        }
        ++i;
        if (c == '"')
            out += "\\\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (n == 1 && c >= 0x20 && c != 0x7F)
            out += static_cast<char>(c);
        else
        {
            const unsigned v = n == 0 ? 0xDC00u + c : c;
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(v >> shift) & 15];
        }
    }
    out += '"';
    return out;
}

std::string FindLine(const std::string& strFile, const ConvScanFind& find, bool bJson)
{
    const ScanItem& it = find.item;
    const std::string strSize = std::to_string(it.nWidth) + "x" + std::to_string(it.nHeight);
    if (bJson)
        return "{\"file\":" + JsonString(strFile) + ",\"offset\":" + std::to_string(find.nFile) + ",\"kind\":\"" +
               ScanKindName(it.kind) + "\",\"length\":" + std::to_string(it.nLength) + ",\"size\":\"" + strSize +
               "\",\"depth\":" + std::to_string(it.nDepth) + ",\"cluts\":" + std::to_string(it.nCluts) + "}\n";
    return EscapeControls(strFile) + "\t" + std::to_string(find.nFile) + "\t" + ScanKindName(it.kind) + "\t" +
           std::to_string(it.nLength) + "\t" + strSize + "\t" + std::to_string(it.nDepth) + "\t" +
           std::to_string(it.nCluts) + "\n";
}

// ---- Progress ------------------------------------------------------------------------

std::string Amount(std::uint64_t nBytes)
{
    char sz[32];
    const double d = static_cast<double>(nBytes);
    if (nBytes >= (std::uint64_t{1} << 30))
        std::snprintf(sz, sizeof sz, "%.1f GiB", d / (1u << 30));
    else
        std::snprintf(sz, sizeof sz, "%.1f MiB", d / (1u << 20));
    return sz;
}

// ---- The run -------------------------------------------------------------------------

// Whether one of the files is right in the folder: only there can an output replace it.
bool AnyInFolder(const std::vector<std::string>& files, const std::string& strFolder)
{
    struct stat folder;
    if (::stat(strFolder.c_str(), &folder) != 0)
        return true;
    for (const std::string& strFile : files)
    {
        const std::size_t nSlash = strFile.rfind('/');
        const std::string strParent = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strFile.substr(0, nSlash);
        struct stat parent;
        if (::stat(strParent.c_str(), &parent) != 0 || (parent.st_dev == folder.st_dev && parent.st_ino == folder.st_ino))
            return true;
    }
    return false;
}

class CScanRun
{
public:
    CScanRun(const ConvScanOptions& options, std::FILE* pOut, std::FILE* pErr)
        : m_options(options), m_pOut(pOut), m_pErr(pErr), m_commits(pOut, pErr)
    {
    }
    int Run();

private:
    bool CheckExtraction();
    void ScanFile(const std::string& strPath);
    void Extract(const std::string& strPath, const CScanSource& source, const ConvScanFind& find);
    bool WriteOutput(const std::string& strTarget, const std::uint8_t* p, std::size_t n, const CScanSource* pSource,
                     const ConvScanFind* pFind);
    // Puts what is still held in place at the end of the scan: the exit status.
    int PutInPlace();
    void Message(const std::string& strPath, const std::string& strMessage) { m_commits.Message(strPath, strMessage); }
    std::string Summary(std::size_t nFiles) const;
    // A signal stops only an extraction: a plain scan writes nothing to clean up.
    bool Stopped() const { return m_commits.Caught() != 0; }

    const ConvScanOptions& m_options;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
    // Each find extracted is an item: its outputs are put in place together, or not at all.
    CConvCommits m_commits;
    bool m_bExtract = false;
    // Whether outputs may be put in place before the scan ends: not when an output could
    // still turn out to replace one of the files scanned, which must leave nothing extracted.
    bool m_bRounds = false;
    std::vector<std::pair<dev_t, ino_t>> m_inputs;  // the files scanned, which no output may replace
    std::string m_strInputReplaced;
    std::uint64_t m_nBytes = 0;
    std::uint64_t m_nFound = 0;
    bool m_bAnyFailed = false;
    bool m_bGreysTold = false;  // the note on finds without a CLUT, once a run
};

std::string CScanRun::Summary(std::size_t nFiles) const
{
    return ConvFormat("vellumconv: %llu found in %zu file%s (%s) in %.1f s", static_cast<unsigned long long>(m_nFound),
                      nFiles, nFiles == 1 ? "" : "s", Amount(m_nBytes).c_str(), m_commits.Progress().Seconds());
}

// Refusals before anything is scanned: two files whose finds would get the same names, and a
// folder that cannot be made.
bool CScanRun::CheckExtraction()
{
    std::map<std::string, std::string> names;
    for (const std::string& strFile : m_options.files)
    {
        const auto [it, bNew] = names.emplace(ConvBaseName(strFile), strFile);
        if (!bNew && it->second != strFile)
        {
            ConvPrint(m_pErr,
                      "vellumconv: '%s' and '%s' have the same name: their finds would get the same names in %s\n"
                      "Try 'vellumconv scan --help'.\n",
                      EscapeControls(it->second).c_str(), EscapeControls(strFile).c_str(),
                      EscapeControls(m_options.strExtractDir).c_str());
            m_bAnyFailed = true;
            return false;
        }
    }
    return true;
}

int CScanRun::Run()
{
    m_bExtract = !m_options.strExtractDir.empty();
    if (m_bExtract)
    {
        if (!CheckExtraction())
            return 2;
        std::error_code ec;
        std::filesystem::create_directories(m_options.strExtractDir, ec);
        if (ec || !std::filesystem::is_directory(m_options.strExtractDir))
        {
            Message(m_options.strExtractDir,
                    "cannot make the folder: " + (ec ? ec.message() : std::string("Not a directory")) + ".");
            return 1;
        }
        // No output may replace one of the files scanned.
        for (const std::string& strFile : m_options.files)
            if (struct stat st; ::stat(strFile.c_str(), &st) == 0)
                m_inputs.emplace_back(st.st_dev, st.st_ino);
        // Every output stays open until its commit; an extraction of more finds than that
        // commits in rounds, unless a file scanned lies in the folder.
        m_commits.LimitHolds(64);  // the files scanned, the threads, what a save opens
        m_bRounds = !AnyInFolder(m_options.files, m_options.strExtractDir);
        m_commits.SetSyncName(m_options.strExtractDir);
        m_commits.CatchSignals();
    }
    std::vector<std::string> scanned;
    for (const std::string& strFile : m_options.files)
    {
        // A file named twice is scanned once.
        if (std::find(scanned.begin(), scanned.end(), strFile) != scanned.end())
        {
            Message(strFile, "named more than once; scanned once.");
            continue;
        }
        scanned.push_back(strFile);
        ScanFile(strFile);
        if (Stopped())
            return m_commits.Finish(128 + m_commits.Caught());
    }
    if (m_bExtract)
    {
        const int nStatus = PutInPlace();
        return m_commits.Finish(nStatus, nStatus == 2 ? std::string() : Summary(m_options.files.size()));
    }
    return m_commits.Finish(m_bAnyFailed ? 1 : 0, Summary(scanned.size()));
}

void CScanRun::ScanFile(const std::string& strPath)
{
    CScanSource source;
    std::string strCause;
    if (!source.Open(strPath, strCause))
    {
        Message(strPath, AfxFileErrorMessage(strPath.c_str(), strCause.c_str(), FALSE).Str());
        m_bAnyFailed = true;
        return;
    }

    const long nProcessors = ::sysconf(_SC_NPROCESSORS_ONLN);
    ConvScanSettings settings;
    settings.kinds = m_options.kinds;
    settings.nThreads = std::min<unsigned>(
        CONV_SCAN_MAX_THREADS, m_options.nJobs > 0 ? static_cast<unsigned>(m_options.nJobs)
                                                   : static_cast<unsigned>(nProcessors > 0 ? nProcessors : 1));
    std::uint64_t nFound = 0;
    std::string strError;
    bool bOk = false;
    try
    {
        bOk = ScanSource(
            source, settings, m_commits.StopFlag(),
            [&](const ConvScanFind& find) {
                if (find.bNested && !m_options.bNested)
                    return;
                ++nFound;
                if (!m_bExtract)
                {
                    const std::string strLine = FindLine(strPath, find, m_options.bJson);
                    m_commits.Progress().Clear();
                    ConvPut(m_pOut, strLine);
                    return;
                }
                Extract(strPath, source, find);
            },
            [&](std::uint64_t nDone) {
                m_commits.Progress().Update([&] {
                    const std::uint64_t nSize = source.Size();
                    return ConvFormat("vellumconv: scanning %s: %.0f%% of %s, %llu found", EscapeControls(strPath).c_str(),
                                      nSize > 0 ? 100.0 * static_cast<double>(nDone) / static_cast<double>(nSize) : 100.0,
                                      Amount(nSize).c_str(), static_cast<unsigned long long>(m_nFound + nFound));
                });
            },
            strError);
    }
    catch (const std::bad_alloc&)
    {
        strError = "not enough memory.";
    }
    catch (const std::exception& e)
    {
        strError = e.what();
    }
    ConvFlush(m_pOut);
    m_nFound += nFound;
    m_nBytes += source.Size();
    if (!bOk)
    {
        Message(strPath, strError);
        m_bAnyFailed = true;
    }
    else if (source.Changed())
    {
        Message(strPath, "the file changed while it was scanned; scan it again.");
        m_bAnyFailed = true;
    }
}

bool CScanRun::WriteOutput(const std::string& strTarget, const std::uint8_t* p, std::size_t n, const CScanSource* pSource,
                           const ConvScanFind* pFind)
{
    struct stat st;
    if (::stat(strTarget.c_str(), &st) == 0 &&
        std::find(m_inputs.begin(), m_inputs.end(), std::make_pair(st.st_dev, st.st_ino)) != m_inputs.end())
    {
        m_strInputReplaced = strTarget;
        return false;
    }
    CSafeSaveFile file;
    CFileException fe;
    if (!m_commits.Open(file, strTarget, &fe))
    {
        Message(strTarget, AfxFileErrorMessage(strTarget.c_str(), fe.GetCauseText(), TRUE).Str());
        return false;
    }
    try
    {
        if (pSource != nullptr)
        {
            // The item's own bytes, a piece at a time, without the sector bytes of a CD image.
            const bool bWhole = pSource->ItemBytes(pFind->nFile, pFind->item.nLength, std::uint64_t{1} << 20,
                                                   [&](const std::uint8_t* pPiece, std::size_t nPiece) {
                                                       file.GetFile().Write(pPiece, static_cast<std::uint32_t>(nPiece));
                                                   });
            if (!bWhole)
            {
                Message(strTarget, "the item's bytes cannot be read again.");
                return false;
            }
        }
        else
        {
            file.GetFile().Write(p, static_cast<std::uint32_t>(n));
        }
        file.Commit();
    }
    catch (const CFileException& e)
    {
        Message(strTarget, AfxFileErrorMessage(strTarget.c_str(), e.GetCauseText(), TRUE).Str());
        return false;
    }
    return true;
}

void CScanRun::Extract(const std::string& strPath, const CScanSource& source, const ConvScanFind& find)
{
    const std::string strStem = ConvJoinPath(m_options.strExtractDir, ConvBaseName(strPath) + "@" + std::to_string(find.nFile));
    const std::size_t nItem = m_commits.NewItem(strStem);
    bool bOk = true;
    try
    {
        if (!m_options.bPng)
        {
            bOk = WriteOutput(strStem + ScanKindExtension(find.item.kind), nullptr, 0, &source, &find);
        }
        else
        {
            std::vector<std::uint8_t> item;
            item.reserve(static_cast<std::size_t>(find.item.nLength));
            if (!source.ItemBytes(find.nFile, find.item.nLength, find.item.nLength,
                                  [&](const std::uint8_t* p, std::size_t n) { item.insert(item.end(), p, p + n); }))
            {
                Message(strStem, "the item's bytes cannot be read again.");
                bOk = false;
            }
            // --clut all: one PNG per CLUT row of an indexed TIM; other items have one picture.
            const bool bRows = m_options.bClutAll && find.item.kind == SCAN_TIM && find.item.nCluts > 0;
            // A texture without a CLUT has no rows to choose: it shows in --palette's colours,
            // else in greys. Finds with colours of their own keep them.
            const bool bNoClut = find.item.kind == SCAN_TIM && find.item.nDepth <= 8 && find.item.nCluts == 0;
            const std::uint32_t nFirst = m_options.bClutAll || bNoClut ? 0 : m_options.nClut;
            const std::uint32_t nLast = bRows ? find.item.nCluts - 1 : nFirst;
            for (std::uint32_t nRow = nFirst; bOk && nRow <= nLast; ++nRow)
            {
                const std::string strTarget = bRows ? strStem + "-c" + std::to_string(nRow) + ".png" : strStem + ".png";
                ExportOptions opt;
                opt.nClut = nRow;
                if (bNoClut)
                    opt.pPalette = m_options.pPalette;
                std::vector<std::uint8_t> png;
                std::string strError, strNote;
                if (!ExportToPng(item.data(), item.size(), opt, png, strError, &strNote))
                {
                    Message(strTarget, strError);
                    bOk = false;
                    break;
                }
                if (!strNote.empty() && !m_bGreysTold)
                {
                    Message(m_options.strExtractDir,
                            "finds without a CLUT keep their colours in other files; they are written in greys "
                            "('--palette SOURCE[:ROW]' takes the colours from there).");
                    m_bGreysTold = true;
                }
                bOk = WriteOutput(strTarget, png.data(), png.size(), nullptr, nullptr);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        Message(strStem, "not enough memory.");
        bOk = false;
    }
    // This find's saves are committed together, or not at all; the finds before it keep theirs.
    if (bOk)
        m_commits.Hold(nItem, FindLine(strPath, find, m_options.bJson));
    else
    {
        m_commits.Fail(nItem);
        m_bAnyFailed = true;
    }
    if (m_bRounds && m_strInputReplaced.empty())
        m_commits.CommitIfFull();  // a signal is seen by the scan, which stops
}

int CScanRun::PutInPlace()
{
    if (!m_strInputReplaced.empty())
    {
        m_commits.Progress().Clear();
        ConvPrint(m_pErr, "vellumconv: '%s' is one of the files scanned; nothing %s extracted\n"
                          "Try 'vellumconv scan --help'.\n",
                  EscapeControls(m_strInputReplaced).c_str(), m_commits.InPlaceCount() == 0 ? "was" : "more was");
        return 2;
    }
    if (!m_commits.CommitHeld())
        return 128 + m_commits.Caught();
    return m_bAnyFailed || m_commits.AnyFailed() ? 1 : 0;
}

}  // namespace

int RunConvScan(const ConvScanOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    return CScanRun(options, pOut, pErr).Run();
}
