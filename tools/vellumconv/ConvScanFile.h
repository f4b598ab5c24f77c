#pragma once
// The scan of one file: cut into ranges that threads take in turn, each range read window by
// window into a buffer of the thread's own and searched there, and the finds handed on in
// stream order with the nesting rule applied. A check that needs more than a window holds
// reads the file's read-only mapping, whose pages it lets go of at once. A raw CD image is
// the stream of its sectors' user data. The formats layer does the finding; this is the file
// access.

#include "formats/Scan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ConvScanFind
{
    std::uint64_t nStream = 0;  // position in the stream (for a CD image, of user data)
    std::uint64_t nFile = 0;    // position in the file of the item's first byte
    ScanItem item;
    bool bNested = false;
};

// A regular file, mapped privately and read-only. Pages it maps count in the process's
// resident memory, so the scan lets go of them behind itself.
class CScanSource
{
public:
    CScanSource() = default;
    ~CScanSource();
    CScanSource(const CScanSource&) = delete;
    CScanSource& operator=(const CScanSource&) = delete;

    // False with the cause in strCause ("Is a directory", "a FIFO; ... reads regular files",
    // an errno text). Only a regular file is opened; a FIFO or a device is never waited on.
    bool Open(const std::string& strPath, std::string& strCause);
    void Close();

    const std::uint8_t* Data() const { return m_pData; }
    std::uint64_t Size() const { return m_nSize; }
    bool IsCd() const { return m_bCd; }
    std::uint64_t Sectors() const { return m_nSize / 2352; }
    // Drops the mapped pages that hold any of the bytes [nFrom, nTo); reading them again maps
    // them again.
    void Release(std::uint64_t nFrom, std::uint64_t nTo) const;
    // Reads n bytes at nOffset into p (fewer when the file ends or was cut); the count read.
    std::size_t Read(std::uint8_t* p, std::size_t n, std::uint64_t nOffset) const;
    // True when the file was cut or grew while it was mapped: what was read may be wrong.
    bool Changed() const;

    // A CD image's stream: up to n bytes from byte nOffset of sector nSector's user data on,
    // through the sectors that carry user data, appended to out. The count appended; fewer than
    // n at the end of the stream. The mapped pages it read are let go of.
    std::uint64_t Gather(std::uint64_t nSector, std::uint32_t nOffset, std::uint64_t n, std::vector<std::uint8_t>& out) const;
    // The item's own bytes at nFile (a find's nFile), in pieces of at most nPiece bytes, to
    // fnPiece; false when the stream ends first.
    bool ItemBytes(std::uint64_t nFile, std::uint64_t nLength, std::uint64_t nPiece,
                   const std::function<void(const std::uint8_t*, std::size_t)>& fnPiece) const;

private:
    int m_fd = -1;
    std::uint8_t* m_pData = nullptr;
    std::uint64_t m_nSize = 0;
    bool m_bCd = false;
};

struct ConvScanSettings
{
    unsigned kinds = SCAN_ALL_KINDS;
    unsigned nThreads = 1;
    // A CD image's item is read into memory to be checked; longer ones are not reported.
    std::uint64_t nMaxGather = std::uint64_t{16} << 20;
};

// At most this many threads scan a file: each holds up to a few MiB, and the scan's memory
// stays within its bound.
constexpr unsigned CONV_SCAN_MAX_THREADS = 8;

// Scans the whole source. onFind gets every find (nested ones marked) in stream order, on the
// calling thread; onTick is called there about every 100 ms with the bytes searched so far.
// Stops early when bStop becomes true. False, with the reason in strError, when a thread ran
// out of memory.
bool ScanSource(const CScanSource& source, const ConvScanSettings& settings, const std::atomic<bool>& bStop,
                const std::function<void(const ConvScanFind&)>& onFind,
                const std::function<void(std::uint64_t)>& onTick, std::string& strError);
