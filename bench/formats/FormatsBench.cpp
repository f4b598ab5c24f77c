// The formats layer on 4096 x 4096 pictures (16 MiB of pixels), each measured against a
// reference that moves the same bytes, in the same run:
//  - reads and writes of each format through a memory stream, against memcpy; the TIM
//    shift by 10 against memset;
//  - a fresh buffer filled for the first time, as every read and conversion fills its
//    new one: on the pixel buffers' own allocation against new[] on small pages;
//  - the three large conversions of the converter, file to file as one run does them
//    (BMP -> BMP, TIM -> BMP, BMP -> TIM: read into fresh records, convert, write),
//    against a plain read and write of the same file through one 1 MiB buffer, as
//    `dd bs=1M` copies it. No fdatasync or rename on either side: those belong to the
//    framework's safe save.
// Large allocations are made with mmap here, as in a fresh process, so no iteration
// reuses the pages an earlier one already faulted in.
// Run: build-*/bench/formats/bench_formats  (VELLUM_BENCH_SMOKE=1: one iteration each)

#include "bench/BenchRun.h"
#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/DataKinds.h"
#include "formats/MemStream.h"
#include "formats/PixelBuffer.h"
#include "formats/Tim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
constexpr int SIDE = 4096;
constexpr std::size_t PIXELS = std::size_t{SIDE} * SIDE;

RgbPalette g_pal{};

std::vector<std::uint8_t> Pixels()
{
    std::vector<std::uint8_t> v(PIXELS);
    for (std::size_t i = 0; i < PIXELS; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + i / SIDE);
    return v;
}

std::vector<std::uint8_t> BmpFile()
{
    CBmpData b;
    b.m_pPalette = &g_pal;
    b.m_fileHeader = {BMP_TYPE, static_cast<std::uint32_t>(BMP_PIXEL_OFFSET + PIXELS), 0, 0, BMP_PIXEL_OFFSET};
    b.m_infoHeader = {40, SIDE, SIDE, 1, 8, 0, static_cast<std::uint32_t>(PIXELS), 0, 0, 0, 0};
    const auto v = Pixels();
    b.m_pBits = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(b.m_pBits.get(), v.data(), PIXELS);
    b.m_nBitsSize = PIXELS;
    CMemStream s;
    if (b.WriteBmp(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

std::vector<std::uint8_t> TimFile()
{
    CTimData t;
    t.m_pPalette = &g_pal;
    t.m_id = TIM_ID;
    t.m_flags = TIM_MODE_8BIT_CLUT;
    t.m_clutLength = TIM_CLUT_LENGTH;
    t.m_imageWidth = SIDE / 2;
    t.m_imageHeight = SIDE;
    t.m_imageLength = static_cast<std::uint32_t>(PIXELS + 12);
    const auto v = Pixels();
    t.m_pPixels = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(t.m_pPixels.get(), v.data(), PIXELS);
    t.m_nPixelsSize = PIXELS;
    CMemStream s;
    if (t.WriteTim(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

// 65536 glyphs of 16 x 16: the same 16 MiB as the images.
std::vector<std::uint8_t> BfntFile()
{
    CBfntData f;
    f.m_pPalette = &g_pal;
    std::memcpy(f.m_header.magic, "BFNT", 4);
    f.m_header.format = BFNT_PALETTE | BFNT_COLORS_256;
    f.m_header.glyphWidth = 16;
    f.m_header.glyphHeight = 16;
    f.m_header.lastCode = 0xFFFF;
    const auto v = Pixels();
    f.m_pGlyphs = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(f.m_pGlyphs.get(), v.data(), PIXELS);
    f.m_nGlyphsSize = PIXELS;
    CMemStream s;
    if (f.WriteBfnt(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

void BM_Memcpy(benchmark::State& state)
{
    const auto src = Pixels();
    std::vector<std::uint8_t> dst(PIXELS);
    for (auto _ : state)
    {
        std::memcpy(dst.data(), src.data(), PIXELS);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

// The same copy into a buffer allocated for it, as a reader must (its new buffer
// is only adopted once the whole read has succeeded).
void BM_MemcpyFresh(benchmark::State& state)
{
    const auto src = Pixels();
    for (auto _ : state)
    {
        std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[PIXELS]);
        std::memcpy(dst.get(), src.data(), PIXELS);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

// The same copy into the pixel buffers' own allocation (huge pages where the system has them).
void BM_MemcpyFreshPixels(benchmark::State& state)
{
    const auto src = Pixels();
    for (auto _ : state)
    {
        PixelBuffer dst = TryAllocPixels(PIXELS);
        std::memcpy(dst.get(), src.data(), PIXELS);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

void BM_Memset(benchmark::State& state)
{
    std::vector<std::uint8_t> dst(PIXELS);
    for (auto _ : state)
    {
        std::memset(dst.data(), 10, PIXELS);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

void BM_TimShift(benchmark::State& state)
{
    auto v = Pixels();
    for (auto _ : state)
    {
        ShiftPixels(v.data(), PIXELS, 10);
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

template <class TRecord>
int ReadRecord(TRecord& r, IByteStream& s)
{
    if constexpr (std::is_same_v<TRecord, CBmpData>)
        return r.ReadBmp(s, true);
    else if constexpr (std::is_same_v<TRecord, CTimData>)
        return r.ReadTim(s, true);
    else
        return r.ReadBfnt256(s);
}

template <class TRecord>
int WriteRecord(TRecord& r, IByteStream& s)
{
    if constexpr (std::is_same_v<TRecord, CBmpData>)
        return r.WriteBmp(s);
    else if constexpr (std::is_same_v<TRecord, CTimData>)
        return r.WriteTim(s);
    else
        return r.WriteBfnt(s);
}

template <class TRecord>
void BM_Read(benchmark::State& state, std::vector<std::uint8_t> (*make)())
{
    CMemStream in(make());
    TRecord rec;
    rec.m_pPalette = &g_pal;
    for (auto _ : state)
    {
        in.Seek(0, STREAM_BEGIN);
        if (ReadRecord(rec, in) != FMT_OK)
            state.SkipWithError("read failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

template <class TRecord>
void BM_Write(benchmark::State& state, std::vector<std::uint8_t> (*make)())
{
    CMemStream in(make());
    TRecord rec;
    rec.m_pPalette = &g_pal;
    if (ReadRecord(rec, in) != FMT_OK)
        state.SkipWithError("read failed");
    // One buffer serves every run, emptied but keeping its capacity, so no run reallocates.
    std::vector<std::uint8_t> buffer;
    buffer.reserve(static_cast<std::size_t>(in.GetLength()));
    for (auto _ : state)
    {
        buffer.clear();
        CMemStream out(std::move(buffer));
        if (WriteRecord(rec, out) != FMT_OK)
            state.SkipWithError("write failed");
        benchmark::ClobberMemory();
        buffer = out.TakeData();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

// ---- File to file ----------------------------------------------------------------------

// An open file as the records see it, straight on the descriptor like the framework's CFile.
class CFdStream final : public IByteStream
{
public:
    CFdStream(const std::string& strPath, bool bWrite)
        : m_fd(::open(strPath.c_str(), bWrite ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0644))
    {
        if (m_fd < 0)
            std::abort();
    }
    ~CFdStream() override { ::close(m_fd); }
    CFdStream(const CFdStream&) = delete;
    CFdStream& operator=(const CFdStream&) = delete;

    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override
    {
        std::uint32_t nDone = 0;
        while (nDone < nCount)
        {
            const ssize_t n = ::read(m_fd, static_cast<std::uint8_t*>(pBuf) + nDone, nCount - nDone);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            nDone += static_cast<std::uint32_t>(n);
        }
        m_nPos += nDone;
        return nDone;
    }
    void Write(const void* pBuf, std::uint32_t nCount) override
    {
        std::uint32_t nDone = 0;
        while (nDone < nCount)
        {
            const ssize_t n = ::write(m_fd, static_cast<const std::uint8_t*>(pBuf) + nDone, nCount - nDone);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::abort();
            nDone += static_cast<std::uint32_t>(n);
        }
        m_nPos += nDone;
    }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override
    {
        const off_t pos = ::lseek(m_fd, static_cast<off_t>(lOff), nFrom == STREAM_BEGIN ? SEEK_SET : SEEK_CUR);
        if (pos < 0)
            std::abort();
        return m_nPos = static_cast<std::uint64_t>(pos);
    }
    std::uint64_t GetPosition() const override { return m_nPos; }
    std::uint64_t GetLength() const override
    {
        struct stat st;
        return ::fstat(m_fd, &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    }

private:
    int m_fd;
    std::uint64_t m_nPos = 0;
};

struct BenchFiles
{
    std::filesystem::path dir;
    std::string bmp, tim, out;

    BenchFiles()
    {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "vellum-formatsbench-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            std::abort();
        dir = strTemplate;
        bmp = (dir / "in.bmp").string();
        tim = (dir / "in.tim").string();
        out = (dir / "out").string();
        Put(bmp, BmpFile());
        Put(tim, TimFile());
    }
    ~BenchFiles()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    static void Put(const std::string& strPath, const std::vector<std::uint8_t>& data)
    {
        CFdStream out(strPath, true);
        out.Write(data.data(), static_cast<std::uint32_t>(data.size()));
    }
};

const BenchFiles& Files()
{
    static const BenchFiles s_files;
    return s_files;
}

// What one converter run does with the formats: load by content into fresh records,
// convert when the kinds differ, write the target kind.
void ConvertFile(benchmark::State& state, const std::string& strIn, int nTarget)
{
    for (auto _ : state)
    {
        RgbPalette palette{};
        CBmpData bmp;
        CTimData tim;
        CBfntData bfnt;
        const DataRecords rec{bmp, tim, bfnt};
        CFdStream in(strIn, false);
        const LoadOutcome load = LoadData(in, rec, palette);
        if (load.nFailure != LOAD_OK || ConvertData(rec, load.nDataType, nTarget) != FMT_OK)
        {
            state.SkipWithError("load or conversion failed");
            break;
        }
        CFdStream out(Files().out, true);
        if (WriteData(rec, nTarget, out, palette) != FMT_OK)
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

void BM_FileBmpToBmp(benchmark::State& state) { ConvertFile(state, Files().bmp, DATA_BMP); }
void BM_FileTimToBmp(benchmark::State& state) { ConvertFile(state, Files().tim, DATA_BMP); }
void BM_FileBmpToTim(benchmark::State& state) { ConvertFile(state, Files().bmp, DATA_TIM); }

// The same file read and written through one buffer of nPiece bytes.
void PlainCopy(benchmark::State& state, std::size_t nPiece)
{
    std::vector<std::uint8_t> buffer(nPiece);
    for (auto _ : state)
    {
        CFdStream in(Files().bmp, false);
        CFdStream out(Files().out, true);
        for (;;)
        {
            const std::uint32_t n = in.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
            if (n == 0)
                break;
            out.Write(buffer.data(), n);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

// As dd bs=1M copies it.
void BM_FilePlainCopy(benchmark::State& state) { PlainCopy(state, std::size_t{1} << 20); }
// In the pieces BMP pixel data moves in, to show what the piece size alone costs.
void BM_FilePlainCopyPieces(benchmark::State& state) { PlainCopy(state, 61440); }

void Configure(benchmark::internal::Benchmark* b)
{
    BenchFastestOfFive(b, benchmark::kMillisecond);
}
}  // namespace

BENCHMARK(BM_Memcpy)->Apply(Configure);
BENCHMARK(BM_MemcpyFresh)->Apply(Configure);
BENCHMARK(BM_MemcpyFreshPixels)->Apply(Configure);
BENCHMARK(BM_Memset)->Apply(Configure);
BENCHMARK(BM_TimShift)->Apply(Configure);
void BM_BmpRead(benchmark::State& state) { BM_Read<CBmpData>(state, BmpFile); }
void BM_BmpWrite(benchmark::State& state) { BM_Write<CBmpData>(state, BmpFile); }
void BM_TimRead(benchmark::State& state) { BM_Read<CTimData>(state, TimFile); }
void BM_TimWrite(benchmark::State& state) { BM_Write<CTimData>(state, TimFile); }
void BM_BfntRead(benchmark::State& state) { BM_Read<CBfntData>(state, BfntFile); }
void BM_BfntWrite(benchmark::State& state) { BM_Write<CBfntData>(state, BfntFile); }
BENCHMARK(BM_BmpRead)->Apply(Configure);
BENCHMARK(BM_BmpWrite)->Apply(Configure);
BENCHMARK(BM_TimRead)->Apply(Configure);
BENCHMARK(BM_TimWrite)->Apply(Configure);
BENCHMARK(BM_BfntRead)->Apply(Configure);
BENCHMARK(BM_BfntWrite)->Apply(Configure);
BENCHMARK(BM_FilePlainCopy)->Apply(Configure);
BENCHMARK(BM_FilePlainCopyPieces)->Apply(Configure);
BENCHMARK(BM_FileBmpToBmp)->Apply(Configure);
BENCHMARK(BM_FileTimToBmp)->Apply(Configure);
BENCHMARK(BM_FileBmpToTim)->Apply(Configure);

int main(int argc, char** argv)
{
    // Every large buffer its own mapping, returned when freed: each iteration meets fresh
    // pages, as a converter run does, instead of the heap's already-faulted ones.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    benchmark::Initialize(&argc, argv);
    CFastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& t = reporter.m_times;
    auto ratio = [&](const char* name, const std::string& run, const std::string& ref, double goal) {
        const auto a = t.find(run);
        const auto b = t.find(ref);
        if (a == t.end() || b == t.end())
            return;
        const double r = b->second / a->second;
        std::printf("%-12s %5.2fx of %-22s speed (goal %.1fx) %s\n", name, r, ref.c_str(), goal, r >= goal ? "ok" : "BELOW GOAL");
    };
    std::printf("\nSpeed relative to the same-run reference (16 MiB of pixels):\n");
    PrintSmokeNote();
    // Readers fill a new buffer, so they are held against a copy into one of the same kind.
    ratio("bmp read", "BM_BmpRead", "BM_MemcpyFreshPixels", 0.5);
    ratio("tim read", "BM_TimRead", "BM_MemcpyFreshPixels", 0.5);
    ratio("bfnt read", "BM_BfntRead", "BM_MemcpyFreshPixels", 0.5);
    ratio("bmp write", "BM_BmpWrite", "BM_Memcpy", 0.5);
    // The TIM writer moves the bytes three times (down by 10 in place, out, back up): a
    // second full-size buffer would cost as much memory as the image instead.
    ratio("tim write", "BM_TimWrite", "BM_Memcpy", 0.3);
    ratio("bfnt write", "BM_BfntWrite", "BM_Memcpy", 0.5);
    ratio("tim shift", "BM_TimShift", "BM_Memset", 0.7);
    // A fresh buffer: the pixel buffers' own allocation against new[] on small pages.
    ratio("fresh fill", "BM_MemcpyFreshPixels", "BM_MemcpyFresh", 1.0);
    const auto smallPages = t.find("BM_MemcpyFresh");
    const auto ownPages = t.find("BM_MemcpyFreshPixels");
    if (smallPages != t.end() && ownPages != t.end())
        std::printf("%-12s 16 MiB into a fresh buffer: %.1f ms with new[], %.1f ms on the pixel buffers' own\n", "",
                    smallPages->second, ownPages->second);
    // The converter's three large cases, file to file, against plain copies of the file:
    // through one 1 MiB buffer as dd bs=1M, and in the 61440-byte pieces BMP pixel data
    // moves in (what the pieces alone cost shows in the last line).
    ratio("bmp->bmp", "BM_FileBmpToBmp", "BM_FilePlainCopy", 0.5);
    ratio("tim->bmp", "BM_FileTimToBmp", "BM_FilePlainCopy", 0.5);
    ratio("bmp->tim", "BM_FileBmpToTim", "BM_FilePlainCopy", 0.5);
    ratio("bmp->bmp", "BM_FileBmpToBmp", "BM_FilePlainCopyPieces", 0.5);
    ratio("tim->bmp", "BM_FileTimToBmp", "BM_FilePlainCopyPieces", 0.5);
    ratio("bmp->tim", "BM_FileBmpToTim", "BM_FilePlainCopyPieces", 0.5);
    ratio("61440 pieces", "BM_FilePlainCopyPieces", "BM_FilePlainCopy", 0.5);
    benchmark::Shutdown();
    return reporter.ExitStatus();
}
