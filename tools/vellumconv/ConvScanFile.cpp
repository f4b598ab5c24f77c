#include "tools/vellumconv/ConvScanFile.h"

#include "formats/CdImage.h"
#include "framework/AfxFile.h"
#include "tools/vellumconv/ConvStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

constexpr std::uint64_t kPage = 4096;
// Plain files: ranges are multiples of this; a window is read with a little more after it, so
// that the header of a candidate near its end is there too, and stays in the core's cache
// while it is searched.
constexpr std::uint64_t kRangeUnit = std::uint64_t{64} << 10;
constexpr std::uint64_t kMaxRange = std::uint64_t{32} << 20;
constexpr std::uint64_t kWindow = std::uint64_t{128} << 10;
constexpr std::uint64_t kMargin = std::uint64_t{4} << 10;
// CD images, in sectors: a window's user data is 128 KiB at most, and a few sectors after it
// are read too.
constexpr std::uint64_t kCdRangeUnit = 256;
constexpr std::uint64_t kCdMaxRange = 16384;
constexpr std::uint64_t kCdWindow = 64;
constexpr std::uint64_t kCdMarginSectors = 3;
// Gathering more than this for one check waits for the other threads' large checks.
constexpr std::uint64_t kLargeGather = std::uint64_t{1} << 20;

// ---- A file cut while it is mapped ---------------------------------------------------
// Reading a mapped page past the end of a file that was cut raises SIGBUS. The handler maps
// a page of zeros there and notes it, so the scan ends and the file is reported as changed
// instead of the program dying.

std::atomic<std::uintptr_t> g_mapBegin{0};
std::atomic<std::uintptr_t> g_mapEnd{0};
std::atomic<bool> g_bBusFault{false};
struct sigaction g_oldBusAction = {};
std::once_flag g_busHandlerOnce;

void OnBusFault(int, siginfo_t* pInfo, void*)
{
    const auto addr = reinterpret_cast<std::uintptr_t>(pInfo->si_addr);
    if (addr >= g_mapBegin.load() && addr < g_mapEnd.load())
    {
        void* pPage = reinterpret_cast<void*>(addr & ~std::uintptr_t{kPage - 1});
        if (::mmap(pPage, kPage, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED)
        {
            g_bBusFault.store(true);
            return;
        }
    }
    // Not ours: the fault happens again under the earlier action.
    ::sigaction(SIGBUS, &g_oldBusAction, nullptr);
}

void InstallBusHandler()
{
    std::call_once(g_busHandlerOnce, [] {
        struct sigaction action = {};
        action.sa_sigaction = &OnBusFault;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_oldBusAction);
    });
}

std::uint64_t RoundUp(std::uint64_t n, std::uint64_t unit)
{
    return (n + unit - 1) / unit * unit;
}

}  // namespace

// ---- The source ----------------------------------------------------------------------

CScanSource::~CScanSource()
{
    Close();
}

bool CScanSource::Open(const std::string& strName, std::string& strCause)
{
    Close();
    // A stream is scanned in its copy, as a file.
    std::string strPath;
    if (!ConvReadPath(strName, strPath, strCause))
        return false;
    // A FIFO or a device is refused before it is opened, and the open cannot wait for a
    // writer; the descriptor's own type is what counts.
    struct stat st;
    auto refuse = [&](int nError) {
        strCause = nError == EINVAL ? CFileException::NotRegular(static_cast<unsigned>(st.st_mode), strPath.c_str())
                                          .GetCauseText()
                                          .Str()
                                    : std::string(std::strerror(nError));
        return false;
    };
    if (::stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return refuse(EINVAL);
    int fd;
    do
        fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return refuse(errno);
    const bool bStat = ::fstat(fd, &st) == 0;
    if (!bStat || !S_ISREG(st.st_mode))
    {
        const int nError = !bStat ? errno : (S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return refuse(nError);
    }
    m_fd = fd;
    m_nSize = static_cast<std::uint64_t>(st.st_size);
    if (m_nSize == 0)
        return true;
    void* p = ::mmap(nullptr, static_cast<std::size_t>(m_nSize), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED)
    {
        const int nError = errno;
        Close();
        return refuse(nError);
    }
    m_pData = static_cast<std::uint8_t*>(p);
    InstallBusHandler();
    g_bBusFault.store(false);
    g_mapBegin.store(reinterpret_cast<std::uintptr_t>(m_pData));
    g_mapEnd.store(reinterpret_cast<std::uintptr_t>(m_pData) + m_nSize);
    m_bCd = IsRawCdImage(m_pData, static_cast<std::size_t>(std::min<std::uint64_t>(m_nSize, CD_SECTOR_SIZE)), m_nSize);
    return true;
}

void CScanSource::Close()
{
    if (m_pData != nullptr)
    {
        g_mapBegin.store(0);
        g_mapEnd.store(0);
        ::munmap(m_pData, static_cast<std::size_t>(m_nSize));
        m_pData = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_nSize = 0;
    m_bCd = false;
}

void CScanSource::Release(std::uint64_t nFrom, std::uint64_t nTo) const
{
    nFrom = nFrom / kPage * kPage;
    nTo = std::min(RoundUp(nTo, kPage), RoundUp(m_nSize, kPage));
    if (m_pData != nullptr && nFrom < nTo)
        ::madvise(m_pData + nFrom, static_cast<std::size_t>(nTo - nFrom), MADV_DONTNEED);
}

std::size_t CScanSource::Read(std::uint8_t* p, std::size_t n, std::uint64_t nOffset) const
{
    std::size_t nDone = 0;
    while (nDone < n)
    {
        const ssize_t nGot = ::pread(m_fd, p + nDone, n - nDone, static_cast<off_t>(nOffset + nDone));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot <= 0)
        {
            g_bBusFault.store(true);  // the file is shorter than it was: report it as changed
            break;
        }
        nDone += static_cast<std::size_t>(nGot);
    }
    return nDone;
}

bool CScanSource::Changed() const
{
    struct stat st;
    return g_bBusFault.load() || (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) != m_nSize);
}

std::uint64_t CScanSource::Gather(std::uint64_t nSector, std::uint32_t nOffset, std::uint64_t n,
                                  std::vector<std::uint8_t>& out) const
{
    std::uint64_t nGot = 0;
    std::uint64_t s = nSector;
    for (; s < Sectors() && nGot < n; ++s)
    {
        const std::uint8_t* pSector = m_pData + s * CD_SECTOR_SIZE;
        const std::uint32_t nAt = CdUserDataAt(pSector);
        if (nAt == 0)
            continue;
        const std::uint32_t nSkip = s == nSector ? nOffset : 0;
        const std::uint64_t nTake = std::min<std::uint64_t>(CD_USER_DATA_SIZE - nSkip, n - nGot);
        out.insert(out.end(), pSector + nAt + nSkip, pSector + nAt + nSkip + nTake);
        nGot += nTake;
    }
    Release(nSector * CD_SECTOR_SIZE, s * CD_SECTOR_SIZE);
    return nGot;
}

bool CScanSource::ItemBytes(std::uint64_t nFile, std::uint64_t nLength, std::uint64_t nPiece,
                            const std::function<void(const std::uint8_t*, std::size_t)>& fnPiece) const
{
    if (!m_bCd)
    {
        if (nFile > m_nSize || nLength > m_nSize - nFile)
            return false;
        for (std::uint64_t nDone = 0; nDone < nLength;)
        {
            const std::uint64_t n = std::min(nPiece, nLength - nDone);
            fnPiece(m_pData + nFile + nDone, static_cast<std::size_t>(n));
            Release(nFile + nDone, nFile + nDone + n);
            nDone += n;
        }
        return true;
    }
    std::uint64_t nSector = nFile / CD_SECTOR_SIZE;
    const std::uint32_t nAt = nSector < Sectors() ? CdUserDataAt(m_pData + nSector * CD_SECTOR_SIZE) : 0;
    const std::uint64_t nInSector = nFile % CD_SECTOR_SIZE;
    if (nAt == 0 || nInSector < nAt || nInSector >= nAt + CD_USER_DATA_SIZE)
        return false;
    std::uint32_t nOffset = static_cast<std::uint32_t>(nInSector - nAt);
    std::vector<std::uint8_t> piece;
    for (std::uint64_t nDone = 0; nDone < nLength;)
    {
        piece.clear();
        const std::uint64_t nWant = std::min(nPiece, nLength - nDone);
        if (Gather(nSector, nOffset, nWant, piece) != nWant)
            return false;
        fnPiece(piece.data(), piece.size());
        nDone += nWant;
        // Where the next piece starts: skip the sectors this one used.
        for (std::uint64_t nLeft = nWant; nLeft > 0 && nSector < Sectors();)
        {
            if (CdUserDataAt(m_pData + nSector * CD_SECTOR_SIZE) == 0)
            {
                ++nSector;
                continue;
            }
            const std::uint64_t nHere = std::min<std::uint64_t>(CD_USER_DATA_SIZE - nOffset, nLeft);
            nLeft -= nHere;
            nOffset += static_cast<std::uint32_t>(nHere);
            if (nOffset == CD_USER_DATA_SIZE)
            {
                nOffset = 0;
                ++nSector;
            }
        }
    }
    return true;
}

// ---- The scan ------------------------------------------------------------------------

namespace
{

struct RangeResult
{
    std::vector<ConvScanFind> finds;  // nStream counted from the range's first byte of stream
    std::uint64_t nStreamBytes = 0;
    bool bDone = false;
};

// One file's scan: the ranges, the threads that take them, and the hand-over in order.
class CSourceScan
{
public:
    CSourceScan(const CScanSource& source, const ConvScanSettings& settings, const std::atomic<bool>& bStop)
        : m_source(source), m_settings(settings), m_bStop(bStop)
    {
        m_limits.pHeavyLock = &m_heavyLock;
        const std::uint64_t nThreads = std::max(1u, settings.nThreads);
        if (source.IsCd())
        {
            m_nUnits = source.Sectors();
            m_nRange = std::clamp(RoundUp(m_nUnits / (4 * nThreads), kCdRangeUnit), kCdRangeUnit, kCdMaxRange);
        }
        else
        {
            m_nUnits = source.Size();
            m_nRange = std::clamp(RoundUp(m_nUnits / (4 * nThreads), kRangeUnit), kRangeUnit, kMaxRange);
        }
        m_ranges.resize(static_cast<std::size_t>((m_nUnits + m_nRange - 1) / m_nRange));
    }

    bool Run(const std::function<void(const ConvScanFind&)>& onFind, const std::function<void(std::uint64_t)>& onTick,
             std::string& strError);

private:
    void Work();
    void ScanPlain(std::uint64_t nFrom, std::uint64_t nTo, RangeResult& out, std::vector<std::uint8_t>& buffer);
    void ScanCd(std::uint64_t nFrom, std::uint64_t nTo, RangeResult& out, std::vector<std::uint8_t>& raw,
                std::vector<std::uint8_t>& window, std::vector<std::uint8_t>& gathered);
    bool Stopping() const { return m_bStop.load() || m_bFailed.load(); }

    const CScanSource& m_source;
    const ConvScanSettings& m_settings;
    const std::atomic<bool>& m_bStop;
    ScanLimits m_limits;
    std::mutex m_heavyLock;
    std::uint64_t m_nUnits = 0;  // bytes, or sectors of a CD image
    std::uint64_t m_nRange = 0;
    std::vector<RangeResult> m_ranges;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::size_t m_nNext = 0;     // the next range a thread takes
    std::size_t m_nHanded = 0;   // ranges whose finds went to onFind
    std::size_t m_nAhead = 0;    // how far threads may run ahead of the hand-over
    std::atomic<std::uint64_t> m_nSearched{0};
    std::atomic<bool> m_bFailed{false};
};

void CSourceScan::ScanPlain(std::uint64_t nFrom, std::uint64_t nTo, RangeResult& out, std::vector<std::uint8_t>& buffer)
{
    const std::uint8_t* const pBase = m_source.Data();
    const std::uint64_t nSize = m_source.Size();
    buffer.resize(static_cast<std::size_t>(kWindow + kMargin));
    std::size_t nKept = 0;  // the last window's margin, which starts this one
    for (std::uint64_t nWin = nFrom; nWin < nTo && !Stopping(); nWin += kWindow)
    {
        const std::uint64_t nWinEnd = std::min(nTo, nWin + kWindow);
        const std::uint64_t nWant = std::min(nSize, nWinEnd + kMargin) - nWin;
        if (nKept > nWant)
            nKept = 0;
        std::memmove(buffer.data(), buffer.data() + kWindow, nKept);
        const std::size_t nRead =
            nKept + m_source.Read(buffer.data() + nKept, static_cast<std::size_t>(nWant) - nKept, nWin + nKept);
        nKept = nRead == nWant && nRead > kWindow ? nRead - static_cast<std::size_t>(kWindow) : 0;
        const bool bAllRead = nWin + nRead == nSize;
        const std::uint8_t* const pBuf = buffer.data();
        // One byte past the window, so a signature in its last byte is seen whole.
        const std::uint8_t* const pEnd = pBuf + std::min<std::uint64_t>(nRead, nWinEnd - nWin + 1);
        for (const std::uint8_t* q = pBuf;; ++q)
        {
            q = FindScanCandidate(q, pEnd, pBuf + nRead);
            if (pEnd - q < 2)
                break;
            const std::uint64_t i = static_cast<std::uint64_t>(q - pBuf);
            const std::uint64_t nPos = nWin + i;
            ScanCheck check = CheckScanCandidate(q, static_cast<std::size_t>(nRead - i), bAllRead, m_settings.kinds, m_limits);
            if (check.verdict == ScanVerdict::Need && nRead == nWant)
            {
                // The rest of the file is in the mapping; its pages go again once read.
                check = CheckScanCandidate(pBase + nPos, static_cast<std::size_t>(nSize - nPos), true, m_settings.kinds,
                                           m_limits);
                m_source.Release(nPos, nPos + std::max<std::uint64_t>(check.nReach, 1));
            }
            if (check.verdict == ScanVerdict::Yes)
                out.finds.push_back(ConvScanFind{nPos - nFrom, nPos, check.item, false});
        }
        m_nSearched += nWinEnd - nWin;
    }
    out.nStreamBytes = nTo - nFrom;
}

void CSourceScan::ScanCd(std::uint64_t nFrom, std::uint64_t nTo, RangeResult& out, std::vector<std::uint8_t>& raw,
                         std::vector<std::uint8_t>& window, std::vector<std::uint8_t>& gathered)
{
    const std::uint64_t nSectors = m_source.Sectors();
    std::vector<std::uint64_t> sectorOf;  // the sector of each 2048 bytes of the window
    std::vector<std::uint32_t> dataAt;
    ScanLimits unlocked = m_limits;
    unlocked.pHeavyLock = nullptr;
    raw.resize(static_cast<std::size_t>((kCdWindow + kCdMarginSectors) * CD_SECTOR_SIZE));
    std::uint64_t nStream = 0;
    for (std::uint64_t nWin = nFrom; nWin < nTo && !Stopping(); nWin += kCdWindow)
    {
        const std::uint64_t nWinEnd = std::min(nTo, nWin + kCdWindow);
        const std::uint64_t nRawEnd = std::min(nSectors, nWinEnd + kCdMarginSectors);
        const std::size_t nWant = static_cast<std::size_t>((nRawEnd - nWin) * CD_SECTOR_SIZE);
        const std::size_t nRead = m_source.Read(raw.data(), nWant, nWin * CD_SECTOR_SIZE);
        // The user data of the window's sectors, then of the few after it.
        window.clear();
        sectorOf.clear();
        dataAt.clear();
        std::uint64_t nOwn = 0;
        for (std::uint64_t s = nWin; s < nRawEnd && (s - nWin + 1) * CD_SECTOR_SIZE <= nRead; ++s)
        {
            const std::uint8_t* pSector = raw.data() + (s - nWin) * CD_SECTOR_SIZE;
            const std::uint32_t nAt = CdUserDataAt(pSector);
            if (nAt == 0)
                continue;
            window.insert(window.end(), pSector + nAt, pSector + nAt + CD_USER_DATA_SIZE);
            if (s < nWinEnd)
            {
                sectorOf.push_back(s);
                dataAt.push_back(nAt);
                nOwn = window.size();
            }
        }
        const bool bAllInWindow = nRawEnd == nSectors && nRead == nWant;
        const std::uint8_t* const pWin = window.data();
        const std::uint8_t* const pEnd = pWin + std::min<std::uint64_t>(window.size(), nOwn + 1);
        for (const std::uint8_t* q = pWin; nOwn > 0; ++q)
        {
            q = FindScanCandidate(q, pEnd, pWin + window.size());
            if (pEnd - q < 2)
                break;
            const std::uint64_t i = static_cast<std::uint64_t>(q - pWin);
            const std::uint64_t nChunk = i / CD_USER_DATA_SIZE;
            const auto nInChunk = static_cast<std::uint32_t>(i % CD_USER_DATA_SIZE);
            ScanCheck check = CheckScanCandidate(q, static_cast<std::size_t>(window.size() - i), bAllInWindow,
                                                 m_settings.kinds, m_limits);
            // Past the window: the item's bytes from its own sector on, as much as it asks for.
            while (check.verdict == ScanVerdict::Need && check.nNeed <= m_settings.nMaxGather)
            {
                std::unique_lock<std::mutex> large(m_heavyLock, std::defer_lock);
                if (check.nNeed > kLargeGather)
                    large.lock();
                gathered.clear();
                const std::uint64_t nGot = m_source.Gather(sectorOf[nChunk], nInChunk, check.nNeed, gathered);
                check = CheckScanCandidate(gathered.data(), static_cast<std::size_t>(nGot), nGot < check.nNeed,
                                           m_settings.kinds, large.owns_lock() ? unlocked : m_limits);
                if (gathered.capacity() > kLargeGather)
                    std::vector<std::uint8_t>().swap(gathered);
            }
            if (check.verdict == ScanVerdict::Yes)
            {
                const std::uint64_t nFile = sectorOf[nChunk] * CD_SECTOR_SIZE + dataAt[nChunk] + nInChunk;
                out.finds.push_back(ConvScanFind{nStream + i, nFile, check.item, false});
            }
        }
        nStream += nOwn;
        m_nSearched += (nWinEnd - nWin) * CD_SECTOR_SIZE;
    }
    out.nStreamBytes = nStream;
}

void CSourceScan::Work()
{
    std::vector<std::uint8_t> buffer, window, gathered;
    while (true)
    {
        std::size_t k = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [&] { return Stopping() || m_nNext >= m_ranges.size() || m_nNext < m_nHanded + m_nAhead; });
            if (Stopping() || m_nNext >= m_ranges.size())
                return;
            k = m_nNext++;
        }
        RangeResult result;
        try
        {
            const std::uint64_t nFrom = k * m_nRange;
            const std::uint64_t nTo = std::min(m_nUnits, nFrom + m_nRange);
            if (m_source.IsCd())
                ScanCd(nFrom, nTo, result, buffer, window, gathered);
            else
                ScanPlain(nFrom, nTo, result, buffer);
        }
        catch (const std::bad_alloc&)
        {
            m_bFailed.store(true);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        result.bDone = true;
        m_ranges[k] = std::move(result);
        m_cv.notify_all();
    }
}

bool CSourceScan::Run(const std::function<void(const ConvScanFind&)>& onFind,
                      const std::function<void(std::uint64_t)>& onTick, std::string& strError)
{
    const std::size_t nThreads = std::min<std::size_t>(std::max(1u, m_settings.nThreads), m_ranges.size());
    m_nAhead = 2 * nThreads + 2;
    std::vector<std::thread> threads;
    try
    {
        for (std::size_t i = 0; i < nThreads; ++i)
            threads.emplace_back([this] { Work(); });
    }
    catch (const std::system_error&)
    {
        if (threads.empty())
            m_bFailed.store(true);
    }

    CScanNesting nesting;
    std::uint64_t nBase = 0;  // stream bytes of the ranges handed over
    std::exception_ptr pFailure;  // what onFind threw: the threads stop first, then it goes on
    std::unique_lock<std::mutex> lock(m_mutex);
    try
    {
        while (m_nHanded < m_ranges.size() && !Stopping())
        {
            m_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return Stopping() || m_ranges[m_nHanded].bDone; });
            while (m_nHanded < m_ranges.size() && m_ranges[m_nHanded].bDone && !Stopping())
            {
                RangeResult result = std::move(m_ranges[m_nHanded]);
                ++m_nHanded;
                m_cv.notify_all();
                lock.unlock();
                for (ConvScanFind& find : result.finds)
                {
                    find.nStream += nBase;
                    find.bNested = nesting.Add(find.nStream, find.item.nLength);
                    onFind(find);
                }
                nBase += result.nStreamBytes;
                lock.lock();
            }
            lock.unlock();
            onTick(m_nSearched.load());
            lock.lock();
        }
    }
    catch (...)
    {
        pFailure = std::current_exception();
        if (!lock.owns_lock())
            lock.lock();
        m_bFailed.store(true);
    }
    m_cv.notify_all();
    lock.unlock();
    for (std::thread& t : threads)
        t.join();
    if (pFailure)
        std::rethrow_exception(pFailure);
    if (m_bFailed.load())
    {
        strError = "not enough memory.";
        return false;
    }
    return true;
}

}  // namespace

bool ScanSource(const CScanSource& source, const ConvScanSettings& settings, const std::atomic<bool>& bStop,
                const std::function<void(const ConvScanFind&)>& onFind,
                const std::function<void(std::uint64_t)>& onTick, std::string& strError)
{
    if (source.Size() == 0)
        return true;
    CSourceScan scan(source, settings, bStop);
    return scan.Run(onFind, onTick, strError);
}
