// What the converter reads, through the program: only regular files, refused at once and
// truly named otherwise, and of a file only what its item needs, so that memory follows
// the file and not what its header claims or how far it was padded.

#include "tests/formats/SampleFiles.h"
#include "tests/support/Sanitizers.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include "exchange/Png.h"
#include "formats/BmpFormat.h"
#include "formats/ByteOrder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunOptions;
using convproc::RunResult;

// A run that waits for a FIFO's writer never ends; this is long past any real run.
constexpr int HANG_SECONDS = 10;
constexpr long MIB = 1024;  // in the KiB that the peak memory is counted in

// The sanitizers' shadow memory counts in a program's resident memory; there only the
// results are checked.
bool PeakWithin(long nPeakKib, std::uint64_t nLimitKib)
{
#ifdef VELLUM_UNDER_ASAN
    (void)nPeakKib;
    (void)nLimitKib;
    return true;
#else
    return static_cast<std::uint64_t>(nPeakKib) <= nLimitKib;
#endif
}

class ConvInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vellum-input-test.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // bMayHang: the run is killed, and marked, when it hangs. The large runs go without, as a
    // sanitizer build takes a while over them.
    RunResult Run(const std::vector<std::string>& args, bool bMayHang = true) const
    {
        RunOptions options;
        options.nHangSeconds = bMayHang ? HANG_SECONDS : 0;
        return convproc::Run(VELLUMCONV_PATH, args, m_dir, options);
    }

    fs::path m_dir;
};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Every verb and form that reads IN, with the other names it needs.
std::vector<std::vector<std::string>> ReadingCommands(const std::string& strIn)
{
    return {
        {"scan", strIn},
        {"scan", "--extract", "x", strIn},
        {strIn, "o.bmp"},
        {strIn, "o.png"},
        {"export", strIn, "o.png"},
        {"import", strIn, "o.tim"},
        {"--to", ".bmp", strIn},
        {"--to", ".png", strIn},
        {"--open", strIn, "--save", "o.bmp"},
        {"palette", "export", strIn, "o.gpl"},
        {"palette", "import", strIn, "good.bmp", "o.bmp"},
        {"palette", "import", "good.bmp", strIn, "o.bmp"},
    };
}

std::string Shown(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args)
        s += a + " ";
    return s;
}

TEST_F(ConvInput, AFifoWithoutAWriterIsRefusedAtOnceInEveryVerb)
{
    WriteBytes(m_dir / "good.bmp", MakeSampleBmp(16, 8));
    ASSERT_EQ(::mkfifo((m_dir / "f").c_str(), 0600), 0);
    for (const std::vector<std::string>& args : ReadingCommands("f"))
    {
        const RunResult r = Run(args);
        EXPECT_FALSE(r.bHung) << Shown(args) << "waited for a writer";
        EXPECT_EQ(r.nExit, 1) << Shown(args) << r.err;
        EXPECT_TRUE(Has(r.err, "Cannot open \"f\": a FIFO with nothing written to it.")) << Shown(args) << r.err;
        // One true message, not a second one that guesses at what the pipe held.
        EXPECT_FALSE(Has(r.err, "empty")) << Shown(args) << r.err;
        EXPECT_FALSE(Has(r.err, "Not a regular file")) << Shown(args) << r.err;
    }
}

TEST_F(ConvInput, ABatchWithAFifoStillPutsItsGoodOutputsInPlace)
{
    WriteBytes(m_dir / "good.bmp", MakeSampleBmp(16, 8));
    ASSERT_EQ(::mkfifo((m_dir / "f.bmp").c_str(), 0600), 0);
    const RunResult r = Run({"--to", ".tim", "good.bmp", "f.bmp"});
    EXPECT_FALSE(r.bHung);
    EXPECT_EQ(r.nExit, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "f.bmp: Cannot open \"f.bmp\": a FIFO with nothing written to it.")) << r.err;
    EXPECT_TRUE(fs::is_regular_file(m_dir / "good.tim"));
}

TEST_F(ConvInput, SocketsAndDevicesAreNamedForWhatTheyAre)
{
    WriteBytes(m_dir / "good.bmp", MakeSampleBmp(16, 8));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string strSocket = (m_dir / "sock").string();
    ASSERT_LT(strSocket.size(), sizeof addr.sun_path);
    strSocket.copy(addr.sun_path, strSocket.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    for (const auto& [strPath, strWhat] : {std::pair<std::string, std::string>{"sock", "a socket"},
                                           {"/dev/null", "a character device"}})
        for (const std::vector<std::string>& args : ReadingCommands(strPath))
        {
            const RunResult r = Run(args);
            EXPECT_FALSE(r.bHung) << Shown(args);
            EXPECT_EQ(r.nExit, 1) << Shown(args) << r.err;
            EXPECT_TRUE(Has(r.err, strWhat + "; vellumconv reads regular files")) << Shown(args) << r.err;
        }
    ::close(fd);
}

// ---- Memory --------------------------------------------------------------------------

// 1,110 bytes: an 8-bit RLE bitmap of 2^24 x 16 pixels whose codes are 15 ends of lines and
// the end of the picture. Decoded whole it would take 256 MiB.
Bytes HostileRle8()
{
    Bytes file = MakeSampleBmp(4, 4);
    file.resize(BMP_PIXEL_OFFSET);
    for (int i = 0; i < 15; ++i)
        file.insert(file.end(), {0, 0});
    file.insert(file.end(), {0, 1});
    PutLe32(file.data() + 2, static_cast<std::uint32_t>(file.size()));  // bfSize
    PutLeS32(file.data() + 18, 1 << 24);                                 // biWidth
    PutLeS32(file.data() + 22, 16);                                      // biHeight
    PutLe32(file.data() + 30, 1);                                        // biCompression: RLE8
    PutLe32(file.data() + 34, 32);                                       // biSizeImage
    return file;
}

TEST_F(ConvInput, AnRleBitmapThatWouldDecodeFarBeyondItsFileIsRefusedWithinLittleMemory)
{
    const Bytes rle = HostileRle8();
    ASSERT_EQ(rle.size(), 1110u);
    WriteBytes(m_dir / "rle.bmp", rle);
    WriteBytes(m_dir / "good.bmp", MakeSampleBmp(16, 8));
    const std::string strRefusal = "the RLE-compressed BMP of 16777216 x 16 pixels would decode to more than 1024 times "
                                   "the file's 1110 bytes; it is not read.";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"export", "rle.bmp", "o.png"},
             {"palette", "export", "rle.bmp", "o.gpl"},
             {"palette", "import", "good.bmp", "rle.bmp", "o.bmp"},
             {"rle.bmp", "o.tim"}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.nExit, 1) << Shown(args) << r.err;
        EXPECT_TRUE(Has(r.err, strRefusal)) << Shown(args) << r.err;
        EXPECT_TRUE(PeakWithin(r.nPeakRssKib, 64 * MIB)) << Shown(args) << r.nPeakRssKib << " KiB";
        EXPECT_FALSE(fs::exists(m_dir / "o.png") || fs::exists(m_dir / "o.gpl") || fs::exists(m_dir / "o.bmp") ||
                     fs::exists(m_dir / "o.tim"));
        // A conversion reads the file as export does; no line sends the user to it.
        EXPECT_FALSE(Has(r.err, "`vellumconv export` reads it")) << r.err;
    }
}

TEST_F(ConvInput, ABitmapPaddedToTwoGibibytesCostsItsPictureNotItsPadding)
{
    const Bytes bmp = MakeSampleBmp(128, 96);
    WriteBytes(m_dir / "small.bmp", bmp);
    WriteBytes(m_dir / "pad.bmp", bmp);
    constexpr std::uint64_t PADDED = std::uint64_t{2} << 30;
    // Sparse: the padding takes no disk.
    fs::resize_file(m_dir / "pad.bmp", PADDED);
    ASSERT_EQ(Run({"palette", "export", "small.bmp", "small.gpl"}).nExit, 0);

    for (const std::string& strIn : {std::string("small.bmp"), std::string("pad.bmp")})
    {
        const std::string strStem = strIn.substr(0, strIn.find('.'));
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"export", strIn, strStem + ".png"},
                 {"palette", "export", strIn, strStem + "-out.gpl"},
                 {"palette", "import", "small.gpl", strIn, strStem + "-pal.bmp"},
                 {strIn, strStem + ".tim"}})
        {
            const RunResult r = Run(args);
            EXPECT_EQ(r.nExit, 0) << Shown(args) << r.err;
            EXPECT_TRUE(PeakWithin(r.nPeakRssKib, 64 * MIB)) << Shown(args) << r.nPeakRssKib << " KiB";
        }
    }
    // The padding changes no result; palette import keeps every byte past the palette,
    // the padding too, and keeps it sparse.
    EXPECT_EQ(ReadBytes(m_dir / "pad.png"), ReadBytes(m_dir / "small.png"));
    // A GIMP palette names its source on its second line.
    auto colours = [&](const std::string& strName) {
        const Bytes gpl = ReadBytes(m_dir / strName);
        const std::string strText(gpl.begin(), gpl.end());
        const std::size_t nName = strText.find("\nName: ");
        return nName == std::string::npos ? strText : strText.substr(strText.find('\n', nName + 1));
    };
    EXPECT_EQ(colours("pad-out.gpl"), colours("small-out.gpl"));
    EXPECT_EQ(ReadBytes(m_dir / "pad.tim"), ReadBytes(m_dir / "small.tim"));
    EXPECT_EQ(fs::file_size(m_dir / "pad-pal.bmp"), PADDED);
    struct stat st;
    ASSERT_EQ(::stat((m_dir / "pad-pal.bmp").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 16 << 20) << "the padding was written out";
    const Bytes head = ReadBytes(m_dir / "small-pal.bmp");
    std::ifstream in(m_dir / "pad-pal.bmp", std::ios::binary);
    Bytes padHead(head.size() + 4096);
    in.read(reinterpret_cast<char*>(padHead.data()), static_cast<std::streamsize>(padHead.size()));
    EXPECT_TRUE(std::equal(head.begin(), head.end(), padHead.begin()));
    EXPECT_EQ(std::count(padHead.begin() + static_cast<std::ptrdiff_t>(head.size()), padHead.end(), 0), 4096);
}

// A PNG of 16384 x 16384 pixels, all index 0: about 260 KB that import makes a 512 MiB
// 16-bit TIM of.
Bytes LargePalettePng()
{
    class CZeroRows final : public IPngRowSource
    {
    public:
        const std::uint8_t* Row(std::uint32_t) override { return m_row.data(); }

    private:
        std::vector<std::uint8_t> m_row = std::vector<std::uint8_t>(16384, 0);
    } rows;
    const PngColor palette[2] = {{10, 20, 30, 255}, {40, 50, 60, 255}};
    PngEncodeImage image;
    image.nWidth = image.nHeight = 16384;
    image.bUnpacked = true;
    image.pPalette = palette;
    image.nPalette = 2;
    Bytes png;
    std::string strError;
    EXPECT_TRUE(EncodePng(image, rows, PngEncodeOptions{}, png, strError)) << strError;
    return png;
}

TEST_F(ConvInput, ALargeImportNeedsItsOutputsSizeAndLittleMore)
{
    WriteBytes(m_dir / "big.png", LargePalettePng());
    const RunResult r = Run({"import", "--bpp", "16", "big.png", "big.tim"}, false);
    ASSERT_EQ(r.nExit, 0) << r.err;
    constexpr std::uint64_t TIM_SIZE = 8 + 12 + std::uint64_t{2} * 16384 * 16384;
    ASSERT_EQ(fs::file_size(m_dir / "big.tim"), TIM_SIZE);
    // At most 1.2 times the output and 64 MiB.
    EXPECT_TRUE(PeakWithin(r.nPeakRssKib, TIM_SIZE / 1024 * 12 / 10 + 64 * MIB)) << r.nPeakRssKib << " KiB";
    // A bitmap too: written from the decoded indices, not from a copy of them.
    const RunResult b = Run({"import", "big.png", "big.bmp"}, false);
    ASSERT_EQ(b.nExit, 0) << b.err;
    constexpr std::uint64_t BMP_SIZE = BMP_PIXEL_OFFSET + std::uint64_t{16384} * 16384;
    ASSERT_EQ(fs::file_size(m_dir / "big.bmp"), BMP_SIZE);
    EXPECT_TRUE(PeakWithin(b.nPeakRssKib, BMP_SIZE / 1024 * 12 / 10 + 64 * MIB)) << b.nPeakRssKib << " KiB";
    fs::remove(m_dir / "big.bmp");
    // Every pixel is colour 0 of the palette, narrowed to 15 bits.
    std::ifstream in(m_dir / "big.tim", std::ios::binary);
    Bytes start(8 + 12 + 64);
    in.read(reinterpret_cast<char*>(start.data()), static_cast<std::streamsize>(start.size()));
    const std::uint16_t nColour = static_cast<std::uint16_t>((10 >> 3) | ((20 >> 3) << 5) | ((30 >> 3) << 10));
    for (std::size_t i = 20; i < start.size(); i += 2)
        EXPECT_EQ(GetLe16(&start[i]), nColour);
}

}  // namespace
