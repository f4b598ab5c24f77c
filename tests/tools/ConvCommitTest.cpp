// The owner of a converter run's outputs, below the process: rounds of commits under a hold
// limit, the status line of each item only once it and the items before it are done, a
// failed item taking back only its own outputs, a signal between items, and the single save.

#include "tests/framework/ScratchFiles.h"
#include "tools/vellumconv/ConvCommit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace
{
namespace fs = std::filesystem;

// A stream to give the owner, and what was written to it so far.
class CCapture
{
public:
    CCapture() : m_pFile(std::tmpfile()) {}
    ~CCapture() { std::fclose(m_pFile); }
    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;
    std::FILE* File() const { return m_pFile; }
    std::string Text() const
    {
        std::fflush(m_pFile);
        const long nAt = std::ftell(m_pFile);
        std::rewind(m_pFile);
        std::string text(static_cast<std::size_t>(nAt), '\0');
        const std::size_t nRead = std::fread(text.data(), 1, text.size(), m_pFile);
        text.resize(nRead);
        std::fseek(m_pFile, 0, SEEK_END);
        return text;
    }

private:
    std::FILE* m_pFile;
};

std::string Slurp(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> Hidden(const std::string& strDir)
{
    std::set<std::string> hidden;
    for (const std::string& strName : ScratchDir::Entries(strDir))
        if (strName[0] == '.')
            hidden.insert(strName);
    return hidden;
}

class ConvCommitTest : public ::testing::Test
{
protected:
    // Writes strText to strTarget through the owner's batch: it lands in group 0.
    bool Write(CConvCommits& commits, const std::string& strTarget, const std::string& strText)
    {
        CSafeSaveFile file;
        CFileException fe;
        if (!commits.Open(file, strTarget, &fe))
            return false;
        file.GetFile().Write(strText.data(), static_cast<std::uint32_t>(strText.size()));
        file.Commit();
        return true;
    }
    // Item nItem's one output, named and holding strName, written, held and committed.
    bool Land(CConvCommits& commits, std::size_t nItem, const std::string& strName)
    {
        if (!Write(commits, Path(strName), strName))
            return false;
        commits.Hold(nItem, strName + "\n");
        return commits.CommitHeld();
    }
    std::string Path(const std::string& strName) const { return m_dir / strName; }

    ScratchDir m_dir;
    CCapture m_out;
    CCapture m_err;
};

TEST_F(ConvCommitTest, RoundsPutItemsInPlaceInOrderAndAFailedItemTakesBackOnlyItsOwn)
{
    CConvCommits commits(m_out.File(), m_err.File());
    commits.SetHoldLimit(2);
    // Item 2 has two outputs, the second of which cannot be opened (a folder is in its way):
    // its first must not land, and the items around it must.
    ASSERT_TRUE(fs::create_directory(Path("2b.out")));
    for (std::size_t i = 0; i < 5; ++i)
    {
        const std::string strName = std::to_string(i);
        const std::size_t nItem = commits.NewItem(strName);
        ASSERT_EQ(nItem, i);
        bool bOk = Write(commits, Path(strName + ".out"), "bytes of " + strName);
        if (i == 2)
            bOk = bOk && Write(commits, Path("2b.out"), "second");
        if (bOk)
            commits.Hold(nItem, "line " + strName + "\n");
        else
            commits.Fail(nItem);
        ASSERT_TRUE(commits.CommitIfFull());
        if (i == 1)
        {
            // Full at two: the first round is in place, and told, before item 2 is written.
            EXPECT_EQ(m_out.Text(), "line 0\nline 1\n");
            EXPECT_TRUE(fs::exists(Path("1.out")));
        }
        if (i == 2)
        {
            EXPECT_EQ(m_out.Text(), "line 0\nline 1\n");
        }
        if (i == 3)
        {
            EXPECT_FALSE(fs::exists(Path("3.out"))) << "a round came before the batch was full";
        }
    }
    ASSERT_TRUE(commits.CommitHeld());
    EXPECT_EQ(commits.Finish(commits.AnyFailed() ? 1 : 0), 1);
    EXPECT_EQ(m_out.Text(), "line 0\nline 1\nline 3\nline 4\n");
    for (const char* pszKept : {"0", "1", "3", "4"})
        EXPECT_EQ(Slurp(Path(std::string(pszKept) + ".out")), std::string("bytes of ") + pszKept);
    EXPECT_FALSE(fs::exists(Path("2.out")));
    EXPECT_TRUE(fs::is_directory(Path("2b.out")));
    EXPECT_EQ(commits.InPlaceCount(), 4u);
    EXPECT_TRUE(Hidden(m_dir / "").empty()) << *Hidden(m_dir / "").begin();
}

TEST_F(ConvCommitTest, ALineWaitsForTheItemsBeforeItAndForTheEndWhenAsked)
{
    // Item 1 is in place before item 0 is written: its line waits for item 0's.
    {
        CConvCommits commits(m_out.File(), m_err.File());
        commits.NewItem("a");
        commits.NewItem("b");
        ASSERT_TRUE(Land(commits, 1, "b"));
        EXPECT_TRUE(commits.InPlace(1));
        EXPECT_EQ(m_out.Text(), "");
        ASSERT_TRUE(Land(commits, 0, "a"));
        EXPECT_EQ(m_out.Text(), "a\nb\n");
        EXPECT_EQ(commits.Finish(0), 0);
        EXPECT_EQ(m_out.Text(), "a\nb\n");
    }
    // An item that fails lets the lines after it out; one never done holds them until the end.
    {
        CCapture out;
        CConvCommits commits(out.File(), m_err.File());
        for (const char* pszName : {"c", "d", "e", "f"})
            commits.NewItem(pszName);
        ASSERT_TRUE(Land(commits, 1, "d"));
        commits.Fail(0);
        EXPECT_EQ(out.Text(), "d\n");
        ASSERT_TRUE(Land(commits, 3, "f"));
        EXPECT_EQ(out.Text(), "d\n");
        EXPECT_EQ(commits.Finish(1), 1);
        EXPECT_EQ(out.Text(), "d\nf\n");
    }
    // With LinesAtEnd every line waits for Finish, in item order.
    {
        CCapture out;
        CConvCommits commits(out.File(), m_err.File());
        commits.LinesAtEnd();
        commits.NewItem("g");
        ASSERT_TRUE(Land(commits, 0, "g"));
        EXPECT_TRUE(fs::exists(Path("g")));
        EXPECT_EQ(out.Text(), "");
        EXPECT_EQ(commits.Finish(0), 0);
        EXPECT_EQ(out.Text(), "g\n");
    }
}

TEST_F(ConvCommitTest, AFailedCommitIsToldInTheItemsWordsAndTheNextItemStillLands)
{
    CConvCommits commits(m_out.File(), m_err.File());
    commits.NewItem("in/one.tim", Path("one.bmp"));
    commits.NewItem("x.bin@0");
    commits.NewItem("in/three.tim", Path("three.bmp"));
    ASSERT_TRUE(Write(commits, Path("one.bmp"), "1"));
    commits.Hold(0, "one\n");
    ASSERT_TRUE(Write(commits, Path("two.tim"), "2"));
    commits.Hold(1, "two\n");
    ASSERT_TRUE(Write(commits, Path("three.bmp"), "3"));
    commits.Hold(2, "three\n");
    // A folder made in the outputs' way after they were written: their renames fail.
    ASSERT_TRUE(fs::create_directory(Path("one.bmp")));
    ASSERT_TRUE(fs::create_directory(Path("two.tim")));
    ASSERT_TRUE(commits.CommitHeld());
    EXPECT_EQ(commits.Finish(commits.AnyFailed() ? 1 : 0), 1);
    EXPECT_EQ(m_out.Text(), "three\n");
    EXPECT_EQ(Slurp(Path("three.bmp")), "3");
    EXPECT_EQ(m_err.Text(),
              "vellumconv: in/one.tim: " +
                  AfxFileErrorMessage(Path("one.bmp").c_str(), std::strerror(EISDIR), TRUE).Str() + "\n" +
                  "vellumconv: x.bin@0: cannot put the output in place: " + std::strerror(EISDIR) + ".\n");
    EXPECT_TRUE(Hidden(m_dir / "").empty()) << *Hidden(m_dir / "").begin();
}

TEST_F(ConvCommitTest, ASignalStopsTheCommitsBetweenItemsAndFinishSweepsAndGivesItsStatus)
{
    CConvCommits commits(m_out.File(), m_err.File());
    commits.CatchSignals();
    for (const char* pszName : {"p", "q"})
    {
        const std::size_t nItem = commits.NewItem(pszName);
        ASSERT_TRUE(Write(commits, Path(pszName), pszName));
        commits.Hold(nItem, std::string(pszName) + "\n");
    }
    std::raise(SIGTERM);
    EXPECT_EQ(commits.Caught(), SIGTERM);
    EXPECT_TRUE(commits.StopFlag().load());
    EXPECT_FALSE(commits.CommitHeld());
    EXPECT_EQ(commits.Finish(0), 128 + SIGTERM);
    EXPECT_EQ(m_out.Text(), "");
    EXPECT_FALSE(fs::exists(Path("p")));
    EXPECT_FALSE(fs::exists(Path("q")));
    EXPECT_TRUE(Hidden(m_dir / "").empty()) << *Hidden(m_dir / "").begin();
    // Finish gave the signals back: a later owner starts with none caught.
    CConvCommits next(m_out.File(), m_err.File());
    next.CatchSignals();
    EXPECT_EQ(next.Caught(), 0);
    EXPECT_EQ(next.Finish(0), 0);
}

TEST_F(ConvCommitTest, ASaveAloneLandsWithItsLineOrLeavesTheTargetAsItWas)
{
    {
        std::ofstream(Path("old.pal")) << "old";
        CConvCommits commits(m_out.File(), m_err.File());
        const std::size_t nItem = commits.NewItem("in.tim", Path("old.pal"));
        EXPECT_TRUE(commits.SaveAlone(nItem, Path("old.pal"), [](CFile& file) { file.Write("new", 3); }, "colours:3\n"));
        EXPECT_EQ(commits.Finish(0), 0);
        EXPECT_EQ(Slurp(Path("old.pal")), "new");
        EXPECT_EQ(m_out.Text(), "colours:3\n");
    }
    {
        CCapture out;
        CConvCommits commits(out.File(), m_err.File());
        const std::size_t nItem = commits.NewItem("in\t2.tim", Path("old.pal"));
        EXPECT_FALSE(commits.SaveAlone(
            nItem, Path("old.pal"),
            [&](CFile& file) {
                file.Write("torn", 4);
                throw CFileException(CFileException::diskFull, ENOSPC, Path("old.pal").c_str());
            },
            "colours:4\n"));
        EXPECT_TRUE(commits.AnyFailed());
        EXPECT_EQ(commits.Finish(1), 1);
        EXPECT_EQ(Slurp(Path("old.pal")), "new");
        EXPECT_EQ(out.Text(), "");
        // The name is shown escaped, like every name on every line.
        EXPECT_EQ(m_err.Text().rfind("vellumconv: in\\t2.tim: ", 0), 0u) << m_err.Text();
        EXPECT_NE(m_err.Text().find(std::strerror(ENOSPC)), std::string::npos) << m_err.Text();
    }
    EXPECT_TRUE(Hidden(m_dir / "").empty()) << *Hidden(m_dir / "").begin();
}

}  // namespace
