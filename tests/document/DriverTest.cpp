// The load/save driver through the framework's File/Open and File/Save As: detection,
// messages, status texts, colours, the save-path rule, and what failures leave alone.

#include "tests/document/DocHarness.h"

#include "tests/formats/SampleFiles.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace
{
// The image colours' bytes in a table of R, G, B triples.
constexpr std::ptrdiff_t IMAGE_BEGIN = 3 * PAL_FIRST_IMAGE_COLOR;
constexpr std::ptrdiff_t IMAGE_END = 3 * (PAL_FIRST_IMAGE_COLOR + PAL_IMAGE_COLORS);
}  // namespace

TEST(SaveTypeFromPath, LastFourCharactersIgnoringCase)
{
    struct Case
    {
        const char* pszPath;
        int nKind;
    };
    const Case cases[] = {
        {"a.bmp", DATA_BMP},  {"a.BMP", DATA_BMP},   {"/x/y.Bmp", DATA_BMP}, {".bmp", DATA_BMP},
        {"a.tim", DATA_TIM},  {"a.Tim", DATA_TIM},   {"a.TIM", DATA_TIM},    {"a.fnt", DATA_BFNT},
        {"a.tiff", DATA_BFNT}, {"a.bmp2", DATA_BFNT}, {"abmp", DATA_BFNT},   {"bmp", DATA_BFNT},
        {"", DATA_BFNT},      {"a.bm", DATA_BFNT},   {"x.bmp.fnt", DATA_BFNT},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CVellumDoc::SaveTypeFromPath(c.pszPath), c.nKind) << c.pszPath;
}

TEST_F(DocTest, LoadsEachFormatWithItsStatusTextAndColours)
{
    struct Case
    {
        Bytes file;
        int nKind;
        std::string strStatus;
    };
    const Case cases[] = {
        {MakeSampleBmp(40, 30), DATA_BMP, "size:40x30"},
        {MakeSampleTim(20, 30), DATA_TIM, "size:40x30"},
        {MakeSampleBfnt(16, 16, 32, 127), DATA_BFNT, "size:16x16  no:32-127"},
        {MakeSampleBfnt(8, 12, 0, 65), DATA_BFNT, "size:8x12  no:0-65"},
    };
    const Bytes before = SurfaceColors(*m_pView);
    const RgbPalette pal = SamplePalette();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.strStatus);
        ASSERT_TRUE(Open(Put("in.dat", c.file)));
        EXPECT_TRUE(TakeMessages().empty());
        EXPECT_EQ(m_pDoc->m_nDataType, c.nKind);
        EXPECT_EQ(m_pFrame->m_strStatus, c.strStatus);
        const Bytes colors = SurfaceColors(*m_pView);
        // Only the image colours come from the file; the static colours stay.
        EXPECT_TRUE(std::equal(colors.begin(), colors.begin() + IMAGE_BEGIN, before.begin()));
        EXPECT_TRUE(std::equal(colors.begin() + IMAGE_END, colors.end(), before.begin() + IMAGE_END));
        // The sample builders write through the writers, so every format's file colours
        // come back to the entries they were written from.
        EXPECT_TRUE(std::equal(colors.begin() + IMAGE_BEGIN, colors.begin() + IMAGE_END, pal.rgb + IMAGE_BEGIN));
        // The palette pointers named the call's own palette; none survives the call.
        EXPECT_EQ(m_pView->m_bmpData.m_pPalette, nullptr);
        EXPECT_EQ(m_pView->m_timData.m_pPalette, nullptr);
        EXPECT_EQ(m_pView->m_bfntData.m_pPalette, nullptr);
    }
}

TEST_F(DocTest, ContentNotNameDecides)
{
    ASSERT_TRUE(Open(Put("really-a-sheet.bmp", MakeSampleBfnt(8, 8, 65, 70))));
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BFNT);
    EXPECT_EQ(m_pFrame->m_strStatus, "size:8x8  no:65-70");
}

// File/Open of a FIFO neither waits for a writer nor loads anything: it says what the name is.
TEST_F(DocTest, OpeningAFifoSaysItIsOneAndKeepsTheDocument)
{
    ASSERT_TRUE(Open(Put("picture.bmp", MakeSampleBmp(16, 8))));
    TakeMessages();
    const std::filesystem::path fifo = Path("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Open(fifo));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"Cannot open \"" + fifo.string() + "\": a FIFO; only regular files are read."});
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BMP);
}

TEST_F(DocTest, SixteenColourSheetIsReadAgainFromTheStart)
{
    ASSERT_TRUE(Open(Put("f16.fnt", MakeSampleBfnt16(8, 8, 48, 57))));
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BFNT);
    EXPECT_EQ(m_pFrame->m_strStatus, "size:8x8  no:48-57");
    // Triple i of the file (b, r, g) = (8i, 16i, 24i) goes to entry 10 + i.
    const Bytes colors = SurfaceColors(*m_pView);
    EXPECT_EQ(colors[3 * 13 + 0], 3 * 16);
    EXPECT_EQ(colors[3 * 13 + 1], 3 * 24);
    EXPECT_EQ(colors[3 * 13 + 2], 3 * 8);
    // Pixel k of the sheet has value k % 16, i.e. colour index 10 + k % 16.
    EXPECT_EQ(ShownPixel(*m_pView, 0, 0), 10);
    EXPECT_EQ(ShownPixel(*m_pView, 1, 0), 11);
}

TEST_F(DocTest, SheetWithoutPaletteKeepsTheImageColours)
{
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(8, 8))));
    const Bytes colors = SurfaceColors(*m_pView);
    ASSERT_TRUE(Open(Put("nopal.fnt", MakeSampleBfnt16(8, 8, 0, 3, false))));
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BFNT);
    EXPECT_EQ(SurfaceColors(*m_pView), colors);
}

// Every failure: its one message, and afterwards the kind, the records, the surface, the
// status text and the title are as they were, and a later save writes the same bytes.
TEST_F(DocTest, FailedLoadsShowOneMessageAndChangeNothing)
{
    Bytes bmp24 = MakeSampleBmp(8, 8);
    PutLe16(bmp24.data() + 28, 24);
    Bytes bmpOffset = MakeSampleBmp(8, 8);
    PutLe32(bmpOffset.data() + 10, 1079);
    Bytes bmpShort = MakeSampleBmp(64, 64);
    bmpShort.resize(bmpShort.size() - 100);
    Bytes tim4 = MakeSampleTim(4, 4);
    PutLe32(tim4.data() + 4, 8);
    Bytes timVersion = MakeSampleTim(4, 4);
    timVersion[1] = 1;
    Bytes timShort = MakeSampleTim(16, 16);
    timShort.resize(timShort.size() - 10);
    Bytes bfntType = MakeSampleBfnt(8, 8, 0, 3);
    bfntType[5] = BFNT_PALETTE | 5;
    Bytes bfntShort = MakeSampleBfnt(16, 16, 0, 20);
    bfntShort.resize(bfntShort.size() - 1);
    Bytes bfnt16Short = MakeSampleBfnt16(16, 16, 0, 20);
    bfnt16Short.resize(bfnt16Short.size() - 1);

    struct Case
    {
        const char* pszName;
        Bytes file;
        unsigned nMessage;
    };
    const Case cases[] = {
        {"empty", {}, IDS_UNKNOWN_FORMAT},
        {"text", {'h', 'e', 'l', 'l', 'o', '\n'}, IDS_UNKNOWN_FORMAT},
        {"lone B", {'B'}, IDS_UNKNOWN_FORMAT},
        {"lone TIM id", {0x10}, IDS_LOAD_ERROR},
        {"BMP header only", {'B', 'M', 0, 0}, IDS_LOAD_ERROR},
        {"BMP 24 bits", bmp24, IDS_NOT_256_COLOR},
        {"BMP pixel offset", bmpOffset, IDS_LOAD_ERROR},
        {"BMP truncated", bmpShort, IDS_LOAD_ERROR},
        {"TIM 4 bits", tim4, IDS_NOT_256_COLOR},
        {"TIM version", timVersion, IDS_LOAD_ERROR},
        {"TIM truncated", timShort, IDS_LOAD_ERROR},
        {"BFNT colour type", bfntType, IDS_NOT_256_OR_16_COLOR},
        {"BFNT truncated", bfntShort, IDS_LOAD_ERROR},
        {"BFNT 16 truncated", bfnt16Short, IDS_NOT_256_OR_16_COLOR},
    };

    // Something loaded first, so there is state to keep.
    const auto good = Put("good.tim", MakeSampleTim(12, 10));
    ASSERT_TRUE(Open(good));
    ASSERT_TRUE(SaveAs(Path("reference.bmp")));
    const Bytes reference = ReadBytes(Path("reference.bmp"));
    ASSERT_TRUE(Open(good));
    const CString strTitle = m_pDoc->GetTitle();
    const CString strPath = m_pDoc->GetPathName();
    TakeMessages();

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        const Bytes colors = SurfaceColors(*m_pView);
        const Bytes pixels = ShownPixels(*m_pView);
        const std::string strStatus = m_pFrame->m_strStatus;
        const int nStatusCalls = m_pFrame->m_nStatusCalls;
        const Bytes timBits(m_pView->m_timData.m_pPixels.get(),
                            m_pView->m_timData.m_pPixels.get() + m_pView->m_timData.m_nPixelsSize);
        const std::uint16_t nTimWidth = m_pView->m_timData.m_imageWidth;

        EXPECT_FALSE(Open(Put(std::string(c.pszName) + ".bmp", c.file)));
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{Msg(c.nMessage)});
        EXPECT_EQ(m_pDoc->m_nDataType, DATA_TIM);
        EXPECT_EQ(SurfaceColors(*m_pView), colors);
        EXPECT_EQ(ShownPixels(*m_pView), pixels);
        EXPECT_EQ(m_pFrame->m_strStatus, strStatus);
        EXPECT_EQ(m_pFrame->m_nStatusCalls, nStatusCalls);
        EXPECT_EQ(m_pView->m_timData.m_imageWidth, nTimWidth);
        EXPECT_EQ(Bytes(m_pView->m_timData.m_pPixels.get(),
                        m_pView->m_timData.m_pPixels.get() + m_pView->m_timData.m_nPixelsSize),
                  timBits);
        EXPECT_TRUE(m_pDoc->GetTitle() == strTitle);
        EXPECT_TRUE(m_pDoc->GetPathName() == strPath);
    }

    ASSERT_TRUE(SaveAs(Path("after.bmp")));
    EXPECT_EQ(ReadBytes(Path("after.bmp")), reference);
}

TEST_F(DocTest, FailedLoadOfTheCurrentKindKeepsItsRecordUsable)
{
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(32, 20))));
    const Bytes pixels = ShownPixels(*m_pView);
    Bytes bigger = MakeSampleBmp(200, 200);
    bigger.resize(bigger.size() / 2);
    EXPECT_FALSE(Open(Put("b.bmp", bigger)));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{Msg(IDS_LOAD_ERROR)});
    EXPECT_EQ(m_pView->m_bmpData.m_infoHeader.biWidth, 32);
    // A redraw after the failure (a resize) still shows the earlier picture.
    Resize(256, 256);
    EXPECT_EQ(ShownPixels(*m_pView), pixels);
}

TEST_F(DocTest, SaveWithNothingLoadedWritesNothing)
{
    EXPECT_FALSE(SaveAs(Path("new.bmp")));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"\"no file loaded.\""});
    EXPECT_FALSE(std::filesystem::exists(Path("new.bmp")));

    const Bytes old = {1, 2, 3};
    const auto existing = Put("old.tim", old);
    EXPECT_FALSE(SaveAs(existing));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"\"no file loaded.\""});
    EXPECT_EQ(ReadBytes(existing), old);
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_NONE);
    // Nothing was left beside the target either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir), std::filesystem::directory_iterator()), 1);
}

TEST_F(DocTest, SerializeStoringWithNothingLoadedTellsAndThrows)
{
    CFile file;
    ASSERT_TRUE(file.Open(Path("direct.fnt").c_str(), CFile::modeCreate | CFile::modeWrite));
    CArchive ar(&file, CArchive::store);
    EXPECT_THROW(m_pDoc->Serialize(ar), CUserException);
    file.Close();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"\"no file loaded.\""});
    EXPECT_EQ(std::filesystem::file_size(Path("direct.fnt")), 0u);
}

TEST_F(DocTest, NewKeepsTheLoadedDataForALaterSave)
{
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(16, 16))));
    ASSERT_TRUE(m_pTemplate->OpenDocumentFile(nullptr, FALSE) != nullptr);
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BMP);
    EXPECT_TRUE(m_pDoc->OnNewDocument());
    ASSERT_TRUE(SaveAs(Path("b.tim")));
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_TIM);
    EXPECT_EQ(m_pDoc->m_strSavePath, Path("b.tim").string().c_str());
}

TEST_F(DocTest, SavingTheLoadedKindWritesTheSurfaceColours)
{
    const Bytes file = MakeSampleBmp(16, 8);
    ASSERT_TRUE(Open(Put("a.bmp", file)));
    const Bytes colors = SurfaceColors(*m_pView);
    ASSERT_TRUE(SaveAs(Path("copy.bmp")));
    const Bytes out = ReadBytes(Path("copy.bmp"));
    ASSERT_EQ(out.size(), file.size());
    // Headers and pixels as read; the colour table is the surface's, static entries included.
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 54, file.begin()));
    EXPECT_TRUE(std::equal(out.begin() + 1078, out.end(), file.begin() + 1078));
    for (int i = 0; i < 256; ++i)
    {
        ASSERT_EQ(out[54 + 4 * i + 2], colors[3 * i]) << i;
        ASSERT_EQ(out[54 + 4 * i + 1], colors[3 * i + 1]) << i;
        ASSERT_EQ(out[54 + 4 * i + 0], colors[3 * i + 2]) << i;
    }
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_BMP);
}

// Save As writes one CLUT row of 256 colours, and its header says so: a copy of a TIM with
// four rows claiming four would not be read as a TIM by anything that checks the header.
TEST_F(DocTest, TimSavedAsTimHasAClutHeaderThatFitsItsBlock)
{
    const Bytes sample = MakeSampleTim(4, 2);
    Bytes four(sample.begin(), sample.begin() + 532);
    four.insert(four.end(), 3 * 512, 0x11);  // rows 1 to 3
    four.insert(four.end(), sample.begin() + 532, sample.end());
    PutLe32(&four[8], 12 + 4 * 512);
    PutLe16(&four[12], 320);  // CLUT x
    PutLe16(&four[14], 480);  // CLUT y
    PutLe16(&four[18], 4);    // CLUT height
    Bytes square = sample;
    PutLe16(&square[16], 16);
    PutLe16(&square[18], 16);
    const struct
    {
        const char* pszName;
        const Bytes& file;
        std::uint16_t nWidth, nHeight;
    } cases[] = {{"four.tim", four, 256, 1}, {"square.tim", square, 16, 16}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(Open(Put(c.pszName, c.file)));
        ASSERT_TRUE(SaveAs(Path("copy.tim")));
        const Bytes out = ReadBytes(Path("copy.tim"));
        ASSERT_EQ(out.size(), sample.size());
        EXPECT_EQ(GetLe32(&out[8]), 524u);
        EXPECT_EQ(GetLe16(&out[12]), GetLe16(&c.file[12]));
        EXPECT_EQ(GetLe16(&out[14]), GetLe16(&c.file[14]));
        EXPECT_EQ(GetLe16(&out[16]), c.nWidth);
        EXPECT_EQ(GetLe16(&out[18]), c.nHeight);
        EXPECT_TRUE(std::equal(out.begin() + 532, out.end(), sample.begin() + 532));
    }
}

TEST_F(DocTest, SheetSavedAsTimGoesThroughBmp)
{
    ASSERT_TRUE(Open(Put("a.fnt", MakeSampleBfnt(16, 16, 0, 31))));
    ASSERT_TRUE(SaveAs(Path("a.TIM")));
    EXPECT_EQ(m_pDoc->m_nDataType, DATA_TIM);
    // The intermediate image stays in the BMP record: 16 cells across, 2 rows of cells.
    EXPECT_EQ(m_pView->m_bmpData.m_infoHeader.biWidth, 256);
    EXPECT_EQ(m_pView->m_bmpData.m_infoHeader.biHeight, 32);
    EXPECT_EQ(m_pView->m_timData.m_imageWidth, 128);
    EXPECT_EQ(ReadBytes(Path("a.TIM"))[0], 0x10);
}

// Every source kind saved as every target kind, then opened again: the shown picture and
// the image colours survive. Sources are sized so that every layout shows the same
// picture: 256-pixel-wide images cut into 16 x 16 cells lay out again as they were.
TEST_F(DocTest, ConversionMatrixRoundTrips)
{
    struct Source
    {
        const char* pszName;
        Bytes file;
        int nKind;
        int nWidth;   // of the picture as shown
        int nHeight;
    };
    const Source sources[] = {
        {"sheet.fnt", MakeSampleBfnt(16, 16, 0, 47), DATA_BFNT, 256, 48},
        {"sheet16.fnt", MakeSampleBfnt16(16, 16, 0, 31), DATA_BFNT, 256, 32},
        {"image.bmp", MakeSampleBmp(256, 40), DATA_BMP, 256, 40},
        {"image.tim", MakeSampleTim(128, 40), DATA_TIM, 256, 40},
    };
    struct Target
    {
        const char* pszExt;
        int nKind;
    };
    const Target targets[] = {{".fnt", DATA_BFNT}, {".bmp", DATA_BMP}, {".tim", DATA_TIM}};

    for (const Source& s : sources)
        for (const Target& t : targets)
        {
            SCOPED_TRACE(std::string(s.pszName) + " -> " + t.pszExt);
            TakeMessages();
            ASSERT_TRUE(Open(Put(s.pszName, s.file)));
            ASSERT_EQ(m_pDoc->m_nDataType, s.nKind);
            const Bytes shown = ShownPixels(*m_pView);
            const Bytes colors = SurfaceColors(*m_pView);

            const auto out = Path(std::string("out") + t.pszExt);
            ASSERT_TRUE(SaveAs(out));
            EXPECT_EQ(m_pDoc->m_nDataType, t.nKind);
            ASSERT_TRUE(Open(out));
            EXPECT_TRUE(TakeMessages().empty());
            EXPECT_EQ(m_pDoc->m_nDataType, t.nKind);

            const Bytes again = ShownPixels(*m_pView);
            for (int y = 0; y < s.nHeight; ++y)
                for (int x = 0; x < s.nWidth; ++x)
                    ASSERT_EQ(again[static_cast<std::size_t>(y * 256 + x)], shown[static_cast<std::size_t>(y * 256 + x)])
                        << x << "," << y;
            const Bytes colorsAgain = SurfaceColors(*m_pView);
            EXPECT_TRUE(std::equal(colorsAgain.begin() + IMAGE_BEGIN, colorsAgain.begin() + IMAGE_END,
                                   colors.begin() + IMAGE_BEGIN));
        }
}

// Images without pixels open, save as the other image format and open again; only a
// sheet cannot hold them.
TEST_F(DocTest, EmptyImagesSaveAsTheOtherImageFormatAndReopen)
{
    struct Case
    {
        const char* pszName;
        Bytes file;
        const char* pszStatus;
        const char* pszTarget;
        std::size_t nSavedSize;
        Bytes savedHead;  // the saved file's size fields
        std::size_t nHeadAt;
        const char* pszStatusAgain;
    };
    const Case cases[] = {
        {"flat.bmp", MakeSampleBmp(8, 0), "size:8x0", "flat.tim", 544,
         {12, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0}, 532, "size:8x0"},
        {"thin.tim", MakeSampleTim(0, 4), "size:0x4", "thin.bmp", 1078,
         {0x36, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0}, 2, "size:0x4"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(Open(Put(c.pszName, c.file)));
        EXPECT_EQ(m_pFrame->m_strStatus, c.pszStatus);
        const Bytes colors = SurfaceColors(*m_pView);
        ASSERT_TRUE(SaveAs(Path(c.pszTarget)));
        EXPECT_TRUE(TakeMessages().empty());
        const Bytes saved = ReadBytes(Path(c.pszTarget));
        ASSERT_EQ(saved.size(), c.nSavedSize);
        EXPECT_EQ(Bytes(saved.begin() + static_cast<std::ptrdiff_t>(c.nHeadAt),
                        saved.begin() + static_cast<std::ptrdiff_t>(c.nHeadAt + c.savedHead.size())),
                  c.savedHead);

        ASSERT_TRUE(Open(Path(c.pszTarget)));
        EXPECT_TRUE(TakeMessages().empty());
        EXPECT_EQ(m_pFrame->m_strStatus, c.pszStatusAgain);
        EXPECT_EQ(SurfaceColors(*m_pView), colors);
        const Bytes shown = ShownPixels(*m_pView);
        EXPECT_EQ(std::count(shown.begin(), shown.end(), CVellumView::BACKGROUND_INDEX), 256 * 256);

        EXPECT_FALSE(SaveAs(Path("cells.fnt")));
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{"cannot save as BFNT: the data does not fit that format."});
        EXPECT_FALSE(std::filesystem::exists(Path("cells.fnt")));
    }
}

TEST_F(DocTest, RefusedConversionsWriteNothing)
{
    Bytes wideBmp = MakeSampleBmp(65536, 1);
    Bytes tallBmp = MakeSampleBmp(1, 65536);
    Bytes wideTim = MakeSampleTim(32768, 1);
    Bytes wideCells = MakeSampleBfnt(257, 1, 0, 0);
    // Lays out as 256 x 65536: the step into BMP succeeds, the step into TIM refuses.
    Bytes tallSheet = MakeSampleBfnt(1, 32768, 0, 256);
    struct Case
    {
        const char* pszName;
        const Bytes* pFile;
        int nKind;
        const char* pszTarget;
        const char* pszMessage;
    };
    const Case cases[] = {
        {"wide.bmp", &wideBmp, DATA_BMP, "out.fnt", "cannot save as BFNT: the data does not fit that format."},
        {"tall.bmp", &tallBmp, DATA_BMP, "out.tim", "cannot save as TIM: the data does not fit that format."},
        {"tall.bmp", &tallBmp, DATA_BMP, "out.fnt", "cannot save as BFNT: the data does not fit that format."},
        {"wide.tim", &wideTim, DATA_TIM, "out.fnt", "cannot save as BFNT: the data does not fit that format."},
        {"wide.fnt", &wideCells, DATA_BFNT, "out.bmp", "cannot save as BMP: the data does not fit that format."},
        {"wide.fnt", &wideCells, DATA_BFNT, "out.tim", "cannot save as TIM: the data does not fit that format."},
        {"tall.fnt", &tallSheet, DATA_BFNT, "out.tim", "cannot save as TIM: the data does not fit that format."},
    };
    const Bytes old = {'o', 'l', 'd'};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszName) + " -> " + c.pszTarget);
        ASSERT_TRUE(Open(Put(c.pszName, *c.pFile)));
        TakeMessages();
        const auto target = Put(c.pszTarget, old);
        EXPECT_FALSE(SaveAs(target));
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{c.pszMessage});
        EXPECT_EQ(ReadBytes(target), old);
        EXPECT_EQ(m_pDoc->m_nDataType, c.nKind);
        std::filesystem::remove(target);
        EXPECT_FALSE(SaveAs(target));
        EXPECT_FALSE(std::filesystem::exists(target));
        TakeMessages();
    }
}

TEST_F(DocTest, SaveErrorsLeaveTheTargetAlone)
{
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(8, 8))));
    TakeMessages();
    EXPECT_FALSE(SaveAs(Path("no-such-dir") / "x.bmp"));
    const auto messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("x.bmp"), std::string::npos);
}
