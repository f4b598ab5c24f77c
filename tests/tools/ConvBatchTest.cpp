// Batches through the vellumconv program: outputs identical to single runs (a failing file
// among good ones included), collisions refused before anything is written, names from a
// list or standard input, interruptions that leave no partial target and no temporary and
// lose no line of a file in place, and the progress line only on a terminal.

#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct RunResult
{
    int nExit = -1;   // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

struct RunOptions
{
    std::string strStdin;
    bool bTerminal = false;  // stderr on a pseudo-terminal
    // Called with the child's pid while it runs; the child is waited for afterwards.
    std::function<void(pid_t)> whileRunning;
};

void ReadAll(int fd, std::string& out)
{
    char buf[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
}

RunResult RunConv(const std::vector<std::string>& args, const fs::path& cwd, const RunOptions& options = {})
{
    int in[2], out[2], err[2] = {-1, -1};
    int nMaster = -1, nSlave = -1;
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return {};
    if (options.bTerminal ? ::openpty(&nMaster, &nSlave, nullptr, nullptr, nullptr) != 0 : ::pipe(err) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(options.bTerminal ? nSlave : err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], nMaster, nSlave})
            if (fd > 2)
                ::close(fd);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(VELLUMCONV_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELLUMCONV_PATH, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (options.bTerminal)
        ::close(nSlave);
    else
        ::close(err[1]);
    // Small enough for the pipe; the converter reads it before it writes anything.
    if (!options.strStdin.empty() && ::write(in[1], options.strStdin.data(), options.strStdin.size()) < 0)
        ADD_FAILURE() << "cannot write the child's stdin";
    ::close(in[1]);
    if (options.whileRunning)
        options.whileRunning(pid);
    RunResult r;
    std::thread errReader([&] { ReadAll(options.bTerminal ? nMaster : err[0], r.err); });
    ReadAll(out[0], r.out);
    errReader.join();
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    ::close(out[0]);
    ::close(options.bTerminal ? nMaster : err[0]);
    return r;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t nStart = 0;
    while (nStart < text.size())
    {
        std::size_t nEnd = text.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

// prefix + n + suffix, put together piece by piece: gcc 12 misreads the one-line sum.
std::string Numbered(const char* pszPrefix, int n, const char* pszSuffix)
{
    std::string s = pszPrefix;
    s += std::to_string(n);
    s += pszSuffix;
    return s;
}

std::vector<std::string> HiddenNames(const fs::path& dir)
{
    std::vector<std::string> names;
    if (fs::exists(dir))
        for (const fs::directory_entry& e : fs::directory_iterator(dir))
            if (e.path().filename().string().front() == '.')
                names.push_back(e.path().filename().string());
    return names;
}

class ConvBatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-batch-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
        fs::create_directories(m_dir / "in");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    // The file `vellumconv IN OUT` writes, made in a folder of its own.
    Bytes SingleRun(const std::string& strIn, const std::string& strExt)
    {
        fs::create_directories(m_dir / "single");
        const std::string strOut = (m_dir / "single" / ("one" + strExt)).string();
        fs::remove(strOut);
        RunConv({(m_dir / strIn).string(), strOut}, m_dir);
        return fs::exists(strOut) ? ReadBytes(strOut) : Bytes();
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(ConvBatchTest, OutputsAreWhatSingleRunsWriteAndAFailureStaysItsOwn)
{
    WriteBytes(m_dir / "in/pic.bmp", MakeSampleBmp(40, 30));
    WriteBytes(m_dir / "in/pic2.tim", MakeSampleTim(20, 30));
    WriteBytes(m_dir / "in/font.fnt", MakeSampleBfnt(8, 8, 32, 127));
    WriteBytes(m_dir / "in/junk.tim", {'n', 'o', 'p', 'e'});
    WriteBytes(m_dir / "in/small.fnt", MakeSampleBfnt(16, 16, 0, 3));
    const std::vector<std::string> inputs = {"in/pic.bmp", "in/pic2.tim", "in/font.fnt", "in/junk.tim",
                                             "in/missing.bmp", "in/small.fnt"};
    for (const char* pszExt : {".bmp", ".tim", ".fnt"})
    {
        SCOPED_TRACE(pszExt);
        const fs::path outDir = m_dir / ("out" + std::string(pszExt));
        std::vector<std::string> args = {"--to", pszExt, "--out-dir", outDir.string(), "-j", "2"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const RunResult r = RunConv(args, m_dir);
        EXPECT_EQ(r.nExit, 1);

        std::vector<std::string> expectedOut;
        for (const std::string& in : inputs)
        {
            const std::string stem = fs::path(in).stem().string();
            const fs::path out = outDir / (stem + pszExt);
            const Bytes single = fs::exists(m_dir / in) ? SingleRun(in, pszExt) : Bytes();
            if (single.empty())
            {
                EXPECT_FALSE(fs::exists(out)) << in;
                continue;
            }
            EXPECT_EQ(ReadBytes(out), single) << in;
            // The status text the single run prints after its open.
            const RunResult status = RunConv({"--open", (m_dir / in).string()}, m_dir);
            expectedOut.push_back(in + "\t" + out.string() + "\t" + Lines(status.out).at(0));
        }
        EXPECT_EQ(Lines(r.out), expectedOut);
        // Failures are told as the workers meet them, so in any order.
        std::vector<std::string> errLines = Lines(r.err);
        std::sort(errLines.begin(), errLines.end());
        EXPECT_EQ(errLines, (std::vector<std::string>{
                                "vellumconv: in/junk.tim: unknown data format.",
                                "vellumconv: in/missing.bmp: Cannot open \"in/missing.bmp\": No such file or directory."}));
        EXPECT_TRUE(HiddenNames(outDir).empty());
    }
}

TEST_F(ConvBatchTest, BesideTheInputsWhenNoFolderIsGiven)
{
    WriteBytes(m_dir / "in/a.bmp", MakeSampleBmp(16, 16));
    const RunResult r = RunConv({"--to", ".tim", "in/a.bmp"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "in/a.tim"), SingleRun("in/a.bmp", ".tim"));
    EXPECT_EQ(r.err, "");
}

TEST_F(ConvBatchTest, CollisionsAreRefusedBeforeAnythingIsWritten)
{
    WriteBytes(m_dir / "in/a.tim", MakeSampleTim(8, 8));
    WriteBytes(m_dir / "in/a.fnt", MakeSampleBfnt(8, 8, 0, 1));
    RunResult r = RunConv({"--to", ".bmp", "--out-dir", "out", "in/a.tim", "in/a.fnt"}, m_dir);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.err.find("'in/a.tim' and 'in/a.fnt' would both be saved as 'out/a.bmp'"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "out"));

    WriteBytes(m_dir / "in/a.bmp", MakeSampleBmp(8, 8));
    r = RunConv({"--to", ".bmp", "in/a.tim", "in/a.bmp"}, m_dir);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.err.find("'in/a.bmp' is also the output of 'in/a.tim'"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "in/a.bmp"), MakeSampleBmp(8, 8));
}

TEST_F(ConvBatchTest, NamesFromStandardInputByLineOrByNul)
{
    // A sheet takes whole 16 x 16 cells.
    WriteBytes(m_dir / "in/one.bmp", MakeSampleBmp(16, 16));
    WriteBytes(m_dir / "in/two words.tim", MakeSampleTim(8, 16));
    RunOptions options;
    options.strStdin = std::string("in/one.bmp") + '\0' + "in/two words.tim" + '\0';
    RunResult r = RunConv({"--to", ".fnt", "--out-dir", "nul", "-0", "--files-from", "-"}, m_dir, options);
    EXPECT_EQ(r.nExit, 0) << r.err;
    // The status lines end as the names did.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\0'), 2);
    EXPECT_EQ(r.out.find('\n'), std::string::npos);
    EXPECT_EQ(ReadBytes(m_dir / "nul/two words.fnt"), SingleRun("in/two words.tim", ".fnt"));

    options.strStdin = "in/one.bmp\n\nin/two words.tim\n";
    r = RunConv({"--to", ".fnt", "--out-dir", "lines", "--files-from", "-"}, m_dir, options);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "lines/one.fnt"), SingleRun("in/one.bmp", ".fnt"));
    EXPECT_EQ(ReadBytes(m_dir / "lines/two words.fnt"), ReadBytes(m_dir / "nul/two words.fnt"));

    // And from a list file, after the names on the command line.
    WriteBytes(m_dir / "list.txt", {'i', 'n', '/', 'o', 'n', 'e', '.', 'b', 'm', 'p', '\n'});
    r = RunConv({"--to", ".tim", "--out-dir", "both", "--files-from", "list.txt", "in/two words.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(Lines(r.out).at(0).rfind("in/two words.tim\t", 0), 0u) << r.out;
    r = RunConv({"--to", ".tim", "--files-from", "no-such-list"}, m_dir);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.err.find("cannot read the list 'no-such-list'"), std::string::npos) << r.err;
}

TEST_F(ConvBatchTest, InterruptedBatchLeavesNoPartialTargetAndNoTemporary)
{
    constexpr int kFiles = 400;
    const Bytes picture = MakeSampleBmp(256, 256);
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i)
    {
        names.push_back(Numbered("in/p", i, ".bmp"));
        WriteBytes(m_dir / names.back(), picture);
    }
    const Bytes expected = SingleRun(names[0], ".tim");
    ASSERT_FALSE(expected.empty());
    for (int nSignal : {SIGTERM, SIGINT})
    {
        SCOPED_TRACE(nSignal);
        const fs::path outDir = m_dir / Numbered("out", nSignal, "");
        fs::create_directories(outDir);
        // Targets from before: each must end either as it was or complete.
        const Bytes old = {'O', 'L', 'D'};
        for (int i = 0; i < kFiles; i += 7)
            WriteBytes(outDir / Numbered("p", i, ".tim"), old);
        std::vector<std::string> args = {"--to", ".tim", "--out-dir", outDir.string(), "-j", "2"};
        args.insert(args.end(), names.begin(), names.end());
        RunOptions options;
        // Stop it once its workers are writing.
        options.whileRunning = [&](pid_t pid) {
            const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (HiddenNames(outDir).empty() && std::chrono::steady_clock::now() < tEnd)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            ::kill(pid, nSignal);
        };
        const RunResult r = RunConv(args, m_dir, options);
        // Whatever it managed to finish: the signal came while it was writing.
        EXPECT_EQ(r.nExit, 128 + nSignal) << r.err;
        EXPECT_TRUE(HiddenNames(outDir).empty());
        for (const fs::directory_entry& e : fs::directory_iterator(outDir))
        {
            const Bytes now = ReadBytes(e.path());
            EXPECT_TRUE(now == expected || now == old) << e.path();
        }
        // A line only for a file in place.
        for (const std::string& strLine : Lines(r.out))
        {
            const std::string strOut = strLine.substr(strLine.find('\t') + 1, strLine.rfind('\t') - strLine.find('\t') - 1);
            EXPECT_EQ(ReadBytes(strOut), expected) << strLine;
        }
    }
}

TEST_F(ConvBatchTest, ASignalWhileStandardOutputIsFullLosesNoLineAndEndsTheRunWithItsStatus)
{
    constexpr int kFiles = 300;
    std::vector<std::string> args = {"--to", ".tim", "--out-dir", "out", "-j", "2"};
    for (int i = 0; i < kFiles; ++i)
    {
        args.push_back(Numbered("in/p", i, ".bmp"));
        WriteBytes(m_dir / args.back(), MakeSampleBmp(16, 16));
    }
    // Standard output on a pipe of one page, which nobody reads until the signal came: the
    // lines of 300 files need a few pages.
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const int nCapacity = ::fcntl(out[0], F_SETPIPE_SZ, 4096);
    ASSERT_GT(nCapacity, 0);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const int fdErr = ::open((m_dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdErr < 0 || ::dup2(out[1], 1) < 0 || ::dup2(fdErr, 2) < 0 || ::chdir(m_dir.c_str()) != 0)
            ::_exit(126);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv{const_cast<char*>(VELLUMCONV_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELLUMCONV_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // The lines come once every file is in place; wait until they fill the pipe and the
    // converter waits in its write.
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto waiting = [&] {
        int nQueued = 0;
        if (::ioctl(out[0], FIONREAD, &nQueued) != 0 || nQueued < nCapacity)
            return false;
        std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
        std::string strWhere;
        // Where the kernel does not tell, a full pipe has to do.
        return !std::getline(wchan, strWhere) || strWhere.find("pipe_write") != std::string::npos || strWhere == "0";
    };
    while (!waiting() && std::chrono::steady_clock::now() < tEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(waiting()) << "the lines never filled the pipe";
    ::kill(pid, SIGTERM);
    std::string strOut;
    ReadAll(out[0], strOut);
    ::close(out[0]);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    EXPECT_EQ(nExit, 128 + SIGTERM);
    const std::vector<std::string> lines = Lines(strOut);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i)
    {
        const std::string strOutput = Numbered("out/p", i, ".tim");
        ASSERT_TRUE(fs::is_regular_file(m_dir / strOutput)) << strOutput;
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& strLine) {
            return strLine.rfind(Numbered("in/p", i, ".bmp\t") + strOutput + "\t", 0) == 0;
        })) << strOutput << " has no line";
    }
}

TEST_F(ConvBatchTest, ProgressShowsOnlyOnATerminal)
{
    for (int i = 0; i < 20; ++i)
        WriteBytes(m_dir / Numbered("in/f", i, ".bmp"), MakeSampleBmp(16, 16));
    std::vector<std::string> args = {"--to", ".tim", "--out-dir", "out"};
    for (int i = 0; i < 20; ++i)
        args.push_back(Numbered("in/f", i, ".bmp"));
    RunOptions terminal;
    terminal.bTerminal = true;
    const RunResult onTerminal = RunConv(args, m_dir, terminal);
    EXPECT_EQ(onTerminal.nExit, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("20 of 20 files"), std::string::npos) << onTerminal.err;

    const RunResult onPipe = RunConv(args, m_dir);
    EXPECT_EQ(onPipe.nExit, 0);
    EXPECT_EQ(onPipe.err, "");
    EXPECT_EQ(Lines(onPipe.out).size(), 20u);
}
