// Streams through the program: '-' and FIFOs as inputs give what the file gives (a scan
// larger than its window included), '-' as an output writes the whole file to standard
// output for export and palette export and is a usage error everywhere else, and a failed
// write to standard output fails the run.

#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunOptions;
using convproc::RunResult;

// Far past any run here; a run that waits for a writer is killed then.
constexpr int HANG_SECONDS = 10;

class ConvStream : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vellum-stream-test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        WriteBytes(m_dir / "x.tim", MakeSampleTim(32, 24));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    RunResult Run(const std::vector<std::string>& args, const RunOptions& given = {}) const
    {
        RunOptions options = given;
        options.nHangSeconds = HANG_SECONDS;
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }
    // A shell line with the program as $V: pipes of any size, as a user writes them.
    RunResult Shell(const std::string& strLine) const
    {
        RunOptions options;
        options.nHangSeconds = HANG_SECONDS;
        return convproc::Run("/bin/sh", {"-c", "V='" VELLUMCONV_PATH "'; " + strLine}, m_dir, options);
    }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(m_dir))
            names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Each line's first field (the FILE) replaced, so a stream's finds compare with the file's.
std::string WithoutFile(const std::string& strLines, const std::string& strFile, const std::string& strAs)
{
    std::string s = strLines;
    for (std::size_t n = s.find(strFile); n != std::string::npos; n = s.find(strFile, n + strAs.size()))
        s.replace(n, strFile.size(), strAs);
    return s;
}

// A container of 600 KiB, well past the scan's 128 KiB window: items at its start, astride a
// window's end and at its end, among bytes no format reads.
Bytes MakeContainer()
{
    Bytes data(600 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 7919u) >> 5);
    const Bytes tim = MakeSampleTim(32, 24);
    const Bytes bmp = MakeSampleBmp(40, 30);
    for (const std::size_t nAt : {std::size_t{0}, std::size_t{128 * 1024 - 100}, data.size() - tim.size()})
        std::copy(tim.begin(), tim.end(), data.begin() + static_cast<std::ptrdiff_t>(nAt));
    std::copy(bmp.begin(), bmp.end(), data.begin() + 300 * 1024 + 3);
    return data;
}

}  // namespace

TEST_F(ConvStream, ExportFromAPipeToStandardOutputIsTheFilesExport)
{
    const RunResult file = Run({"export", "x.tim", "y.png"});
    ASSERT_EQ(file.nExit, 0) << file.err;
    const RunResult piped = Shell("cat x.tim | \"$V\" export - - > z.png");
    ASSERT_EQ(piped.nExit, 0) << piped.err;
    EXPECT_EQ(ReadBytes(m_dir / "z.png"), ReadBytes(m_dir / "y.png"));
    // Standard output holds the PNG alone: no status line in its way.
    const RunResult direct = Run({"export", "x.tim", "-"});
    EXPECT_EQ(direct.nExit, 0) << direct.err;
    EXPECT_EQ(direct.out, Text(ReadBytes(m_dir / "y.png")));
    // Process substitution, a pipe named /dev/fd/N, reads the same way.
    const RunResult sub = convproc::Run("/bin/bash", {"-c", "'" VELLUMCONV_PATH "' export <(cat x.tim) w.png"}, m_dir);
    EXPECT_EQ(sub.nExit, 0) << sub.err;
    EXPECT_EQ(ReadBytes(m_dir / "w.png"), ReadBytes(m_dir / "y.png"));
}

TEST_F(ConvStream, EveryFormThatConvertsReadsStandardInput)
{
    const std::string strTim = Text(ReadBytes(m_dir / "x.tim"));
    RunOptions in;
    in.strStdin = strTim;
    EXPECT_EQ(Run({"x.tim", "a.bmp"}).nExit, 0);
    const RunResult plain = Run({"-", "b.bmp"}, in);
    EXPECT_EQ(plain.nExit, 0) << plain.err;
    EXPECT_EQ(ReadBytes(m_dir / "b.bmp"), ReadBytes(m_dir / "a.bmp"));
    // In a batch, standard input's output is named stdin.EXT.
    const RunResult batch = Run({"--to", ".bmp", "--out-dir", "out", "-"}, in);
    EXPECT_EQ(batch.nExit, 0) << batch.err;
    EXPECT_EQ(batch.out, "-\tout/stdin.bmp\tsize:64x24\n");
    EXPECT_EQ(ReadBytes(m_dir / "out/stdin.bmp"), ReadBytes(m_dir / "a.bmp"));
    const RunResult gpl = Run({"palette", "export", "--format", "gpl", "-", "-"}, in);
    EXPECT_EQ(gpl.nExit, 0) << gpl.err;
    EXPECT_EQ(Run({"palette", "export", "x.tim", "p.gpl"}).nExit, 0);
    // The palette's name is the one names made from standard input take.
    EXPECT_EQ(WithoutFile(gpl.out, "Name: stdin", "Name: x.tim"), Text(ReadBytes(m_dir / "p.gpl")));

    // An empty stream is refused at once, by name.
    const RunResult empty = Run({"scan", "-"});
    EXPECT_EQ(empty.nExit, 1);
    EXPECT_TRUE(Has(empty.err, "vellumconv: -: Cannot open \"-\": standard input is empty.")) << empty.err;
}

TEST_F(ConvStream, AScanOfAStreamFindsWhatTheScanOfTheFileFinds)
{
    const Bytes container = MakeContainer();
    WriteBytes(m_dir / "disc.bin", container);
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, std::vector<std::string>{"--json"}})
    {
        std::vector<std::string> fileArgs{"scan"}, streamArgs{"scan"};
        fileArgs.insert(fileArgs.end(), options.begin(), options.end());
        streamArgs.insert(streamArgs.end(), options.begin(), options.end());
        fileArgs.push_back("disc.bin");
        const RunResult file = Run(fileArgs);
        ASSERT_EQ(file.nExit, 0) << file.err;
        ASSERT_EQ(std::count(file.out.begin(), file.out.end(), '\n'), 4) << file.out;
        std::string strLine = "cat disc.bin | \"$V\"";
        for (const std::string& a : streamArgs)
            strLine += " " + a;
        const RunResult stream = Shell(strLine + " -");
        EXPECT_EQ(stream.nExit, 0) << stream.err;
        EXPECT_EQ(WithoutFile(stream.out, options.empty() ? "-\t" : "\"file\":\"-\"",
                              options.empty() ? "disc.bin\t" : "\"file\":\"disc.bin\""),
                  file.out);
    }
    // Extraction names the stream stdin, and writes the same bytes.
    ASSERT_EQ(Run({"scan", "--extract", "a", "disc.bin"}).nExit, 0);
    const RunResult extract = Shell("cat disc.bin | \"$V\" scan --extract b -");
    ASSERT_EQ(extract.nExit, 0) << extract.err;
    std::size_t nFiles = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(m_dir / "a"))
    {
        const std::string strName = e.path().filename().string();
        ASSERT_EQ(strName.rfind("disc.bin@", 0), 0u) << strName;
        const fs::path other = m_dir / "b" / ("stdin" + strName.substr(8));
        EXPECT_EQ(ReadBytes(other), ReadBytes(e.path())) << other;
        ++nFiles;
    }
    EXPECT_EQ(nFiles, 4u);
}

TEST_F(ConvStream, AFifoWithAWriterIsReadAsAStream)
{
    const Bytes container = MakeContainer();
    WriteBytes(m_dir / "disc.bin", container);
    const RunResult file = Run({"scan", "disc.bin"});
    ASSERT_EQ(file.nExit, 0) << file.err;
    ASSERT_EQ(::mkfifo((m_dir / "f").c_str(), 0600), 0);
    // Open for both ends, so the writer is there before the program opens it; the program
    // sees the end once this writer has written everything and closed.
    // Close-on-exec: the program must not hold a writer of its own.
    const int fd = ::open((m_dir / "f").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::thread writer([&] {
        std::size_t nDone = 0;
        while (nDone < container.size())
        {
            const ssize_t n = ::write(fd, container.data() + nDone, container.size() - nDone);
            if (n <= 0)
                break;
            nDone += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    const RunResult fifo = Run({"scan", "f"});
    writer.join();
    EXPECT_FALSE(fifo.bHung);
    EXPECT_EQ(fifo.nExit, 0) << fifo.err;
    EXPECT_EQ(WithoutFile(fifo.out, "f\t", "disc.bin\t"), file.out);
}

TEST_F(ConvStream, DashIsAnOutputOnlyOfTheTwoExportsAndAnInputOnce)
{
    WriteBytes(m_dir / "p.png", {});
    const std::vector<std::vector<std::string>> refused = {
        {"x.tim", "-"},
        {"import", "p.png", "-"},
        {"--open", "x.tim", "--save", "-"},
        {"--open", "x.tim", "--render", "-"},
        {"--to", ".bmp", "--out-dir", "-", "x.tim"},
        {"scan", "--extract", "-", "x.tim"},
        {"palette", "import", "x.tim", "x.tim", "-"},
        {"replace", "--output", "-", "x.tim", "x.tim@0.tim"},
    };
    const std::vector<std::string> before = Listing();
    for (const std::vector<std::string>& args : refused)
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "'-' (standard output) is an output only of 'export' (the PNG) and 'palette export'"))
            << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(Listing(), before);

    const RunResult twice = Run({"--to", ".bmp", "-", "x.tim", "-"});
    EXPECT_EQ(twice.nExit, 2) << twice.err;
    const RunResult two = Run({"palette", "import", "-", "-", "o.tim"});
    EXPECT_EQ(two.nExit, 2);
    EXPECT_TRUE(Has(two.err, "'-' (standard input) is named more than once")) << two.err;
    RunOptions list;
    list.strStdin = "x.tim\n";
    const RunResult both = Run({"--to", ".bmp", "--files-from", "-", "-"}, list);
    EXPECT_EQ(both.nExit, 2);
    EXPECT_TRUE(Has(both.err, "holds the list of --files-from")) << both.err;
    const RunResult noFormat = Run({"palette", "export", "x.tim", "-"});
    EXPECT_EQ(noFormat.nExit, 2);
    EXPECT_TRUE(Has(noFormat.err, "needs '--format gpl|act|pal'")) << noFormat.err;
    EXPECT_EQ(Run({"palette", "export", "--format", "act", "x.tim", "o.gpl"}).nExit, 2);
}

TEST_F(ConvStream, AFailedWriteToStandardOutputFailsTheRun)
{
    RunOptions full;
    full.strStdoutFile = "/dev/full";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "x.tim", "-"},
          std::vector<std::string>{"palette", "export", "--format", "act", "x.tim", "-"}})
    {
        const RunResult r = Run(args, full);
        EXPECT_EQ(r.nExit, 1) << args[0] << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "cannot write standard output: No space left on device.")) << r.err;
    }
    // A reader that goes away: the run says so and fails, not killed by the signal.
    // Pixels that do not compress: a PNG far larger than a pipe holds.
    Bytes big = MakeSampleBmp(1024, 1024);
    std::uint32_t nState = 12345;
    for (std::size_t i = big[10] + std::size_t{big[11]} * 256; i < big.size(); ++i)
    {
        nState = nState * 1103515245u + 12345u;
        big[i] = static_cast<std::uint8_t>(nState >> 24);
    }
    WriteBytes(m_dir / "big.bmp", big);
    const RunResult status = convproc::Run(
        "/bin/bash", {"-c", "'" VELLUMCONV_PATH "' export big.bmp - | head -c 1 >/dev/null; echo ${PIPESTATUS[0]}"}, m_dir);
    EXPECT_EQ(status.out, "1\n") << status.err;
    EXPECT_TRUE(Has(status.err, "cannot write standard output: Broken pipe.")) << status.err;
}

TEST_F(ConvStream, AStreamThatCannotBeCopiedIsRefusedAndWritesNothing)
{
    const RunResult r = Shell("cat x.tim | TMPDIR=/nonexistent \"$V\" export - y.png");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_TRUE(Has(r.err, "Cannot open \"-\": cannot make its copy in /nonexistent: No such file or directory."))
        << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "y.png"));
}
