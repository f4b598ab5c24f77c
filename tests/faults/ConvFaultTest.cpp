// The converter with every I/O call it makes failing in turn, with every error: a single
// conversion, a batch of several files on two workers, export, import and a replace in place. After each run
// every target is its old bytes or its new ones, whole; a file is reported as converted
// exactly when its target is new; the exit status says whether anything failed, and the
// message gives the failure's cause; no temporary is left; and the next run sweeps what a
// dead run left. VELLUM_FAULT_REPEAT=N sweeps the batches N times (scripts/fault-sweep.sh).

#include "tests/faults/FaultRuns.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ConvRun
{
    int nExit = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the fault-injecting converter in dir with VELLUM_FAULT set to strFault (if any).
ConvRun RunConv(const fs::path& dir, const std::vector<std::string>& args, const std::string& strFault,
            const std::string& strCounts = {}, rlim_t nOpenFiles = 0, rlim_t nHardOpenFiles = 0)
{
    const fs::path out = dir / "log/out", err = dir / "log/err";
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdOut < 0 || fdErr < 0 || ::dup2(fdOut, 1) < 0 || ::dup2(fdErr, 2) < 0 || ::chdir(dir.c_str()) != 0)
            ::_exit(126);
        if (!strFault.empty())
            ::setenv("VELLUM_FAULT", strFault.c_str(), 1);
        if (!strCounts.empty())
            ::setenv("VELLUM_FAULT_COUNTS", strCounts.c_str(), 1);
        const rlimit lim{nOpenFiles, nHardOpenFiles != 0 ? nHardOpenFiles : nOpenFiles};
        if (nOpenFiles != 0 && ::setrlimit(RLIMIT_NOFILE, &lim) != 0)
            ::_exit(125);
        std::vector<char*> argv{const_cast<char*>(VELLUMCONV_FAULTS_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELLUMCONV_FAULTS_PATH, argv.data());
        ::_exit(127);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    ConvRun r;
    r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Target
{
    std::string strPath;           // relative to the run's folder
    std::string strInput;          // the input whose output it is, as the batch names it
    std::optional<Bytes> old;      // what is there before the run
    bool bLinked = false;          // it has a second name, "NAME-2": written in place
};

struct Operation
{
    const char* pszName;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, Bytes>> inputs;
    std::vector<Target> targets;
    bool bBatch = false;
};

class ConvFaults : public ::testing::TestWithParam<int>
{
protected:
    // The folders as they are before each run: inputs, old targets, a dead run's temporary.
    void Prepare(const Operation& op)
    {
        for (const char* pszSub : {"out", "log", "in"})
            fs::create_directories(m_dir / pszSub);
        for (const fs::directory_entry& e : fs::directory_iterator(m_dir / "out"))
            fs::remove_all(e.path());
        for (const auto& [name, bytes] : op.inputs)
            WriteBytes(m_dir / name, bytes);
        for (const Target& t : op.targets)
            if (t.old)
            {
                fs::create_directories((m_dir / t.strPath).parent_path());
                WriteBytes(m_dir / t.strPath, *t.old);
                if (t.bLinked)
                    fs::create_hard_link(m_dir / t.strPath, m_dir / (t.strPath + "-2"));
            }
        WriteBytes(m_dir / "out" / kDeadTemporary, {'d'});
        if (!op.targets[0].old && op.targets.size() == 1)
            WriteBytes(m_dir / fs::path(op.targets[0].strPath).parent_path() / kDeadTemporary, {'d'});
    }
    Operation MakeOperation(int n, const Bytes& png) const;

    ScratchDir m_scratch;
    fs::path m_dir{m_scratch.Path()};
};

Operation ConvFaults::MakeOperation(int n, const Bytes& png) const
{
    const Bytes tim = MakeSampleTim(64, 100);
    const Bytes old = MakeSampleBmp(5, 3);
    switch (n)
    {
    case 0:
        return {"single conversion", {"in/a.tim", "out/a.bmp"}, {{"in/a.tim", tim}}, {{"out/a.bmp", "in/a.tim", old}}};
    case 1:
    {
        Operation op{"batch of four on two workers", {"--to", ".bmp", "--out-dir", "out/sub", "-j", "2"}, {}, {}, true};
        const char* kNames[] = {"a", "b", "c", "d"};
        for (int i = 0; i < 4; ++i)
        {
            const std::string in = std::string("in/") + kNames[i] + ".tim";
            op.args.push_back(in);
            op.inputs.push_back({in, MakeSampleTim(32 + 8 * i, 40)});
            Target t{std::string("out/sub/") + kNames[i] + ".bmp", in, std::nullopt};
            if (i == 1)
                t.old = old;
            if (i == 2)
                t.old = old, t.bLinked = true;
            op.targets.push_back(t);
        }
        return op;
    }
    case 2:
        return {"export", {"export", "in/a.tim", "out/a.png"}, {{"in/a.tim", tim}}, {{"out/a.png", "in/a.tim", old}}};
    case 3:
        return {"import", {"import", "--bpp", "8", "in/a.png", "out/a.tim"}, {{"in/a.png", png}},
                {{"out/a.tim", "in/a.png", old}}};
    case 4:
        return {"batch into folders it makes",
                {"--to", ".fnt", "--out-dir", "out/made/deeper", "-j", "2", "in/a.tim", "in/b.tim"},
                {{"in/a.tim", tim}, {"in/b.tim", MakeSampleTim(16, 16)}},
                {{"out/made/deeper/a.fnt", "in/a.tim", std::nullopt}, {"out/made/deeper/b.fnt", "in/b.tim", std::nullopt}},
                true};
    default:
    {
        // An archive with a second name, changed in place: both names see the same bytes.
        const Bytes item = MakeSampleTim(32, 40);
        Bytes edited = item;
        for (std::size_t i = item.size() - 64 * 40; i < item.size(); ++i)
            edited[i] = static_cast<std::uint8_t>(edited[i] ^ 0x3C);
        Bytes archive(8000, 0x20);
        std::copy(item.begin(), item.end(), archive.begin() + 1000);
        return {"replace in place", {"replace", "out/archive.bin", "in/archive.bin@1000.tim"},
                {{"in/archive.bin@1000.tim", edited}}, {{"out/archive.bin", "in/archive.bin@1000.tim", archive, true}}};
    }
    }
}

TEST_P(ConvFaults, EveryCallFailsInTurn)
{
    Bytes png;
    if (GetParam() == 3)
    {
        fs::create_directories(m_dir / "log");
        WriteBytes(m_dir / "src.tim", MakeSampleTim(64, 100));
        ASSERT_EQ(RunConv(m_dir, {"export", "src.tim", "src.png"}, {}).nExit, 0);
        png = ReadBytes(m_dir / "src.png");
    }
    const Operation op = MakeOperation(GetParam(), png);
    Prepare(op);
    const fs::path counts = m_dir / "log/counts";
    const ConvRun clean = RunConv(m_dir, op.args, {}, counts.string());
    ASSERT_EQ(clean.nExit, 0) << clean.err;
    std::map<std::string, Bytes> expected;
    for (const Target& t : op.targets)
        expected[t.strPath] = ReadBytes(m_dir / t.strPath);
    std::map<std::string, long> calls;
    {
        std::ifstream in(counts);
        std::string name;
        long n = 0;
        while (in >> name >> n)
            calls[name] = n;
    }

    // A batch's workers meet the calls in another order each run; a long run repeats it.
    const char* pszRepeat = std::getenv("VELLUM_FAULT_REPEAT");
    const int nRepeat = op.bBatch && pszRepeat != nullptr ? std::max(1, std::atoi(pszRepeat)) : 1;
    FaultTally tally;
    for (int f = 0; f < static_cast<int>(EFault::Count) * nRepeat; ++f)
    {
        const EFault family = static_cast<EFault>(f % static_cast<int>(EFault::Count));
        const long nCalls = calls[FaultName(family)];
        tally.nCalls += nCalls;
        const long nStride = kSanitized && op.bBatch ? 3 : 1;
        for (long n = 1 + f / static_cast<int>(EFault::Count) % nStride; n <= nCalls; n += nStride)
            for (int nError : ErrorsFor(family))
            {
                const std::string fault = std::string(FaultName(family)) + ":" + std::to_string(n) + ":" +
                                          FaultErrorName(nError);
                SCOPED_TRACE(fault);
                Prepare(op);
                const ConvRun r = RunConv(m_dir, op.args, fault, counts.string());
                ASSERT_TRUE(r.nExit == 0 || r.nExit == 1) << r.nExit << " " << r.err;
                if (Slurp(counts).find("fired 1") == std::string::npos)
                    continue;  // a batch's workers share the files differently from run to run
                ++tally.nInjected;
                if (MustBeRetried(nError))
                {
                    ++tally.nRetried;
                    EXPECT_EQ(r.nExit, 0) << r.err;
                    EXPECT_EQ(r.out, clean.out);
                }
                if (r.nExit == 0)
                {
                    EXPECT_EQ(r.out, clean.out);
                    EXPECT_EQ(r.err, "");
                }
                else
                {
                    ++tally.nFailed;
                    // The first message names the failure's cause (a single run may go on to
                    // say what followed from it, as "no file loaded." after a failed open).
                    const std::vector<std::string> lines = Lines(r.err);
                    ASSERT_FALSE(lines.empty());
                    EXPECT_NE(lines[0].find(std::strerror(nError)), std::string::npos) << r.err;
                    for (const std::string& line : lines)
                        EXPECT_TRUE(line.find(std::strerror(nError)) != std::string::npos ||
                                    line.find("\"no file loaded.\"") != std::string::npos)
                            << line;
                }
                const std::vector<std::string> reported = Lines(r.out);
                for (const Target& t : op.targets)
                {
                    SCOPED_TRACE(t.strPath);
                    // A file is new exactly when it is reported converted.
                    bool bReported = r.nExit == 0;
                    if (op.bBatch)
                        bReported = std::any_of(reported.begin(), reported.end(), [&](const std::string& line) {
                            return line.rfind(t.strInput + "\t", 0) == 0;
                        });
                    const fs::path path = m_dir / t.strPath;
                    if (bReported)
                        EXPECT_EQ(ReadBytes(path), expected[t.strPath]);
                    else if (t.old)
                        EXPECT_EQ(ReadBytes(path), *t.old);
                    else
                        EXPECT_FALSE(fs::exists(path));
                    if (t.bLinked && fs::exists(path))
                    {
                        EXPECT_EQ(ReadBytes(path.string() + "-2"), ReadBytes(path));
                    }
                }
                const fs::path outDir = m_dir / fs::path(op.targets[0].strPath).parent_path();
                std::set<std::string> hidden = HiddenIn(outDir.string());
                hidden.erase(kDeadTemporary);
                if (family != EFault::Unlink)
                {
                    EXPECT_TRUE(hidden.empty()) << *hidden.begin();
                }
                // The next run goes through and sweeps what a dead run or a failed removal left.
                if (r.nExit != 0 || !HiddenIn(outDir.string()).empty())
                {
                    const ConvRun again = RunConv(m_dir, op.args, {});
                    EXPECT_EQ(again.nExit, 0) << again.err;
                    EXPECT_TRUE(HiddenIn(outDir.string()).empty());
                    for (const Target& t : op.targets)
                        EXPECT_EQ(ReadBytes(m_dir / t.strPath), expected[t.strPath]);
                }
                if (HasFailure())
                    return;
            }
    }
    tally.Print(op.pszName);
}

// Every output stays open until its commit; a batch with more outputs than it may hold open
// commits them in rounds, a sync for each, and still reports each file once it is in place.
TEST(ConvOpenFiles, ABatchBeyondTheOpenFileLimitCommitsInRounds)
{
    ScratchDir scratch;
    const fs::path dir = scratch.Path();
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "log");
    std::vector<std::string> args = {"--to", ".bmp", "--out-dir", "out", "-j", "2"};
    std::string expectedOut;
    for (int i = 0; i < 90; ++i)
    {
        std::string name = "in/f";
        name += std::to_string(i);
        WriteBytes(dir / (name + ".tim"), MakeSampleTim(8, 4 + i % 5));
        args.push_back(name + ".tim");
    }
    const ConvRun whole = RunConv(dir, args, {});
    ASSERT_EQ(whole.nExit, 0) << whole.err;
    std::map<std::string, Bytes> expected;
    for (const fs::directory_entry& e : fs::directory_iterator(dir / "out"))
        expected[e.path().filename().string()] = ReadBytes(e.path());
    ASSERT_EQ(expected.size(), 90u);
    fs::remove_all(dir / "out");

    const fs::path counts = dir / "log/counts";
    const ConvRun r = RunConv(dir, args, {}, counts.string(), 64);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, whole.out);
    const std::string tally = Slurp(counts);
    const std::size_t nAt = tally.find("syncfs ");
    ASSERT_NE(nAt, std::string::npos);
    EXPECT_GE(std::atoi(tally.c_str() + nAt + 7), 3) << "the batch did not commit in rounds";
    for (const auto& [name, bytes] : expected)
        EXPECT_EQ(ReadBytes(dir / "out" / name), bytes) << name;
    EXPECT_TRUE(HiddenIn((dir / "out").string()).empty());

    // A low soft limit under a higher hard one is raised: one round.
    fs::remove_all(dir / "out");
    const ConvRun raised = RunConv(dir, args, {}, counts.string(), 64, 1024);
    EXPECT_EQ(raised.nExit, 0) << raised.err;
    EXPECT_NE(Slurp(counts).find("syncfs 1\n"), std::string::npos) << Slurp(counts);
}

std::string OperationName(const ::testing::TestParamInfo<int>& info)
{
    const char* kOperations[] = {"Single", "Batch", "Export", "Import", "BatchMakingFolders", "Replace"};
    return kOperations[info.param];
}

INSTANTIATE_TEST_SUITE_P(Operations, ConvFaults, ::testing::Range(0, 6), OperationName);

}  // namespace

TEST(ConvOpenFiles, AnExtractionBeyondTheOpenFileLimitCommitsInRounds)
{
    ScratchDir scratch;
    const fs::path dir = scratch.Path();
    fs::create_directories(dir / "log");
    Bytes archive;
    std::map<std::string, Bytes> expected;
    for (int i = 0; i < 150; ++i)
    {
        const Bytes tim = MakeSampleTim(8, 4 + i % 5);
        expected["archive.bin@" + std::to_string(archive.size()) + ".tim"] = tim;
        archive.insert(archive.end(), tim.begin(), tim.end());
    }
    WriteBytes(dir / "archive.bin", archive);

    const fs::path counts = dir / "log/counts";
    const ConvRun r = RunConv(dir, {"scan", "--extract", "out", "archive.bin"}, {}, counts.string(), 96);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 150);
    const std::string tally = Slurp(counts);
    const std::size_t nAt = tally.find("syncfs ");
    ASSERT_NE(nAt, std::string::npos);
    EXPECT_GE(std::atoi(tally.c_str() + nAt + 7), 3) << "the extraction did not commit in rounds";
    std::size_t nFiles = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(dir / "out"))
    {
        ++nFiles;
        EXPECT_EQ(ReadBytes(e.path()), expected[e.path().filename().string()]) << e.path();
    }
    EXPECT_EQ(nFiles, expected.size());
}
