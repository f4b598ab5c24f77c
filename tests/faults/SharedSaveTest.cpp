// The converter's saves where other users and other runs are: a link that another user
// planted in a shared folder is never written through, whichever verb saves, and two runs
// that write one file in place at the same moment leave one of their results, whole.

#include "tests/formats/SampleFiles.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

convproc::RunResult Conv(const fs::path& dir, const std::vector<std::string>& args)
{
    return convproc::Run(VELLUMCONV_PATH, args, dir);
}

class SharedSave : public ::testing::Test
{
protected:
    ScratchDir m_scratch;
    fs::path m_dir{m_scratch.Path()};
};

TEST_F(SharedSave, ALinkNobodyPlantedIsNotFollowedByAnyVerb)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to save where another user planted a link";
    // /tmp as it is: sticky, everyone may write.
    ASSERT_EQ(::chmod(m_dir.c_str(), 0755), 0);
    const fs::path shared = m_dir / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const Bytes victim = {'V', 'I', 'C', 'T', 'I', 'M'};
    WriteBytes(m_dir / "victim", victim);
    WriteBytes(m_dir / "picture.tim", MakeSampleTim(8, 8));
    AsOrdinaryUser({}, [&] {
        for (const char* name : {"out.bmp", "picture.bmp", "out.png", "dangling.bmp"})
            ASSERT_EQ(::symlink(std::string(name) == "dangling.bmp" ? (m_dir / "made").c_str() : (m_dir / "victim").c_str(),
                                (shared / name).c_str()),
                      0);
    });
    const std::string refused = " is a link owned by nobody in a shared folder; not followed.";
    struct Case
    {
        std::vector<std::string> args;
        std::string link;
    } cases[] = {
        {{"picture.tim", "shared/out.bmp"}, "shared/out.bmp"},
        {{"picture.tim", "shared/dangling.bmp"}, "shared/dangling.bmp"},
        {{"--to", ".bmp", "--out-dir", "shared", "picture.tim"}, "shared/picture.bmp"},
        {{"export", "picture.tim", "shared/out.png"}, "shared/out.png"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.args.back());
        const convproc::RunResult r = Conv(m_dir, c.args);
        EXPECT_EQ(r.nExit, 1);
        EXPECT_NE(r.err.find("Cannot save \"" + c.link + "\": " + c.link + refused), std::string::npos) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "victim"), victim);
        EXPECT_FALSE(fs::exists(m_dir / "made"));
        EXPECT_EQ(ScratchDir::Entries(shared.string()),
                  (std::set<std::string>{"dangling.bmp", "out.bmp", "out.png", "picture.bmp"}));
    }
}

TEST_F(SharedSave, TwoRunsWritingOneFileInPlaceLeaveOneWholeResult)
{
    // Two pictures of a few hundred kilobytes into one file with two names, started together.
    WriteBytes(m_dir / "a.bmp", MakeSampleBmp(640, 480));
    WriteBytes(m_dir / "b.bmp", MakeSampleBmp(600, 520));
    ASSERT_EQ(Conv(m_dir, {"a.bmp", "a.tim"}).nExit, 0);
    ASSERT_EQ(Conv(m_dir, {"b.bmp", "b.tim"}).nExit, 0);
    const Bytes a = ReadBytes(m_dir / "a.tim");
    const Bytes b = ReadBytes(m_dir / "b.tim");
    const Bytes old(1 << 20, 0x6F);
    int nMixed = 0, nA = 0;
    for (int nRound = 0; nRound < 100; ++nRound)
    {
        fs::remove(m_dir / "out.tim");
        fs::remove(m_dir / "second.tim");
        WriteBytes(m_dir / "out.tim", old);
        fs::create_hard_link(m_dir / "out.tim", m_dir / "second.tim");
        convproc::RunResult results[2];
        std::thread other([&] { results[1] = Conv(m_dir, {"b.bmp", "out.tim"}); });
        results[0] = Conv(m_dir, {"a.bmp", "out.tim"});
        other.join();
        EXPECT_EQ(results[0].nExit, 0) << results[0].err;
        EXPECT_EQ(results[1].nExit, 0) << results[1].err;
        const Bytes now = ReadBytes(m_dir / "out.tim");
        if (now != a && now != b)
            ++nMixed;
        nA += now == a ? 1 : 0;
        EXPECT_TRUE(now == ReadBytes(m_dir / "second.tim"));
        if (HasFailure())
            break;
    }
    EXPECT_EQ(nMixed, 0) << "rounds of 100 that mixed the two";
    std::printf("in place: 100 rounds of two runs at once: %d left A's result, %d B's, %d mixed\n", nA,
                100 - nA - nMixed, nMixed);
    std::set<std::string> hidden;
    for (const std::string& name : m_scratch.Entries())
        if (name[0] == '.')
            hidden.insert(name);
    EXPECT_TRUE(hidden.empty());
}

TEST_F(SharedSave, ABatchOnWorkersWritesFilesWithOtherNamesInPlace)
{
    // The workers hand their saves in place to the parent with the targets they checked.
    const fs::path out = m_dir / "out";
    fs::create_directory(out);
    std::vector<std::string> args = {"-j", "2", "--to", ".tim", "--out-dir", "out"};
    std::vector<Bytes> expected;
    for (int i = 0; i < 6; ++i)
    {
        const std::string name = "p" + std::to_string(i);
        WriteBytes(m_dir / (name + ".bmp"), MakeSampleBmp(32 + 8 * i, 24));
        ASSERT_EQ(Conv(m_dir, {name + ".bmp", name + ".tim"}).nExit, 0);
        expected.push_back(ReadBytes(m_dir / (name + ".tim")));
        WriteBytes(out / (name + ".tim"), Bytes(100, 0x6F));
        fs::create_hard_link(out / (name + ".tim"), m_dir / (name + ".other"));
        args.push_back(name + ".bmp");
    }
    const convproc::RunResult r = Conv(m_dir, args);
    ASSERT_EQ(r.nExit, 0) << r.err;
    for (int i = 0; i < 6; ++i)
    {
        const std::string name = "p" + std::to_string(i);
        EXPECT_EQ(ReadBytes(out / (name + ".tim")), expected[static_cast<std::size_t>(i)]) << name;
        EXPECT_EQ(ReadBytes(m_dir / (name + ".other")), expected[static_cast<std::size_t>(i)]) << name;
    }
    for (const std::string& name : ScratchDir::Entries(out.string()))
        EXPECT_NE(name[0], '.') << name;
}

}  // namespace
