#include "tools/vellumconv/ConvReplace.h"

#include "exchange/Exchange.h"
#include "exchange/ImportLike.h"
#include "formats/CdImage.h"
#include "formats/CdSector.h"
#include "formats/Scan.h"
#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvCommit.h"
#include "tools/vellumconv/ConvInput.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvPlan.h"
#include "tools/vellumconv/ConvScanFile.h"
#include "tools/vellumconv/ConvText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace
{

// Items longer than these are not put back: the scan does not report longer ones in a CD
// image, and each is held in memory a few times over while it is merged.
constexpr std::uint64_t kMaxCdItem = std::uint64_t{16} << 20;
constexpr std::uint64_t kMaxItem = std::uint64_t{256} << 20;
// The first read at a candidate; a check that needs more says how much.
constexpr std::uint64_t kFirstLook = 64 * 1024;

// One file to put in, and where.
struct NewFile
{
    std::string strPath;
    std::uint64_t nOffset = 0;
    bool bRow = false;  // the name says the CLUT row (NAME@OFFSET-cN.png)
    std::uint32_t nRow = 0;
    bool bChanged = false;
};

// An item of the container, as scan finds it, and what the NEW files make of it.
struct Item
{
    std::uint64_t nOffset = 0;
    ScanItem item;
    std::vector<std::uint8_t> old;     // its bytes now
    std::vector<std::uint8_t> merged;  // its bytes to be
    std::vector<CdItemPiece> pieces;   // in a CD image, the sectors it spans
    std::vector<std::size_t> news;     // indices of its NEW files
    bool Changed() const { return merged != old; }
};

// The container, read through the patch file when it changes in place, else read only.
struct Container
{
    std::uint64_t nSize = 0;
    bool bCd = false;
    std::function<std::size_t(std::uint8_t*, std::size_t, std::uint64_t)> read;

    // Exactly n bytes at nAt, or false.
    bool ReadExactly(std::uint8_t* p, std::size_t n, std::uint64_t nAt) const
    {
        while (n > 0)
        {
            const std::size_t k = read(p, n, nAt);
            if (k == 0)
                return false;
            p += k;
            n -= k;
            nAt += k;
        }
        return true;
    }
};

class CReplaceRun
{
public:
    CReplaceRun(const ConvReplaceOptions& options, std::FILE* pOut, std::FILE* pErr)
        : m_options(options), m_pOut(pOut), m_pErr(pErr), m_commits(pOut, pErr)
    {
    }
    int Run();

private:
    int Usage(const std::string& strWhy);
    void Message(const std::string& strPath, const std::string& strText);
    bool CollectNewFiles(int& nStatus);
    bool FindItem(const Container& c, std::uint64_t nOffset, Item& item);
    bool Gather(const Container& c, std::uint64_t nFile, std::uint64_t n, std::vector<std::uint8_t>& out,
                bool& bEnd, std::string& strWhy);
    bool MakeNewBytes(const NewFile& nf, const Item& item, std::vector<std::uint8_t>& out);
    bool MergeItems(const Container& c);
    bool PlanWrites(const Container& c);
    int Replace();
    void WriteInPlace(CSafePatchFile& patch, std::size_t nItem);
    void WriteCopy(const Container& c, std::size_t nItem);
    std::string Lines() const;

    const ConvReplaceOptions& m_options;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
    CConvCommits m_commits;  // the one output, its lines, signals and the end of the run
    std::string m_strName;  // the container's own name, which the NEW files' names start with
    std::vector<NewFile> m_news;
    std::vector<Item> m_items;  // in offset order
    // The bytes to write, by offset: each a run of the container's bytes as they will be.
    std::map<std::uint64_t, std::vector<std::uint8_t>> m_writes;
    std::uint64_t m_nSectors = 0;  // CD sectors written, each with its EDC and ECC again
};

int CReplaceRun::Usage(const std::string& strWhy)
{
    ConvPrint(m_pErr, "vellumconv: %s\nTry 'vellumconv replace --help'.\n", EscapeControls(strWhy).c_str());
    return 2;
}

void CReplaceRun::Message(const std::string& strPath, const std::string& strText)
{
    m_commits.Message(strPath, strText);
}

// The NEW files and their offsets, from the names or --at, or from --from DIR.
bool CReplaceRun::CollectNewFiles(int& nStatus)
{
    if (m_options.bAt)
    {
        m_news.push_back({m_options.news[0], m_options.nAt});
        return true;
    }
    if (m_options.strFromDir.empty())
    {
        for (const std::string& strPath : m_options.news)
        {
            ConvExtractedName name;
            if (!ParseExtractedName(ConvBaseName(strPath), name))
            {
                nStatus = Usage("'" + strPath + "' is not named as scan --extract names its files (NAME@OFFSET.EXT); " +
                                "give its offset with --at OFFSET");
                return false;
            }
            if (name.strSource != m_strName)
            {
                nStatus = Usage("'" + strPath + "' was found in '" + name.strSource + "', not in '" + m_strName +
                                "'; give --at OFFSET to put it there anyway");
                return false;
            }
            m_news.push_back({strPath, name.nOffset, name.bRow, name.nRow});
        }
        return true;
    }
    // An extraction folder may hold the finds of other files, and other files too: only the
    // names scan gives this container's finds are taken.
    DIR* pDir = ::opendir(m_options.strFromDir.c_str());
    if (pDir == nullptr)
    {
        Message(m_options.strFromDir, std::string("cannot read the folder: ") + std::strerror(errno) + ".");
        nStatus = 1;
        return false;
    }
    std::vector<std::pair<ConvExtractedName, std::string>> found;
    while (const dirent* pEntry = ::readdir(pDir))
    {
        const std::string strEntry = pEntry->d_name;
        ConvExtractedName name;
        if (strEntry.empty() || strEntry[0] == '.' || !ParseExtractedName(strEntry, name) || name.strSource != m_strName)
            continue;
        found.emplace_back(name, strEntry);
    }
    ::closedir(pDir);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first.nOffset != b.first.nOffset ? a.first.nOffset < b.first.nOffset : a.second < b.second;
    });
    for (const auto& [name, strEntry] : found)
        m_news.push_back({ConvJoinPath(m_options.strFromDir, strEntry), name.nOffset, name.bRow, name.nRow});
    if (m_news.empty())
    {
        Message(m_options.strFromDir, "no file here is named for a find in '" + m_strName + "' (" + m_strName +
                                          "@OFFSET.EXT, as scan --extract names them).");
        nStatus = 1;
        return false;
    }
    return true;
}

// Up to n bytes of the item's stream from nFile: the file's bytes, or in a CD image the
// user data of the sectors that carry some, from the one nFile lies in on. bEnd when the
// stream ended first.
bool CReplaceRun::Gather(const Container& c, std::uint64_t nFile, std::uint64_t n, std::vector<std::uint8_t>& out,
                         bool& bEnd, std::string& strWhy)
{
    out.clear();
    bEnd = false;
    if (!c.bCd)
    {
        const std::uint64_t nHave = nFile < c.nSize ? c.nSize - nFile : 0;
        const std::uint64_t nTake = std::min(n, nHave);
        out.resize(static_cast<std::size_t>(nTake));
        if (!c.ReadExactly(out.data(), out.size(), nFile))
        {
            strWhy = "the file is shorter than it was.";
            return false;
        }
        bEnd = nTake == nHave;
        return true;
    }
    std::uint64_t nSector = nFile / CD_SECTOR_SIZE;
    std::uint32_t nAt = static_cast<std::uint32_t>(nFile % CD_SECTOR_SIZE);
    const std::uint64_t nSectors = c.nSize / CD_SECTOR_SIZE;
    std::uint8_t head[CD_SECTOR_HEADER_SIZE];
    bool bFirst = true;
    while (out.size() < n)
    {
        if (nSector >= nSectors)
        {
            bEnd = true;
            return true;
        }
        if (!c.ReadExactly(head, sizeof head, nSector * CD_SECTOR_SIZE))
        {
            strWhy = "the file is shorter than it was.";
            return false;
        }
        const std::uint32_t nData = CdUserDataAt(head);
        if (bFirst && (nData == 0 || nAt < nData || nAt >= nData + CD_USER_DATA_SIZE))
        {
            strWhy = "is not in the user data of a data sector (Mode 1 or Mode 2 Form 1).";
            return false;
        }
        if (!bFirst)
            nAt = nData;
        bFirst = false;
        if (nData != 0)
        {
            const std::uint64_t nTake = std::min<std::uint64_t>(n - out.size(), nData + CD_USER_DATA_SIZE - nAt);
            const std::size_t nOld = out.size();
            out.resize(nOld + static_cast<std::size_t>(nTake));
            if (!c.ReadExactly(out.data() + nOld, static_cast<std::size_t>(nTake), nSector * CD_SECTOR_SIZE + nAt))
            {
                strWhy = "the file is shorter than it was.";
                return false;
            }
        }
        ++nSector;
    }
    return true;
}

// The item that starts at nOffset, checked as scan checks a candidate, with its bytes.
bool CReplaceRun::FindItem(const Container& c, std::uint64_t nOffset, Item& item)
{
    const std::string strAt = m_options.strContainer + "@" + std::to_string(nOffset);
    const std::uint64_t nMost = c.bCd ? kMaxCdItem : kMaxItem;
    std::uint64_t nWant = kFirstLook;
    std::vector<std::uint8_t> bytes;
    for (;;)
    {
        bool bEnd = false;
        std::string strWhy;
        if (!Gather(c, nOffset, nWant, bytes, bEnd, strWhy))
        {
            Message(strAt, strWhy);
            return false;
        }
        const ScanCheck check = CheckScanCandidate(bytes.data(), bytes.size(), bEnd, SCAN_ALL_KINDS, ScanLimits());
        if (check.verdict == ScanVerdict::Yes && check.item.nLength <= bytes.size())
        {
            item.nOffset = nOffset;
            item.item = check.item;
            bytes.resize(static_cast<std::size_t>(check.item.nLength));
            item.old = std::move(bytes);
            break;
        }
        if (check.verdict == ScanVerdict::Need && !bEnd && check.nNeed > bytes.size())
        {
            if (check.nNeed > nMost)
            {
                Message(strAt, "the item there is longer than replace takes (" + std::to_string(nMost >> 20) + " MiB).");
                return false;
            }
            nWant = check.nNeed;
            continue;
        }
        Message(strAt, "no item that scan finds starts here ('vellumconv scan " + m_options.strContainer +
                           "' lists the items and their offsets).");
        return false;
    }
    if (c.bCd)
    {
        const CdImageReader reader = [&](std::uint8_t* p, std::size_t n, std::uint64_t nAt) { return c.read(p, n, nAt); };
        if (CdItemSectors(reader, c.nSize, nOffset, item.item.nLength, item.pieces) != ECdItem::Ok)
        {
            Message(strAt, "the sectors of the item cannot be read.");
            return false;
        }
    }
    return true;
}

// What one NEW file makes of the item: its bytes in the item's shape.
bool CReplaceRun::MakeNewBytes(const NewFile& nf, const Item& item, std::vector<std::uint8_t>& out)
{
    CConvInput input;
    std::string strMessage;
    if (!input.Read(nf.strPath, ITEM_HEAD_SIZE, strMessage))
    {
        ConvPrint(m_pErr, "vellumconv: %s\n", EscapeControls(strMessage).c_str());
        return false;
    }
    LikeOptions like;
    like.bClut = m_options.bClut || nf.bRow;
    like.nClut = m_options.bClut ? m_options.nClut : nf.nRow;
    like.strOriginalName = ConvBaseName(m_options.strContainer) + "@" + std::to_string(item.nOffset);
    like.strPngName = nf.strPath;
    std::string strError;
    const std::vector<std::uint8_t>& in = input.Data();
    if (input.Kind() == EItemKind::Png)
    {
        if (!ImportLike(item.old.data(), item.old.size(), in.data(), in.size(), like, out, strError))
        {
            Message(nf.strPath, strError);
            return false;
        }
        return true;
    }
    if (input.Kind() == EItemKind::Other)
    {
        Message(nf.strPath, "not a TIM, BMP, BFNT sheet or PNG.");
        return false;
    }
    // An item of exactly the find's shape is its new bytes, all of them: a TIM edited
    // elsewhere may have changed every CLUT row.
    if (input.FileSize() == item.old.size() && in.size() == item.old.size())
    {
        const ScanCheck check = CheckScanCandidate(in.data(), in.size(), true, SCAN_ALL_KINDS, ScanLimits());
        const ScanItem& a = check.item;
        const ScanItem& b = item.item;
        if (check.verdict == ScanVerdict::Yes && a.kind == b.kind && a.nLength == b.nLength && a.nWidth == b.nWidth &&
            a.nHeight == b.nHeight && a.nDepth == b.nDepth && a.nCluts == b.nCluts)
        {
            out = in;
            return true;
        }
    }
    // Another shape gives its picture, which goes in as an exported one would.
    ExportOptions exportOptions;
    exportOptions.nClut = like.nClut;
    exportOptions.nFileSize = input.FileSize();
    std::vector<std::uint8_t> png;
    if (!ExportToPng(in.data(), in.size(), exportOptions, png, strError))
    {
        Message(nf.strPath, strError);
        return false;
    }
    if (!ImportLike(item.old.data(), item.old.size(), png.data(), png.size(), like, out, strError))
    {
        Message(nf.strPath, strError);
        return false;
    }
    return true;
}

// Every item's new bytes: each NEW file's merge into the old bytes, and where several files
// are one item's (the rows of --clut all), the bytes each of them changes.
bool CReplaceRun::MergeItems(const Container& c)
{
    std::map<std::uint64_t, std::size_t> byOffset;
    for (std::size_t i = 0; i < m_news.size(); ++i)
    {
        auto [it, bNew] = byOffset.emplace(m_news[i].nOffset, m_items.size());
        if (bNew)
        {
            Item item;
            if (!FindItem(c, m_news[i].nOffset, item))
                return false;
            item.merged = item.old;
            m_items.push_back(std::move(item));
        }
        m_items[it->second].news.push_back(i);
    }
    std::sort(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) { return a.nOffset < b.nOffset; });
    bool bOk = true;
    for (Item& item : m_items)
    {
        const NewFile* pFirstChanger = nullptr;
        for (const std::size_t i : item.news)
        {
            NewFile& nf = m_news[i];
            std::vector<std::uint8_t> out;
            if (!MakeNewBytes(nf, item, out))
            {
                bOk = false;
                continue;
            }
            nf.bChanged = out != item.old;
            if (!nf.bChanged)
                continue;
            for (std::size_t k = 0; k < out.size(); ++k)
            {
                if (out[k] == item.old[k] || out[k] == item.merged[k])
                    continue;
                if (item.merged[k] != item.old[k])
                {
                    Message(nf.strPath, "changes byte " + std::to_string(k) + " of the item otherwise than " +
                                            pFirstChanger->strPath + " does; put them back one at a time.");
                    bOk = false;
                    break;
                }
                item.merged[k] = out[k];
            }
            if (pFirstChanger == nullptr)
                pFirstChanger = &nf;
        }
    }
    if (!bOk)
        return false;
    // Two changed items that share bytes would each undo part of the other.
    const Item* pLast = nullptr;
    for (const Item& item : m_items)
    {
        if (!item.Changed())
            continue;
        if (pLast != nullptr && item.nOffset < pLast->nOffset + pLast->item.nLength)
        {
            Message(m_options.strContainer, "the item at " + std::to_string(item.nOffset) + " lies inside the one at " +
                                                std::to_string(pLast->nOffset) + "; put them back one at a time.");
            return false;
        }
        pLast = &item;
    }
    return true;
}

// The runs of bytes to write: in a plain file the span of each item that changed, in a CD
// image each sector whose user data changed, with its EDC and ECC computed again.
bool CReplaceRun::PlanWrites(const Container& c)
{
    if (!c.bCd)
    {
        for (const Item& item : m_items)
        {
            if (!item.Changed())
                continue;
            std::size_t nFirst = 0, nEnd = item.old.size();
            while (item.old[nFirst] == item.merged[nFirst])
                ++nFirst;
            while (item.old[nEnd - 1] == item.merged[nEnd - 1])
                --nEnd;
            m_writes.emplace(item.nOffset + nFirst,
                             std::vector<std::uint8_t>(item.merged.begin() + static_cast<std::ptrdiff_t>(nFirst),
                                                       item.merged.begin() + static_cast<std::ptrdiff_t>(nEnd)));
        }
        return true;
    }
    // Sectors as they will be, and as they were; items may share a sector.
    std::map<std::uint64_t, std::vector<std::uint8_t>> sectors, originals;
    for (const Item& item : m_items)
    {
        if (!item.Changed())
            continue;
        std::vector<std::uint8_t> before;
        before.reserve(item.pieces.size() * CD_SECTOR_SIZE);
        for (const CdItemPiece& piece : item.pieces)
        {
            auto it = sectors.find(piece.nSector);
            if (it == sectors.end())
            {
                std::vector<std::uint8_t> sector(CD_SECTOR_SIZE);
                if (!c.ReadExactly(sector.data(), sector.size(), piece.nSector * CD_SECTOR_SIZE))
                {
                    Message(m_options.strContainer, "the file is shorter than it was.");
                    return false;
                }
                originals.emplace(piece.nSector, sector);
                it = sectors.emplace(piece.nSector, std::move(sector)).first;
            }
            before.insert(before.end(), it->second.begin(), it->second.end());
        }
        std::vector<std::uint8_t> after;
        if (PatchCdSectors(item.pieces, before, item.merged, after) != ECdItem::Ok)
        {
            Message(m_options.strContainer + "@" + std::to_string(item.nOffset),
                    "a sector of the item is not the one it was.");
            return false;
        }
        // A sector whose share of the item stays as it was keeps every byte, its EDC and
        // ECC too, whatever they hold.
        std::uint64_t nAt = 0;
        for (std::size_t i = 0; i < item.pieces.size(); ++i)
        {
            const CdItemPiece& piece = item.pieces[i];
            const auto first = static_cast<std::ptrdiff_t>(nAt);
            const auto last = static_cast<std::ptrdiff_t>(nAt + piece.nCount);
            nAt += piece.nCount;
            if (!std::equal(item.old.begin() + first, item.old.begin() + last, item.merged.begin() + first))
                std::copy_n(after.begin() + static_cast<std::ptrdiff_t>(i * CD_SECTOR_SIZE), CD_SECTOR_SIZE,
                            sectors[piece.nSector].begin());
        }
    }
    for (auto& [nSector, bytes] : sectors)
        if (bytes != originals[nSector])
        {
            m_writes.emplace(nSector * CD_SECTOR_SIZE, std::move(bytes));
            ++m_nSectors;
        }
    return true;
}

std::string CReplaceRun::Lines() const
{
    std::string strLines;
    for (const NewFile& nf : m_news)
        strLines += std::to_string(nf.nOffset) + "\t" + EscapeControls(nf.strPath) + "\t" +
                    (nf.bChanged ? "replaced" : "unchanged") + "\n";
    return strLines;
}

// The container in place: every run of bytes, under the patch file's journal. A signal
// caught until then leaves the container as it was.
void CReplaceRun::WriteInPlace(CSafePatchFile& patch, std::size_t nItem)
{
    if (m_commits.Caught() != 0)
    {
        patch.Abort();
        m_commits.Fail(nItem);
        return;
    }
    try
    {
        for (const auto& [nAt, bytes] : m_writes)
            patch.Write(nAt, bytes.data(), bytes.size());
        patch.Commit();
    }
    catch (const CFileException& e)
    {
        patch.Abort();
        Message(m_options.strContainer, AfxFileErrorMessage(m_options.strContainer.c_str(), e.GetCauseText(), TRUE).Str());
        m_commits.Fail(nItem);
        return;
    }
    m_commits.Placed(nItem, Lines());
}

// A changed copy: the container's bytes with the runs in their places, through the ordinary
// safe save.
void CReplaceRun::WriteCopy(const Container& c, std::size_t nItem)
{
    m_commits.SaveAlone(
        nItem, m_options.strOutput,
        [&](CFile& out) {
            constexpr std::size_t kPiece = std::size_t{1} << 20;
            std::vector<std::uint8_t> piece(kPiece);
            auto next = m_writes.begin();
            for (std::uint64_t nAt = 0; nAt < c.nSize;)
            {
                if (next != m_writes.end() && next->first == nAt)
                {
                    out.Write(next->second.data(), static_cast<std::uint32_t>(next->second.size()));
                    nAt += next->second.size();
                    ++next;
                    continue;
                }
                const std::uint64_t nStop = next != m_writes.end() ? next->first : c.nSize;
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, nStop - nAt));
                if (!c.ReadExactly(piece.data(), n, nAt))
                {
                    CFileException e = CFileException::FromErrno(EIO, m_options.strOutput.c_str());
                    e.m_strCause = (m_options.strContainer + " is shorter than it was").c_str();
                    throw e;
                }
                out.Write(piece.data(), static_cast<std::uint32_t>(n));
                nAt += n;
            }
        },
        Lines());
}

int CReplaceRun::Run()
{
    m_commits.CatchSignals();
    return m_commits.Finish(Replace());
}

int CReplaceRun::Replace()
{
    m_strName = ConvBaseName(m_options.strContainer);
    const bool bInPlace = m_options.strOutput.empty() && !m_options.bDryRun;
    if (!m_options.strOutput.empty() && SameFile(m_options.strContainer, m_options.strOutput))
        return Usage("'" + m_options.strOutput + "' is CONTAINER; without --output the container is changed in place");
    int nStatus = 0;
    if (!CollectNewFiles(nStatus))
        return nStatus;
    for (const NewFile& nf : m_news)
    {
        if (SameFile(nf.strPath, m_options.strContainer))
            return Usage("'" + nf.strPath + "' is CONTAINER itself");
        if (!m_options.strOutput.empty() && SameFile(nf.strPath, m_options.strOutput))
            return Usage("'" + nf.strPath + "' would be written over by --output; name another NEW_CONTAINER");
    }
    // A run killed while it wrote left its journal: its old bytes go back before anything is
    // read, so that no run, a dry one included, sees a container half changed.
    CSafeSaveFile::RemoveDeadTemporaries({m_options.strContainer});

    CSafePatchFile patch;
    CScanSource source;
    Container c;
    if (bInPlace)
    {
        CFileException fe;
        if (!patch.Open(m_options.strContainer.c_str(), &fe))
        {
            Message(m_options.strContainer,
                    AfxFileErrorMessage(m_options.strContainer.c_str(), fe.GetCauseText(), TRUE).Str());
            return 1;
        }
        c.nSize = patch.GetLength();
        c.read = [&](std::uint8_t* p, std::size_t n, std::uint64_t nAt) { return patch.Read(p, n, nAt); };
    }
    else
    {
        std::string strCause;
        if (!source.Open(m_options.strContainer, strCause))
        {
            Message(m_options.strContainer,
                    AfxFileErrorMessage(m_options.strContainer.c_str(), strCause.c_str(), FALSE).Str());
            return 1;
        }
        c.nSize = source.Size();
        c.read = [&](std::uint8_t* p, std::size_t n, std::uint64_t nAt) { return source.Read(p, n, nAt); };
    }
    try
    {
        std::vector<std::uint8_t> first(static_cast<std::size_t>(std::min<std::uint64_t>(c.nSize, CD_SECTOR_SIZE)));
        if (!c.ReadExactly(first.data(), first.size(), 0))
        {
            Message(m_options.strContainer, "the file is shorter than it was.");
            return 1;
        }
        c.bCd = IsRawCdImage(first.data(), first.size(), c.nSize);
        if (!MergeItems(c) || !PlanWrites(c))
            return 1;
    }
    catch (const CFileException& e)
    {
        Message(m_options.strContainer, AfxFileErrorMessage(m_options.strContainer.c_str(), e.GetCauseText(), FALSE).Str());
        return 1;
    }
    catch (const std::bad_alloc&)
    {
        Message(m_options.strContainer, "not enough memory.");
        return 1;
    }
    if (m_commits.Caught() != 0)
        return 1;  // Finish gives 128 + the signal

    std::uint64_t nBytes = 0;
    for (const auto& entry : m_writes)
        nBytes += entry.second.size();
    if (m_options.bDryRun)
    {
        ConvPut(m_pOut, Lines());
        ConvFlush(m_pOut);
        const std::size_t nChanged = static_cast<std::size_t>(
            std::count_if(m_items.begin(), m_items.end(), [](const Item& item) { return item.Changed(); }));
        std::string strWhat = std::to_string(nChanged) + " of " + std::to_string(m_items.size()) +
                              (m_items.size() == 1 ? " item" : " items") + " would change: " + std::to_string(nBytes) +
                              " bytes";
        if (c.bCd)
            strWhat += " in " + std::to_string(m_nSectors) + (m_nSectors == 1 ? " sector" : " sectors") +
                       ", each with its EDC and ECC again";
        Message(m_options.strContainer, "dry run: " + strWhat + "; nothing was written.");
        return 0;
    }
    const std::size_t nItem =
        m_commits.NewItem(m_options.strContainer, bInPlace ? m_options.strContainer : m_options.strOutput);
    if (!bInPlace)
        WriteCopy(c, nItem);
    else if (!m_writes.empty())
        WriteInPlace(patch, nItem);
    else
    {
        patch.Abort();
        m_commits.Placed(nItem, Lines());  // nothing differs: the container is as it should be
    }
    return m_commits.AnyFailed() ? 1 : 0;
}

}  // namespace

int RunConvReplace(const ConvReplaceOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    try
    {
        return CReplaceRun(options, pOut, pErr).Run();
    }
    catch (const std::bad_alloc&)
    {
        ConvPut(pErr, "vellumconv: not enough memory.\n");
        return 1;
    }
}
