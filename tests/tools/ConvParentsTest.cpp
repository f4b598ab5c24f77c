// Trees through the program: --parents keeps same-named files of different folders apart
// under --out-dir, refuses inputs outside its base, and leaves no folder a batch made that
// holds none of its outputs; without it, a collision refusal names every pair, up to 20.

#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using convproc::RunOptions;
using convproc::RunResult;
using namespace std::string_literals;

constexpr int HANG_SECONDS = 30;

class ConvParents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vellum-parents-test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    RunResult Run(const std::vector<std::string>& args, const RunOptions& given = {}) const
    {
        RunOptions options = given;
        options.nHangSeconds = HANG_SECONDS;
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }
    // The same picture under a different size in each folder, so a mix-up shows.
    void MakeWalls(const std::vector<std::string>& folders) const
    {
        int n = 0;
        for (const std::string& strFolder : folders)
        {
            fs::create_directories(m_dir / strFolder);
            WriteBytes(m_dir / strFolder / "wall.tim", MakeSampleTim(8 + 4 * n++, 8));
        }
    }

    fs::path m_dir;
};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

}  // namespace

TEST_F(ConvParents, MirrorsATreeOfSameNamedFilesFromAListOnStandardInput)
{
    MakeWalls({"assets/a", "assets/b/c", "assets/d"});
    RunOptions list;
    list.strStdin = "assets/a/wall.tim\0assets/b/c/wall.tim\0assets/d/wall.tim\0"s;
    const RunResult r = Run({"--to", ".bmp", "--out-dir", "out", "--parents", "-0", "--files-from", "-"}, list);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "assets/b/c/wall.tim\tout/assets/b/c/wall.bmp\tsize:24x8\0"s)) << r.out;
    for (const std::string& strFolder : std::vector<std::string>{"assets/a", "assets/b/c", "assets/d"})
    {
        ASSERT_EQ(Run({strFolder + "/wall.tim", strFolder + "/one.bmp"}).nExit, 0);
        EXPECT_EQ(ReadBytes(m_dir / "out" / strFolder / "wall.bmp"), ReadBytes(m_dir / strFolder / "one.bmp"))
            << strFolder;
    }
    // Counted from --base, the same inputs lose their first folder.
    const RunResult based = Run({"--to", ".bmp", "--out-dir", "out2", "--parents", "--base", "assets",
                                 "assets/a/wall.tim", "assets/d/wall.tim"});
    ASSERT_EQ(based.nExit, 0) << based.err;
    EXPECT_TRUE(fs::is_regular_file(m_dir / "out2/a/wall.bmp"));
    EXPECT_TRUE(fs::is_regular_file(m_dir / "out2/d/wall.bmp"));
}

TEST_F(ConvParents, ACollisionRefusalNamesEveryPairUpToTwentyAndPointsToParents)
{
    std::vector<std::string> folders, args{"--to", ".bmp", "--out-dir", "out"};
    for (int i = 0; i < 25; ++i)
    {
        folders.push_back(std::string("d").append(std::to_string(100 + i)));
        args.push_back(std::string(folders.back()).append("/wall.tim"));
    }
    MakeWalls(folders);
    const RunResult r = Run(args);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(Count(r.err, "would both be saved as 'out/wall.bmp'"), 20u) << r.err;
    EXPECT_TRUE(Has(r.err, "'d100/wall.tim' and 'd120/wall.tim' would both be saved")) << r.err;
    EXPECT_FALSE(Has(r.err, "'d121/wall.tim'")) << r.err;
    EXPECT_TRUE(Has(r.err, "vellumconv: ... and 4 more\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "'--out-dir DIR --parents' keeps each input's folders")) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "out"));
}

TEST_F(ConvParents, InputsOutsideTheBaseAndParentsAloneAreUsageErrors)
{
    MakeWalls({"in", "other"});
    const fs::path inner = m_dir / "in";
    RunOptions none;
    none.nHangSeconds = HANG_SECONDS;
    const RunResult outside =
        convproc::Run(VELLUMCONV_PATH, {"--to", ".bmp", "--out-dir", "out", "--parents", "wall.tim", "../other/wall.tim"},
                      inner, none);
    EXPECT_EQ(outside.nExit, 2);
    EXPECT_TRUE(Has(outside.err, "'../other/wall.tim' is outside '" + inner.string() + "'")) << outside.err;
    EXPECT_FALSE(fs::exists(inner / "out"));
    // Absolute names are held to the same base.
    const RunResult absolute = Run({"--to", ".bmp", "--out-dir", "out", "--parents", "--base", "in",
                                    (m_dir / "other/wall.tim").string()});
    EXPECT_EQ(absolute.nExit, 2);
    EXPECT_FALSE(fs::exists(m_dir / "out"));
    const RunResult alone = Run({"--to", ".bmp", "--parents", "in/wall.tim"});
    EXPECT_EQ(alone.nExit, 2);
    EXPECT_TRUE(Has(alone.err, "option '--parents' needs '--out-dir DIR'")) << alone.err;
    EXPECT_EQ(Run({"--to", ".bmp", "--out-dir", "out", "--base", "in", "in/wall.tim"}).nExit, 2);
    EXPECT_EQ(Run({"in/wall.tim", "o.bmp", "--parents"}).nExit, 2);
    EXPECT_FALSE(fs::exists(m_dir / "out"));
}

TEST_F(ConvParents, AFailedFileLeavesNoFolderOfItsOwn)
{
    MakeWalls({"good"});
    fs::create_directories(m_dir / "bad/deep");
    WriteBytes(m_dir / "bad/deep/wall.tim", {0x10, 0, 0, 0, 9, 9});
    const RunResult r = Run({"--to", ".bmp", "--out-dir", "out", "--parents", "good/wall.tim", "bad/deep/wall.tim"});
    EXPECT_EQ(r.nExit, 1) << r.err;
    EXPECT_TRUE(fs::is_regular_file(m_dir / "out/good/wall.bmp"));
    EXPECT_FALSE(fs::exists(m_dir / "out/bad"));
    // Nothing converted: not even --out-dir stays.
    const RunResult none = Run({"--to", ".bmp", "--out-dir", "out2", "--parents", "bad/deep/wall.tim"});
    EXPECT_EQ(none.nExit, 1);
    EXPECT_FALSE(fs::exists(m_dir / "out2"));
}

TEST_F(ConvParents, AnotherUsersLinkInTheMirroredTreeIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a link of another user needs root";
    MakeWalls({"evil"});
    fs::create_directories(m_dir / "out");
    fs::create_directories(m_dir / "elsewhere");
    fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "out/evil");
    ASSERT_EQ(::lchown((m_dir / "out/evil").c_str(), 12345, 12345), 0);
    const RunResult r = Run({"--to", ".bmp", "--out-dir", "out", "--parents", "evil/wall.tim"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_TRUE(Has(r.err, "'out/evil' is another user's link, which a batch does not follow")) << r.err;
    EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere"));
}
