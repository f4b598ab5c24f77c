// Kills at random moments: a batch on two workers and a single conversion are ended with
// SIGKILL at a random time within their run, over and over. Every target must then be its
// old bytes or its new ones, whole, and once the next run has finished, nothing else is left
// in the folder. A save written in place (a target with two names) may leave its file torn
// for a moment, with its journal beside it: the next run into the folder puts the old bytes
// back. VELLUM_CRASH_ROUNDS sets the rounds of each (scripts/crash-loop.sh runs thousands).

#include "tests/faults/FaultRuns.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

int Rounds()
{
    const char* psz = std::getenv("VELLUM_CRASH_ROUNDS");
    return psz != nullptr ? std::atoi(psz) : kSanitized ? 25 : 100;
}

// Starts the converter in dir with its output thrown away.
pid_t Start(const fs::path& dir, const std::vector<std::string>& args)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const int fd = ::open("/dev/null", O_WRONLY);
        if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0 || ::chdir(dir.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(VELLUMCONV_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELLUMCONV_PATH, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for pid and for every worker it left: they are this process's to reap.
int Reap(pid_t pid)
{
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    while (::waitpid(-1, nullptr, 0) > 0)
    {
    }
    return nStatus;
}

struct Target
{
    std::string strPath;
    std::optional<Bytes> old;
    Bytes expected;
};

class Crash : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "in");
        // Orphaned workers come to this process, so a round ends only when they are gone.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }
    void TearDown() override { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    void Reset(const std::vector<Target>& targets)
    {
        fs::remove_all(m_dir / "out");
        fs::create_directories(m_dir / "out");
        for (const Target& t : targets)
            if (t.old)
                WriteBytes(m_dir / t.strPath, *t.old);
    }
    // Runs args to completion once for the new bytes and its time, then kills it at random
    // moments within that time.
    void KillAtRandom(const char* pszName, const std::vector<std::string>& args, std::vector<Target>& targets)
    {
        Reset(targets);
        const auto tStart = Clock::now();
        ASSERT_EQ(Reap(Start(m_dir, args)), 0);
        const auto run = Clock::now() - tStart;
        for (Target& t : targets)
            t.expected = ReadBytes(m_dir / t.strPath);

        std::mt19937_64 random(std::random_device{}());
        std::uniform_int_distribution<long> delay(0, std::chrono::duration_cast<std::chrono::microseconds>(run).count());
        int nOld = 0, nMixed = 0, nNew = 0;
        const int nRounds = Rounds();
        for (int nRound = 0; nRound < nRounds; ++nRound)
        {
            SCOPED_TRACE(nRound);
            Reset(targets);
            const pid_t pid = Start(m_dir, args);
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            ::kill(pid, SIGKILL);
            Reap(pid);
            int nNewHere = 0;
            for (const Target& t : targets)
            {
                const fs::path path = m_dir / t.strPath;
                if (fs::exists(path) && ReadBytes(path) == t.expected)
                    ++nNewHere;
                else if (t.old)
                    EXPECT_EQ(ReadBytes(path), *t.old) << t.strPath;
                else
                    EXPECT_FALSE(fs::exists(path)) << t.strPath;
            }
            (nNewHere == 0 ? nOld : nNewHere == static_cast<int>(targets.size()) ? nNew : nMixed)++;

            ASSERT_EQ(Reap(Start(m_dir, args)), 0);
            for (const Target& t : targets)
                EXPECT_EQ(ReadBytes(m_dir / t.strPath), t.expected) << t.strPath;
            EXPECT_TRUE(HiddenIn((m_dir / "out").string()).empty()) << *HiddenIn((m_dir / "out").string()).begin();
            if (HasFailure())
                return;
        }
        std::printf("crash: %s: %d kills (every target old: %d, some new: %d, all new: %d), all consistent, "
                    "nothing left after the next run\n",
                    pszName, nRounds, nOld, nMixed, nNew);
    }

    ScratchDir m_scratch;
    fs::path m_dir{m_scratch.Path()};
};

TEST_F(Crash, ABatchKilledAtRandomLeavesEveryTargetWholeAndTheNextRunLeavesNothing)
{
    std::vector<std::string> args = {"--to", ".bmp", "--out-dir", "out", "-j", "2"};
    std::vector<Target> targets;
    for (int i = 0; i < 12; ++i)
    {
        // Put together piece by piece: gcc 12 misreads the one-line sums.
        std::string in = "in/f", out = "out/f";
        in += std::to_string(i);
        out += std::to_string(i);
        in += ".tim";
        out += ".bmp";
        WriteBytes(m_dir / in, MakeSampleTim(16 + 8 * i, 24 + 4 * i));
        args.push_back(in);
        Target t{out, std::nullopt, {}};
        if (i % 2 == 0)
            t.old = MakeSampleBmp(3 + i, 2);
        targets.push_back(t);
    }
    KillAtRandom("batch of 12 on two workers", args, targets);
}

TEST_F(Crash, ASingleSaveKilledAtRandomLeavesTheTargetWholeAndTheNextRunLeavesNothing)
{
    WriteBytes(m_dir / "in/big.bmp", MakeSampleBmp(512, 512));
    std::vector<Target> targets = {{"out/big.tim", MakeSampleTim(8, 8), {}}};
    KillAtRandom("single conversion", {"in/big.bmp", "out/big.tim"}, targets);
}

// A large file whole, in one read.
Bytes ReadLarge(const fs::path& path)
{
    Bytes data(static_cast<std::size_t>(fs::file_size(path)));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

TEST_F(Crash, ASaveInPlaceKilledAtRandomLeavesOldOrNewAfterTheNextRun)
{
    // 16 MB each way, so that a kill often lands while the old bytes are being overwritten.
    WriteBytes(m_dir / "in/big.bmp", MakeSampleBmp(4096, 4096));
    WriteBytes(m_dir / "in/small.bmp", MakeSampleBmp(8, 8));
    const Bytes old(16u << 20, 0x6F);
    auto reset = [&] {
        fs::remove_all(m_dir / "out");
        fs::create_directories(m_dir / "out");
        WriteBytes(m_dir / "out/big.tim", old);
        fs::create_hard_link(m_dir / "out/big.tim", m_dir / "out/second.tim");
    };
    const std::vector<std::string> args = {"in/big.bmp", "out/big.tim"};
    reset();
    const auto tStart = Clock::now();
    ASSERT_EQ(Reap(Start(m_dir, args)), 0);
    const auto run = Clock::now() - tStart;
    const Bytes expected = ReadLarge(m_dir / "out/big.tim");
    ASSERT_NE(expected, old);

    std::mt19937_64 random(std::random_device{}());
    std::uniform_int_distribution<long> delay(0, std::chrono::duration_cast<std::chrono::microseconds>(run).count());
    int nOld = 0, nNew = 0;
    const int nRounds = std::min(Rounds(), 40);
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        SCOPED_TRACE(nRound);
        reset();
        const pid_t pid = Start(m_dir, args);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        Reap(pid);
        // Another save into the folder finds what the kill left.
        ASSERT_EQ(Reap(Start(m_dir, {"in/small.bmp", "out/small.bmp"})), 0);
        const Bytes now = ReadLarge(m_dir / "out/big.tim");
        EXPECT_TRUE(now == old || now == expected) << "torn: " << now.size() << " bytes";
        EXPECT_TRUE(now == ReadLarge(m_dir / "out/second.tim"));
        (now == old ? nOld : nNew)++;
        EXPECT_TRUE(HiddenIn((m_dir / "out").string()).empty()) << *HiddenIn((m_dir / "out").string()).begin();
        if (HasFailure())
            return;
    }
    std::printf("crash: save in place of 16 MB: %d kills (old: %d, new: %d), none torn after the next run\n", nRounds,
                nOld, nNew);
}


// A replace changes four items of a larger file in place, a write each; a kill at any moment
// leaves the container old or new once the next run (here a dry one, which writes nothing of
// its own) has put back what the kill left half written.
TEST_F(Crash, AReplaceKilledAtRandomLeavesTheContainerOldOrNewAfterTheNextRun)
{
    const Bytes item = MakeSampleTim(256, 512);
    Bytes edited = item;
    for (std::size_t i = item.size() - 256 * 1024; i < item.size(); ++i)
        edited[i] = static_cast<std::uint8_t>(edited[i] ^ 0x55);
    Bytes old(6u << 20, 0x20);
    Bytes expected = old;
    fs::create_directories(m_dir / "disc");
    std::vector<std::string> args = {"replace", "disc/archive.bin"};
    for (std::size_t k = 0; k < 4; ++k)
    {
        const std::size_t nAt = (k * 3 + 1) << 19;
        std::copy(item.begin(), item.end(), old.begin() + static_cast<std::ptrdiff_t>(nAt));
        std::copy(edited.begin(), edited.end(), expected.begin() + static_cast<std::ptrdiff_t>(nAt));
        std::string strNew = "in/archive.bin@";
        strNew += std::to_string(nAt);
        strNew += ".tim";
        WriteBytes(m_dir / strNew, edited);
        args.push_back(strNew);
    }
    auto reset = [&] { WriteBytes(m_dir / "disc/archive.bin", old); };
    reset();
    const auto tStart = Clock::now();
    ASSERT_EQ(Reap(Start(m_dir, args)), 0);
    const auto run = Clock::now() - tStart;
    ASSERT_EQ(ReadLarge(m_dir / "disc/archive.bin"), expected);

    std::mt19937_64 random(std::random_device{}());
    std::uniform_int_distribution<long> delay(0, std::chrono::duration_cast<std::chrono::microseconds>(run).count());
    int nOld = 0, nNew = 0;
    const int nRounds = std::min(Rounds(), 40);
    std::vector<std::string> dry = args;
    dry.insert(dry.begin() + 1, "-n");
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        SCOPED_TRACE(nRound);
        reset();
        const pid_t pid = Start(m_dir, args);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        Reap(pid);
        ASSERT_EQ(Reap(Start(m_dir, dry)), 0);
        const Bytes now = ReadLarge(m_dir / "disc/archive.bin");
        EXPECT_TRUE(now == old || now == expected) << "torn";
        (now == old ? nOld : nNew)++;
        EXPECT_TRUE(HiddenIn((m_dir / "disc").string()).empty()) << *HiddenIn((m_dir / "disc").string()).begin();
        if (HasFailure())
            return;
    }
    std::printf("crash: replace in place of four items in 6 MiB: %d kills (old: %d, new: %d), none torn after the next "
                "run\n",
                nRounds, nOld, nNew);
}

}  // namespace
