// Hostile headers under a memory limit: every file of the corpus, and headers that claim
// gigabytes, go through every reader in a child process whose address space may grow by
// only a few megabytes. No reader may need more, and none may answer "no memory" for a
// file that is simply too short. Sanitizer builds reserve terabytes of shadow memory, so
// there the limit cannot be set and the test is skipped.

#include "tests/corpus/HostileFiles.h"
#include "tests/formats/SampleFiles.h"
#include "tests/formats/TestStreams.h"
#include "tests/support/Sanitizers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr std::uint64_t HEADROOM = 24u << 20;  // what the reads may add to the address space

// A field of /proc/self/status in bytes ("VmSize", "VmPeak"), 0 when absent.
[[maybe_unused]] std::uint64_t StatusBytes(const std::string& strField)
{
    std::ifstream in("/proc/self/status");
    std::string strLine;
    while (std::getline(in, strLine))
        if (strLine.rfind(strField + ":", 0) == 0)
            return std::stoull(strLine.substr(strField.size() + 1)) * 1024;
    return 0;
}

// Child exit codes.
enum : int
{
    CHILD_OK = 0,
    CHILD_LIMIT_NOT_SET = 10,
    CHILD_LIMIT_NOT_ACTIVE = 11,
    CHILD_NO_MEMORY = 12,      // a reader wanted more than the file could fill
    CHILD_WRONG_CODE = 13,
};

[[maybe_unused]] int ReadEverything()
{
    RgbPalette palette{};
    int nStatus = CHILD_OK;
    auto readAll = [&](IByteStream& s, const std::string& strName, int nExpectBmp) {
        CBmpData bmp;
        CTimData tim;
        CBfntData bfnt;
        bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &palette;
        const int codes[] = {
            (s.Seek(0, STREAM_BEGIN), bmp.ReadBmp(s, true)),
            (s.Seek(0, STREAM_BEGIN), tim.ReadTim(s, true)),
            (s.Seek(0, STREAM_BEGIN), bfnt.ReadBfnt256(s)),
            (s.Seek(0, STREAM_BEGIN), bfnt.ReadBfnt(s, 1)),
        };
        for (int nCode : codes)
            if (nCode == FMT_NO_MEMORY)
            {
                std::fprintf(stderr, "%s: a reader ran out of memory\n", strName.c_str());
                nStatus = CHILD_NO_MEMORY;
            }
        if (nExpectBmp >= 0 && codes[0] != nExpectBmp)
        {
            std::fprintf(stderr, "%s: ReadBmp gave %d\n", strName.c_str(), codes[0]);
            nStatus = CHILD_WRONG_CODE;
        }
    };
    for (const corpus::HostileCase& c : corpus::HostileCases())
    {
        CMemStream s(c.bytes);
        readAll(s, c.name, c.kind == DATA_BMP ? c.nCode : -1);
    }
    // A whole valid file of a few hundred kilobytes still reads within the limit.
    CMemStream big(MakeSampleBmp(1024, 500));
    readAll(big, "bmp-1024x500", FMT_OK);
    return nStatus;
}

// Runs fn in a child whose address space may grow by HEADROOM; returns its exit code.
template <class Fn>
int RunLimited(Fn fn, std::uint64_t* pPeakGrowth)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const std::uint64_t nBase = StatusBytes("VmSize");
        rlimit lim{};
        lim.rlim_cur = lim.rlim_max = nBase + HEADROOM;
        if (nBase == 0 || ::setrlimit(RLIMIT_AS, &lim) != 0)
            ::_exit(CHILD_LIMIT_NOT_SET);
        // The limit must really bite: a gigabyte is out of reach.
        auto* pProbe = new (std::nothrow) std::uint8_t[std::size_t{1} << 30];
        if (pProbe != nullptr)
            ::_exit(CHILD_LIMIT_NOT_ACTIVE);
        const int nStatus = fn();
        const std::uint64_t nGrowth = StatusBytes("VmPeak") - nBase;
        if (pPeakGrowth != nullptr)
            std::fprintf(stderr, "peak address-space growth: %llu KiB\n",
                         static_cast<unsigned long long>(nGrowth / 1024));
        std::fflush(nullptr);
        ::_exit(nStatus);
    }
    int nWait = 0;
    if (pid < 0 || ::waitpid(pid, &nWait, 0) != pid || !WIFEXITED(nWait))
        return -1;
    return WEXITSTATUS(nWait);
}

TEST(Memory, HostileHeadersReadWithinASmallAddressSpace)
{
#ifdef VELLUM_UNDER_ASAN
    GTEST_SKIP() << "address-space limits do not work beside the sanitizer's shadow memory";
#else
    std::uint64_t nPeak = 0;
    EXPECT_EQ(RunLimited(ReadEverything, &nPeak), CHILD_OK);
#endif
}

// A stream whose length lies (unlike a real file's) lets a header's claim through the
// size checks; the allocation then fails cleanly, with the code and nothing else.
TEST(Memory, ClaimsBeyondTheLimitGiveNoMemoryNotACrash)
{
#ifdef VELLUM_UNDER_ASAN
    GTEST_SKIP() << "address-space limits do not work beside the sanitizer's shadow memory";
#else
    const int nStatus = RunLimited(
        [] {
            corpus::Bytes file = MakeSampleBmp(4, 4);
            PutLe32(file.data() + 2, 0xF0000000u);               // bfSize: almost 4 GiB of pixels
            PutLeS32(file.data() + 18, 0x10000);                 // biWidth
            PutLeS32(file.data() + 22, 0xEFFF);                  // biHeight
            CShortReadStream liar(std::move(file), 0x100000000ull);
            RgbPalette palette{};
            CBmpData bmp;
            bmp.m_pPalette = &palette;
            const int nCode = bmp.ReadBmp(liar, true);
            return nCode == FMT_NO_MEMORY && !bmp.m_pBits ? CHILD_OK : CHILD_WRONG_CODE;
        },
        nullptr);
    EXPECT_EQ(nStatus, CHILD_OK);
#endif
}
}  // namespace
