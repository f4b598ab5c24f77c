// End-to-end runs of the vellumconv program on real files: exit status, the stdout and
// stderr lines, the files it writes and the PNGs it renders.

#include "tests/formats/SampleFiles.h"

#include "resources/ResourceTables.h"
#include "resources/resource.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

struct RunResult
{
    int nExit = -1;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

std::vector<std::string> Lines(const QByteArray& data)
{
    std::vector<std::string> lines;
    std::string cur;
    for (char ch : data)
    {
        if (ch == '\n')
        {
            lines.push_back(cur);
            cur.clear();
        }
        else
            cur += ch;
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A picture as the records hold it: an image of memory rows, or a sheet of glyphs in code
// order. Each source's outputs are checked against its picture, as a naive model of the
// conversions lays it out: a sheet becomes an image of its cells, 256 pixels across; an
// image becomes a sheet of 16 x 16 cells, row by row, with 0 outside the image.
struct Image
{
    std::uint64_t nWidth = 0, nHeight = 0;
    Bytes pixels;
};
struct Sheet
{
    std::uint64_t nCellWidth = 0, nCellHeight = 0, nFirst = 0, nCount = 0;
    Bytes glyphs;
};

Image ImageOf(const Sheet& s)
{
    const std::uint64_t nAcross = 256 / s.nCellWidth;
    Image im{nAcross * s.nCellWidth, (s.nCount + nAcross - 1) / nAcross * s.nCellHeight, {}};
    im.pixels.assign(im.nWidth * im.nHeight, 0);
    for (std::uint64_t g = 0; g < s.nCount; ++g)
        for (std::uint64_t r = 0; r < s.nCellHeight; ++r)
            for (std::uint64_t c = 0; c < s.nCellWidth; ++c)
                im.pixels[(g / nAcross * s.nCellHeight + r) * im.nWidth + g % nAcross * s.nCellWidth + c] =
                    s.glyphs[(g * s.nCellHeight + r) * s.nCellWidth + c];
    return im;
}

Sheet SheetOf(const Image& im)
{
    const std::uint64_t nAcross = (im.nWidth + 15) / 16;
    Sheet s{16, 16, 0, nAcross * ((im.nHeight + 15) / 16), {}};
    s.glyphs.assign(s.nCount * 256, 0);
    for (std::uint64_t g = 0; g < s.nCount; ++g)
        for (std::uint64_t r = 0; r < 16; ++r)
            for (std::uint64_t c = 0; c < 16; ++c)
            {
                const std::uint64_t x = g % nAcross * 16 + c, y = g / nAcross * 16 + r;
                if (x < im.nWidth && y < im.nHeight)
                    s.glyphs[(g * 16 + r) * 16 + c] = im.pixels[y * im.nWidth + x];
            }
    return s;
}

Bytes Span(const std::uint8_t* p, std::uint64_t n)
{
    return p == nullptr ? Bytes{} : Bytes(p, p + n);
}

std::string Msg(unsigned nID)
{
    static const bool s_bRegistered = (AfxRegisterResources(VellumResources()), true);
    (void)s_bRegistered;
    return AfxFindString(nID);
}

class ConvRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "vellumconv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string Path(const std::string& strName) const { return (m_dir / strName).string(); }
    std::string Put(const std::string& strName, const Bytes& data) const
    {
        const std::string strPath = Path(strName);
        std::ofstream out(strPath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return strPath;
    }
    static Bytes Read(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    RunResult Run(const std::vector<std::string>& args) const
    {
        QProcess proc;
        QStringList qargs;
        for (const std::string& a : args)
            qargs << QString::fromStdString(a);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");  // the converter needs no platform at all
        env.insert("HOME", QString::fromStdString(m_dir.string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(Path("config")));
        proc.setProcessEnvironment(env);
        proc.setWorkingDirectory(QString::fromStdString(m_dir.string()));
        proc.start(QStringLiteral(VELLUMCONV_PATH), qargs);
        RunResult r;
        if (!proc.waitForFinished(60000) || proc.exitStatus() != QProcess::NormalExit)
            return r;
        r.nExit = proc.exitCode();
        r.out = Lines(proc.readAllStandardOutput());
        r.err = Lines(proc.readAllStandardError());
        return r;
    }

    std::filesystem::path m_dir;
};

}  // namespace

TEST_F(ConvRunTest, HelpAndUsageErrors)
{
    RunResult r = Run({"--help"});
    EXPECT_EQ(r.nExit, 0);
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out[0].rfind("Usage: vellumconv", 0), 0u);
    EXPECT_TRUE(r.err.empty());

    const std::string in = Put("in.bmp", MakeSampleBmp(8, 8));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--open"}, {in, "--bogus"}, {in, "--size", "8"}, {in, Path("o.bmp"), "--size"}})
    {
        r = Run(args);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(r.err.empty());
    }
    // A usage error runs no step at all.
    EXPECT_FALSE(std::filesystem::exists(Path("o.bmp")));
}

TEST_F(ConvRunTest, ConvertsEveryFormatToEveryFormat)
{
    struct Source
    {
        const char* pszName;
        Bytes file;
        const char* pszStatus;
        Image image;  // what the BMP and the TIM hold
    };
    Sheet sheet{16, 16, 0, 32, Bytes(32 * 256)};
    for (std::uint64_t i = 0; i < sheet.glyphs.size(); ++i)
        sheet.glyphs[i] = SampleGlyphPixel(i / 256, i / 16 % 16, i % 16);
    // Pixel k of a 16-colour sheet is k % 16, held as image colour 10 + k % 16.
    Sheet sheet16{8, 8, 32, 32, Bytes(32 * 64)};
    for (std::uint64_t k = 0; k < sheet16.glyphs.size(); ++k)
        sheet16.glyphs[k] = static_cast<std::uint8_t>(PAL_FIRST_IMAGE_COLOR + k % 16);
    const Image image{64, 48, SampleImage(64, 48)};
    const Source sources[] = {
        {"s.fnt", MakeSampleBfnt(16, 16, 0, 31), "size:16x16  no:0-31", ImageOf(sheet)},
        {"s16.fnt", MakeSampleBfnt16(8, 8, 32, 63), "size:8x8  no:32-63", ImageOf(sheet16)},
        {"i.bmp", MakeSampleBmp(64, 48), "size:64x48", image},
        {"i.tim", MakeSampleTim(32, 48), "size:64x48", image},
    };
    for (const Source& s : sources)
    {
        SCOPED_TRACE(s.pszName);
        const std::string in = Put(s.pszName, s.file);
        const RunResult r = Run({in, "--save", Path("o.bmp"), "--save", Path("o.tim"), "--save", Path("o.fnt")});
        EXPECT_EQ(r.nExit, 0);
        EXPECT_EQ(r.out, std::vector<std::string>{s.pszStatus});
        EXPECT_TRUE(r.err.empty()) << r.err.front();

        RgbPalette pal{};
        CBmpData bmp;
        bmp.m_pPalette = &pal;
        CMemStream bmpFile(Read(Path("o.bmp")));
        EXPECT_EQ(bmp.ReadBmp(bmpFile, true), FMT_OK);
        CTimData tim;
        tim.m_pPalette = &pal;
        CMemStream timFile(Read(Path("o.tim")));
        EXPECT_EQ(tim.ReadTim(timFile, true), FMT_OK);
        CBfntData bfnt;
        bfnt.m_pPalette = &pal;
        CMemStream bfntFile(Read(Path("o.fnt")));
        EXPECT_EQ(bfnt.ReadBfnt256(bfntFile), FMT_OK);
        // The TIM and the BMP hold the same picture.
        EXPECT_EQ(2 * tim.m_imageWidth, bmp.m_infoHeader.biWidth);
        EXPECT_EQ(tim.m_imageHeight, bmp.m_infoHeader.biHeight);
        EXPECT_EQ(0, std::memcmp(tim.m_pPixels.get(), bmp.m_pBits.get(), tim.PixelByteCount()));
        // And it is the source's picture. Each save converts the data the one before left, so
        // the sheet is cut from the TIM's image.
        EXPECT_EQ(static_cast<std::uint64_t>(bmp.m_infoHeader.biWidth), s.image.nWidth);
        EXPECT_EQ(static_cast<std::uint64_t>(bmp.m_infoHeader.biHeight), s.image.nHeight);
        EXPECT_EQ(Span(bmp.m_pBits.get(), std::min<std::uint64_t>(bmp.m_nBitsSize, s.image.pixels.size())),
                  s.image.pixels);
        EXPECT_EQ(Span(tim.m_pPixels.get(), std::min<std::uint64_t>(tim.PixelByteCount(), s.image.pixels.size())),
                  s.image.pixels);
        const Sheet cut = SheetOf(s.image);
        EXPECT_EQ(bfnt.m_header.glyphWidth, cut.nCellWidth);
        EXPECT_EQ(bfnt.m_header.glyphHeight, cut.nCellHeight);
        EXPECT_EQ(bfnt.m_header.firstCode, cut.nFirst);
        EXPECT_EQ(bfnt.GlyphCount(), cut.nCount);
        EXPECT_EQ(Span(bfnt.m_pGlyphs.get(), std::min<std::uint64_t>(bfnt.GlyphByteCount(), cut.glyphs.size())),
                  cut.glyphs);
    }
}

// A TIM or a sheet saved as BMP opens in other programs (Qt's reader here; the exchange
// tests ask ImageMagick and Pillow): rows padded to 4 bytes, which bfSize and biSizeImage
// count, and the pixels the program itself reads back.
TEST_F(ConvRunTest, BmpsItWritesOpenInOtherReaders)
{
    struct Source
    {
        const char* pszName;
        Bytes file;
        std::int32_t nWidth;
    };
    const Source sources[] = {
        {"six.tim", MakeSampleTim(3, 5), 6},
        {"cells.fnt", MakeSampleBfnt(3, 4, 0, 100), 48},  // as export lays a sheet out: 16 cells across
        {"eight.tim", MakeSampleTim(4, 5), 8},
    };
    for (const Source& s : sources)
    {
        SCOPED_TRACE(s.pszName);
        const RunResult r = Run({Put(s.pszName, s.file), Path("o.bmp")});
        ASSERT_EQ(r.nExit, 0);
        const Bytes file = Read(Path("o.bmp"));
        RgbPalette pal{};
        CBmpData bmp;
        bmp.m_pPalette = &pal;
        CMemStream in(file);
        ASSERT_EQ(bmp.ReadBmp(in, true), FMT_OK);
        const std::int32_t w = bmp.m_infoHeader.biWidth, h = bmp.m_infoHeader.biHeight;
        ASSERT_EQ(w, s.nWidth);
        const auto nImage = static_cast<std::uint32_t>((w + 3) / 4 * 4 * h);
        EXPECT_EQ(file.size(), BMP_PIXEL_OFFSET + nImage);
        EXPECT_EQ(bmp.m_fileHeader.bfSize, BMP_PIXEL_OFFSET + nImage);
        EXPECT_EQ(bmp.m_infoHeader.biSizeImage, nImage);

        const QImage theirs(QString::fromStdString(Path("o.bmp")), "BMP");
        ASSERT_FALSE(theirs.isNull()) << "Qt cannot read the BMP";
        ASSERT_EQ(theirs.size(), QSize(w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const std::uint8_t* c = pal.rgb + 3 * std::size_t{bmp.m_pBits[static_cast<std::size_t>(y * w + x)]};
                ASSERT_EQ(theirs.pixel(x, y), qRgb(c[0], c[1], c[2])) << x << "," << y;
            }
    }
}

TEST_F(ConvRunTest, MessagesGoToStderrAndLaterStepsStillRun)
{
    const std::string good = Put("good.tim", MakeSampleTim(8, 8));
    const std::string junk = Put("junk.bmp", Bytes{'j', 'u', 'n', 'k'});
    Bytes bmp24 = MakeSampleBmp(4, 4);
    PutLe16(bmp24.data() + 28, 24);
    const std::string deep = Put("deep.bmp", bmp24);

    RunResult r = Run({"--save", Path("first.bmp"), "--open", Path("missing.bmp"), "--open", junk, "--open", deep,
                       "--open", good, "--save", Path("out.bmp"), "--save", Path("nodir/x.bmp")});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.out, std::vector<std::string>{"size:16x8"});
    ASSERT_EQ(r.err.size(), 5u);
    EXPECT_EQ(r.err[0], "vellumconv: " + Path("first.bmp") + ": " + Msg(IDS_NO_FILE_LOADED));
    EXPECT_NE(r.err[1].find(Path("missing.bmp")), std::string::npos);
    EXPECT_TRUE(EndsWith(r.err[2], ": " + Msg(IDS_UNKNOWN_FORMAT)));
    EXPECT_TRUE(EndsWith(r.err[3], ": " + Msg(IDS_NOT_256_COLOR)));
    EXPECT_NE(r.err[4].find("x.bmp"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("first.bmp")));
    EXPECT_TRUE(std::filesystem::exists(Path("out.bmp")));

    // A refused conversion: a clear line, and nothing written.
    const std::string tall = Put("tall.bmp", MakeSampleBmp(2, 65536));
    r = Run({tall, Path("tall.tim")});
    EXPECT_EQ(r.nExit, 1);
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_TRUE(EndsWith(r.err[0], "the picture (2 x 65536) is too large for an 8-bit TIM."));
    EXPECT_FALSE(std::filesystem::exists(Path("tall.tim")));
}

TEST_F(ConvRunTest, RendersAnIndexedPngOfTheWindow)
{
    const RgbPalette pal = SamplePalette();
    const std::string in = Put("i.bmp", MakeSampleBmp(300, 20));
    const RunResult r = Run({"--render", Path("empty.png"), "--open", in, "--render", Path("a.png"), "--size", "5x30",
                             "--render", Path("b.png"), "--size", "0x0", "--render", Path("c.png")});
    EXPECT_EQ(r.nExit, 0);
    EXPECT_TRUE(r.err.empty());

    QImage empty(QString::fromStdString(Path("empty.png")));
    ASSERT_FALSE(empty.isNull());
    EXPECT_EQ(empty.size(), QSize(256, 256));
    EXPECT_EQ(empty.format(), QImage::Format_Indexed8);
    EXPECT_EQ(empty.pixelIndex(100, 100), PAL_BACKGROUND_INDEX);

    QImage a(QString::fromStdString(Path("a.png")));
    ASSERT_EQ(a.format(), QImage::Format_Indexed8);
    EXPECT_EQ(a.size(), QSize(256, 256));
    ASSERT_EQ(a.colorCount(), 256);
    for (int i = PAL_FIRST_IMAGE_COLOR; i < PAL_FIRST_IMAGE_COLOR + PAL_IMAGE_COLORS; ++i)
        ASSERT_EQ(a.color(i), qRgb(pal.rgb[3 * i], pal.rgb[3 * i + 1], pal.rgb[3 * i + 2])) << i;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(a.pixelIndex(x, y), y < 20 ? SamplePixel(static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y)) : int{PAL_BACKGROUND_INDEX})
                << x << "," << y;

    // Width 5 rounds up to 8; an empty size keeps the last picture.
    QImage b(QString::fromStdString(Path("b.png")));
    EXPECT_EQ(b.size(), QSize(8, 30));
    QImage c(QString::fromStdString(Path("c.png")));
    EXPECT_EQ(c, b);
}

// --render writes, byte for byte, the PNG Qt's writer makes of the same 8-bit indexed image
// at 96 dots per inch: the default window, a size not a multiple of four, and a picture of
// noise large enough to need several IDAT chunks.
TEST_F(ConvRunTest, RenderIsTheFileQtsPngWriterMakes)
{
    Bytes noise = MakeSampleBmp(512, 300);
    std::uint32_t nSeed = 12345;
    for (std::size_t i = BMP_PIXEL_OFFSET; i < noise.size(); ++i)
    {
        nSeed = nSeed * 1103515245u + 12345u;
        noise[i] = static_cast<std::uint8_t>(PAL_FIRST_IMAGE_COLOR + (nSeed >> 16) % PAL_IMAGE_COLORS);
    }
    const std::string in = Put("noise.bmp", noise);
    const RunResult r = Run({"--open", in, "--render", Path("a.png"), "--size", "5x30", "--render", Path("b.png"),
                             "--size", "600x400", "--render", Path("c.png")});
    ASSERT_EQ(r.nExit, 0);
    for (const char* pszName : {"a.png", "b.png", "c.png"})
    {
        SCOPED_TRACE(pszName);
        const QImage shown(QString::fromStdString(Path(pszName)));
        ASSERT_EQ(shown.format(), QImage::Format_Indexed8);
        QImage same(shown.size(), QImage::Format_Indexed8);
        same.setColorTable(shown.colorTable());
        for (int y = 0; y < shown.height(); ++y)
            std::memcpy(same.scanLine(y), shown.constScanLine(y), static_cast<std::size_t>(shown.width()));
        same.setDotsPerMeterX(3780);
        same.setDotsPerMeterY(3780);
        const std::string strQt = Path(std::string("qt-") + pszName);
        ASSERT_TRUE(same.save(QString::fromStdString(strQt), "PNG"));
        const Bytes ours = Read(Path(pszName));
        EXPECT_EQ(ours, Read(strQt));
        // Several IDAT chunks in the large one, so their size is compared too.
        if (std::string(pszName) == "c.png")
        {
            EXPECT_GT(ours.size(), 3u * 8192u);
        }
    }
}

TEST_F(ConvRunTest, LeavesTheUsersRecentFilesAlone)
{
    const std::string in = Put("i.bmp", MakeSampleBmp(16, 16));
    EXPECT_EQ(Run({in, Path("o.fnt")}).nExit, 0);
    EXPECT_FALSE(std::filesystem::exists(Path("config")));
}

// The converter must start without any toolkit: no Qt library is loaded at all.
TEST(ConvLinkage, LoadsNoQtLibrary)
{
    std::FILE* pipe = ::popen("ldd " VELLUMCONV_PATH " 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    std::string strOut;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr)
        strOut += buf;
    ::pclose(pipe);  // a static program makes ldd fail; its answer is what counts
    EXPECT_TRUE(strOut.find("libc.so") != std::string::npos || strOut.find("not a dynamic") != std::string::npos)
        << strOut;
    EXPECT_EQ(strOut.find("libQt"), std::string::npos) << strOut;
}
