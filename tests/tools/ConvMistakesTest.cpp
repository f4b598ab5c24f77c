// The converter as a new user meets it, through the program: the mistakes people make must
// write over nothing and end in a message that points the way; every file is written in
// the format its name says; messages, names and status lines read the same everywhere.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include "exchange/Png.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunOptions;
using convproc::RunResult;

std::vector<std::string> Lines(const std::string& text, char chEnd = '\n')
{
    std::vector<std::string> lines;
    std::size_t nStart = 0;
    while (nStart < text.size())
    {
        std::size_t nEnd = text.find(chEnd, nStart);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

// Pieces put together one by one: gcc 12 misreads some one-line sums of strings.
std::string Join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s.append(p);
    return s;
}

Bytes Bmp24()
{
    exsample::BmpShape shape;
    shape.nBits = 24;
    return exsample::MakeBmp(shape);
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Every file in the folder with its bytes, to see that a refusal changed nothing.
std::vector<std::pair<std::string, Bytes>> Snapshot(const fs::path& dir)
{
    std::vector<std::pair<std::string, Bytes>> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files.emplace_back(fs::relative(e.path(), dir).string(), ReadBytes(e.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// A PNG of nColours different colours in one row, as an RGB picture from elsewhere.
Bytes ManyColourPng(std::uint32_t nColours)
{
    Bytes rgb;
    for (std::uint32_t i = 0; i < nColours; ++i)
        for (std::uint32_t c : {i & 0xFFu, (i >> 8) * 40u, 7u})
            rgb.push_back(static_cast<std::uint8_t>(c));
    PngEncodeImage image;
    image.nWidth = nColours;
    image.nHeight = 1;
    image.pixels = PNG_PIXELS_RGB;
    CBufferRowSource rows(rgb.data(), static_cast<std::ptrdiff_t>(rgb.size()));
    Bytes png;
    std::string strError;
    if (!EncodePng(image, rows, PngEncodeOptions{}, png, strError))
        ADD_FAILURE() << strError;
    return png;
}

class ConvMistakesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-mistakes-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const
    {
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }
    void Put(const std::string& strName, const Bytes& data) const { WriteBytes(m_dir / strName, data); }
    Bytes Get(const std::string& strName) const { return ReadBytes(m_dir / strName); }

    fs::path m_dir;
};

}  // namespace

// ---- Nothing written over by mistake ---------------------------------------------------

// find -print0 into --files-from without -0 made one name of the whole list, and wrote the
// first file over itself.
TEST_F(ConvMistakesTest, AListWithNulBytesReadByLinesIsRefusedBeforeAnythingIsWritten)
{
    Put("picture.tim", MakeSampleTim(8, 8));
    Put("sprites.tim", MakeSampleTim(4, 4));
    const auto before = Snapshot(m_dir);
    RunOptions options;
    options.strStdin = std::string("picture.tim") + '\0' + "sprites.tim" + '\0';
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--to", ".bmp", "--files-from", "-"},
          {"--to", ".bmp", "--out-dir", "out", "--files-from", "-"},
          {"export", "--to", ".png", "--files-from", "-"}})
    {
        const RunResult r = Run(args, options);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_EQ(Lines(r.err).at(0), "vellumconv: the list holds NUL bytes; add -0");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Snapshot(m_dir), before);
    }
    // With -0 the same list converts both.
    const RunResult r = Run({"--to", ".bmp", "-0", "--files-from", "-"}, options);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_TRUE(fs::exists(m_dir / "sprites.bmp"));
}

// A glob in the shorthand saved the first file over all the others.
TEST_F(ConvMistakesTest, AGlobInTheShorthandIsAUsageErrorThatNamesTheWayOn)
{
    for (const char* pszName : {"a.tim", "b.tim", "c.tim"})
        Put(pszName, MakeSampleTim(4, 4 + pszName[0] - 'a'));
    const auto before = Snapshot(m_dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"a.tim", "b.tim", "c.tim"}, {"--open", "a.tim", "b.tim", "c.tim"},
          {"a.tim", "b.tim", "c.tim", "--size", "8x8"}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_TRUE(Has(r.err, "'--to EXT'") && Has(r.err, "'--save PATH'")) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Snapshot(m_dir), before);
    }
}

// export wrote PNG bytes under any name, in place of its input too.
TEST_F(ConvMistakesTest, NoFormWritesOverItsOwnInputAndExportWritesOnlyPngNames)
{
    Put("victim.tim", MakeSampleTim(8, 8));
    Put("a.bmp", Bmp24());
    Put("b.bmp", MakeSampleBmp(8, 8));
    Put("pic.png", ManyColourPng(4));
    fs::create_symlink("victim.tim", m_dir / "link.tim");
    const auto before = Snapshot(m_dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "--to", ".bmp", "a.bmp", "b.bmp"},
          {"export", "victim.tim", "victim.tim"},
          {"export", "victim.tim", "victim.bmp"},
          {"import", "pic.png", "pic.png"},
          {"import", "pic.png", "again.png"},
          {"import", "--to", ".png", "pic.png"},
          {"victim.tim", "victim.tim"},
          {"victim.tim", "./link.tim"},
          {"pic.png", "pic.png"},
          {"--to", ".tim", "victim.tim"},
          {"--to", ".bmp", "b.bmp"},
          {"export", "--to", ".png", "pic.png"}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 2) << args[0] << " " << args[1];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Snapshot(m_dir), before) << args[0] << " " << args[1];
    }
    EXPECT_TRUE(Has(Run({"export", "victim.tim", "victim.bmp"}).err, "'victim.bmp' does not end in .png"));
    EXPECT_TRUE(Has(Run({"victim.tim", "./link.tim"}).err, "'victim.tim' would be written over itself"));
    EXPECT_TRUE(Has(Run({"--to", ".bmp", "b.bmp"}).err, "'b.bmp' would be saved over itself"));
}

// ---- Every file in the format its name says --------------------------------------------

// A .png target without the verb was a font sheet; now the shorthand and the batch give
// what the verbs give, byte for byte, with the same lines.
TEST_F(ConvMistakesTest, PngNamesGoThroughExportAndPngInputsThroughImport)
{
    Put("picture.bmp", MakeSampleBmp(40, 30));
    Put("font.fnt", MakeSampleBfnt(8, 8, 32, 63));
    const RunResult verb = Run({"export", "picture.bmp", "verb.png"});
    ASSERT_EQ(verb.nExit, 0) << verb.err;
    const RunResult shorthand = Run({"picture.bmp", "short.png"});
    EXPECT_EQ(shorthand.nExit, 0) << shorthand.err;
    EXPECT_EQ(shorthand.out, verb.out);
    EXPECT_EQ(Get("short.png"), Get("verb.png"));

    // And back: a PNG input is imported, whatever the target.
    for (const char* pszExt : {".bmp", ".tim", ".fnt"})
    {
        SCOPED_TRACE(pszExt);
        const std::string strVerb = Join({"verb-back", pszExt});
        const std::string strShort = Join({"short-back", pszExt});
        const RunResult back = Run({"import", "verb.png", strVerb});
        ASSERT_EQ(back.nExit, 0) << back.err;
        const RunResult again = Run({"short.png", strShort});
        EXPECT_EQ(again.nExit, 0) << again.err;
        EXPECT_EQ(again.out, back.out);
        EXPECT_EQ(Get(strShort), Get(strVerb));
    }
    EXPECT_EQ(Get("verb-back.bmp"), MakeSampleBmp(40, 30));

    // A batch, to PNG and from PNG, with "png" read as ".png".
    RunResult r = Run({"--to", "png", "--out-dir", "batch", "picture.bmp", "font.fnt"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(Get("batch/picture.png"), Get("verb.png"));
    ASSERT_EQ(Run({"export", "font.fnt", "font-verb.png"}).nExit, 0);
    EXPECT_EQ(Get("batch/font.png"), Get("font-verb.png"));
    r = Run({"--to", "bmp", "--out-dir", "back", "batch/picture.png", "font.fnt"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(Get("back/picture.bmp"), Get("verb-back.bmp"));
    EXPECT_TRUE(fs::exists(m_dir / "back/font.bmp"));
    EXPECT_FALSE(fs::exists(m_dir / "back/fontbmp"));
    EXPECT_FALSE(fs::exists(m_dir / "back/pictureabmp"));

    // The step form is the window's driver: a .png save there is refused, pointing to export.
    r = Run({"--open", "picture.bmp", "--save", "step.png"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Has(r.err, "'vellumconv export IN OUT.png'")) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "step.png"));
}

// ---- Messages that point the way -------------------------------------------------------

// Files people have that the 8-bit reader refuses: the window's steps give its own message;
// the plain form and a batch read them as export does and write what import makes of that.
TEST_F(ConvMistakesTest, ARefusedOpenSaysWhatTheFileIsAndWhatReadsIt)
{
    exsample::BmpShape rle8;
    rle8.rle = {5, 1, 0, 0, 5, 2, 0, 0, 5, 3, 0, 1};
    rle8.nCompression = 1;
    exsample::BmpShape v5;
    v5.nInfoSize = 124;
    exsample::BmpShape pillow;
    pillow.nClrUsed = 16;
    exsample::TimShape tim4;
    tim4.nBpp = 4;
    tim4.nClutWidth = 16;
    exsample::TimShape tim16;
    tim16.nBpp = 16;
    tim16.bClut = false;
    exsample::TimShape tim24;
    tim24.nBpp = 24;
    tim24.nUnits = 6;
    tim24.bClut = false;
    struct Case
    {
        const char* pszName;
        Bytes data;
        const char* pszMessage;
    };
    const Case cases[] = {
        {"rle8.bmp", exsample::MakeBmp(rle8), "load error."},
        {"v5.bmp", exsample::MakeBmp(v5), "load error."},
        {"pillow.bmp", exsample::MakeBmp(pillow), "load error."},
        {"deep.bmp", Bmp24(), "not 256 color data."},
        {"four.tim", exsample::MakeTim(tim4), "not 256 color data."},
        {"direct.tim", exsample::MakeTim(tim16), "not 256 color data."},
        {"true.tim", exsample::MakeTim(tim24), "not 256 color data."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Put(c.pszName, c.data);
        RunResult r = Run({"--open", c.pszName});
        EXPECT_EQ(r.nExit, 1);
        EXPECT_EQ(Lines(r.err), std::vector<std::string>{Join({"vellumconv: ", c.pszName, ": ", c.pszMessage})});
        ASSERT_EQ(Run({"export", c.pszName, "shown.png"}).nExit, 0);
        ASSERT_EQ(Run({"import", "shown.png", "verbs.bmp"}).nExit, 0);
        r = Run({c.pszName, "out.bmp"});
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(Get("out.bmp"), Get("verbs.bmp"));
        r = Run({"--to", ".bmp", "--out-dir", "out", c.pszName});
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(Get(Join({"out/", fs::path(c.pszName).stem().string(), ".bmp"})), Get("verbs.bmp"));
    }
    // The step form keeps the window's behaviour: its save says nothing is loaded.
    const RunResult r = Run({"--open", "rle8.bmp", "--save", "x.tim"});
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{"vellumconv: rle8.bmp: load error.",
                                                       "vellumconv: x.tim: \"no file loaded.\""}));
}

TEST_F(ConvMistakesTest, AMissingInputGetsOneMessageAndAPngForExportPointsToImport)
{
    RunResult r = Run({"missing.tim", "out.bmp"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(Lines(r.err),
              std::vector<std::string>{"vellumconv: missing.tim: Cannot open \"missing.tim\": No such file or directory."});

    Put("shot.png", ManyColourPng(4));
    r = Run({"export", "shot.png", "again.png"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(Lines(r.err).back(), "vellumconv: shot.png: a PNG; `vellumconv import` reads it");
}

// "the PNG has 300 colours" said nothing about what to do next.
TEST_F(ConvMistakesTest, TooManyColoursSaysToReduceThemFirst)
{
    Put("photo.png", ManyColourPng(300));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", "photo.png", "photo.bmp"}, {"photo.png", "photo.bmp"},
          {"--to", ".bmp", "photo.png"}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 1);
        const std::vector<std::string> lines = Lines(r.err);
        ASSERT_EQ(lines.size(), 2u) << r.err;
        EXPECT_TRUE(Has(lines[0], "300 colours")) << lines[0];
        EXPECT_EQ(lines[1], "vellumconv: photo.png: reduce it to 256 colours first");
        EXPECT_FALSE(fs::exists(m_dir / "photo.bmp"));
    }
}

// ---- Consistency -----------------------------------------------------------------------

TEST_F(ConvMistakesTest, UsageErrorsNameOptionsAsTyped)
{
    const struct
    {
        std::vector<std::string> args;
        const char* pszError;
    } cases[] = {
        {{"-j", "2", "a", "b"}, "vellumconv: option '-j' belongs to a batch: it needs '--to EXT'"},
        {{"--jobs", "2", "a", "b"}, "vellumconv: option '--jobs' belongs to a batch: it needs '--to EXT'"},
        {{"-0", "a", "b"}, "vellumconv: option '-0' belongs to a batch: it needs '--to EXT'"},
        {{"--to", ".bmp", "a", "-j"}, "vellumconv: option '-j' needs an argument"},
        {{"--to", ".bmp", "--jobs", "0", "a"}, "vellumconv: '--jobs 0': expected 1 to 256 workers"},
    };
    for (const auto& c : cases)
    {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_EQ(Lines(r.err).at(0), c.pszError);
    }
}

TEST_F(ConvMistakesTest, VersionIsTheProjects)
{
    const RunResult r = Run({"--version"});
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.out, "vellumconv " VELLUM_VERSION "\n");
    EXPECT_EQ(r.err, "");
}

// Options that do not apply were silently ignored.
TEST_F(ConvMistakesTest, AnOptionThatDoesNotApplyIsAUsageErrorNamingIt)
{
    Put("pic.bmp", MakeSampleBmp(8, 8));
    Put("pic.png", ManyColourPng(4));
    Put("sheet.fnt", MakeSampleBfnt(8, 8, 0, 3));
    const auto before = Snapshot(m_dir);
    const struct
    {
        std::vector<std::string> args;
        const char* pszOption;
    } cases[] = {
        {{"import", "--bpp", "16", "pic.png", "out.bmp"}, "'--bpp'"},
        {{"import", "--bpp", "16", "--to", ".fnt", "pic.png"}, "'--bpp'"},
        {{"import", "--cell", "8x8", "pic.png", "out.tim"}, "'--cell'"},
        {{"import", "--codes", "0-3", "--to", "bmp", "pic.png"}, "'--codes'"},
        {{"export", "--clut", "5", "pic.bmp", "out.png"}, "'--clut'"},
        {{"export", "--columns", "4", "pic.bmp", "out.png"}, "'--columns'"},
        {{"export", "--clut", "1", "--to", ".png", "pic.bmp", "sheet.fnt"}, "'--clut'"},
    };
    for (const auto& c : cases)
    {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.nExit, 2) << c.args[1];
        EXPECT_TRUE(Has(r.err, c.pszOption)) << r.err;
        EXPECT_EQ(Snapshot(m_dir), before);
    }
    // In a batch an option is for the files it fits.
    const RunResult r = Run({"export", "--columns", "4", "--to", ".png", "pic.bmp", "sheet.fnt"});
    EXPECT_EQ(r.nExit, 0) << r.err;
}

// A name listed twice aborted the whole batch.
TEST_F(ConvMistakesTest, ANameGivenTwiceIsConvertedOnceWithANote)
{
    Put("a.tim", MakeSampleTim(4, 4));
    RunOptions options;
    options.strStdin = "a.tim\n";
    const RunResult r = Run({"--to", ".bmp", "a.tim", "./a.tim", "--files-from", "-"}, options);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{"a.tim\ta.bmp\tsize:8x4"});
    EXPECT_EQ(Lines(r.err),
              std::vector<std::string>{"vellumconv: './a.tim' is named more than once; it is converted once."});
}

// A CR from a CRLF list was invisible; a tab or a line feed in a name made the status
// lines ambiguous. Every name is shown the same way, escaped.
TEST_F(ConvMistakesTest, NamesWithControlCharactersAreEscapedAlikeEverywhere)
{
    Put("picture.tim", MakeSampleTim(4, 4));
    Put("tab\there.tim", MakeSampleTim(4, 4));
    Put("line\nfeed.tim", MakeSampleTim(4, 4));
    RunOptions crlf;
    crlf.strStdin = "picture.tim\r\n";
    RunResult r = Run({"--to", ".bmp", "--files-from", "-"}, crlf);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(Lines(r.err).at(0),
              "vellumconv: picture.tim\\r: Cannot open \"picture.tim\\r\": No such file or directory.");

    r = Run({"--to", ".bmp", "tab\there.tim", "line\nfeed.tim"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"tab\\there.tim\ttab\\there.bmp\tsize:8x4",
                                                      "line\\nfeed.tim\tline\\nfeed.bmp\tsize:8x4"}));
    EXPECT_TRUE(fs::exists(m_dir / "tab\there.bmp"));

    // With -0 the lines end in NUL, and the names are shown as on every other line.
    RunOptions nul;
    nul.strStdin = std::string("tab\there.tim") + '\0';
    r = Run({"--to", ".tim", "--out-dir", "nul", "-0", "--files-from", "-"}, nul);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, std::string("tab\\there.tim\tnul/tab\\there.tim\tsize:8x4") + '\0');

    // The single forms name files the same way.
    r = Run({"mis\tsing.tim", "out.bmp"});
    EXPECT_EQ(Lines(r.err).at(0), "vellumconv: mis\\tsing.tim: Cannot open \"mis\\tsing.tim\": No such file or directory.");
    r = Run({"export", "mis\tsing.tim", "out.png"});
    EXPECT_EQ(Lines(r.err).at(0), "vellumconv: mis\\tsing.tim: Cannot open \"mis\\tsing.tim\": No such file or directory.");
}

// The scan's and the palette's messages showed a name raw inside the message, and the
// palette's also before it: a tab or a line feed split the line.
TEST_F(ConvMistakesTest, ScanAndPaletteMessagesShowNamesEscapedToo)
{
    Put("t\tx.bin", MakeSampleTim(4, 4));
    fs::create_directories(m_dir / "out" / "t\tx.bin@0.tim");
    RunResult r = Run({"scan", "--extract", "out", "t\tx.bin"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vellumconv: out/t\\tx.bin@0.tim: Cannot save \"out/t\\tx.bin@0.tim\": Is a directory.\n");

    Put("picture.tim", MakeSampleTim(4, 4));
    r = Run({"palette", "import", "mis\tsing.tim", "picture.tim", "new.tim"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err,
              "vellumconv: mis\\tsing.tim: Cannot open \"mis\\tsing.tim\": No such file or directory.\n");
    Put("pic\nture.tim", MakeSampleTim(4, 4));
    r = Run({"palette", "import", "picture.tim", "pic\nture.tim", "pic\nture.tim"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(Lines(r.err).at(0), "vellumconv: 'pic\\nture.tim' is an input; write the result to another name");
}

// The first rate was absurd and the line vanished at the end with no summary.
TEST_F(ConvMistakesTest, ProgressShowsNoRateInItsFirstSecondAndEndsWithASummary)
{
    std::vector<std::string> args = {"--to", ".tim", "--out-dir", "out", "junk.bmp"};
    Put("junk.bmp", {'B', 'M'});
    for (int i = 0; i < 12; ++i)
    {
        args.push_back(Join({"f", std::to_string(i), ".bmp"}));
        Put(args.back(), MakeSampleBmp(16, 16));
    }
    RunOptions terminal;
    terminal.bTerminal = true;
    const RunResult r = Run(args, terminal);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_FALSE(Has(r.err, "files/s")) << r.err;
    // The last thing on the terminal: "vellumconv: 12 converted, 1 failed in 0.1 s".
    const std::string strSummary = "vellumconv: 12 converted, 1 failed in ";
    const std::size_t nAt = r.err.rfind(strSummary);
    ASSERT_NE(nAt, std::string::npos) << r.err;
    const std::string strTime = r.err.substr(nAt + strSummary.size());
    ASSERT_GE(strTime.size(), 7u) << strTime;
    EXPECT_EQ(strTime.substr(strTime.size() - 4), " s\r\n") << strTime;
    EXPECT_EQ(strTime.find_first_not_of("0123456789."), strTime.size() - 4) << strTime;
}
