// vellumconv replace as a user runs it after scan --extract: an untouched folder writes
// nothing, an edited export goes back with only its item's bytes changed, a raw CD image gets
// new user data with its sectors' EDC and ECC computed again and no other byte changed, and
// a NEW file that does not fit is refused with both sides named and nothing written.

#include "formats/CdSector.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using convproc::RunResult;

// 64x32 at 8 bits, four CLUT rows at 0,480, the image at 320,0: 4,128 bytes.
Bytes Sprites()
{
    exsample::TimShape s;
    s.nUnits = 32;
    s.nHeight = 32;
    s.nClutHeight = 4;
    s.nClutY = 480;
    s.nImageX = 320;
    return exsample::MakeTim(s);
}

// Bytes no scan takes for an item: a counter that never forms a signature.
Bytes Filler(std::size_t n, std::uint8_t nSeed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(0x20 + (i * 7 + nSeed) % 90);
    return b;
}

constexpr std::uint64_t kTimAt = 5000;
constexpr std::uint64_t kBmpAt = 12000;

// An archive: filler, the sprites, filler, an 8-bit bitmap, filler.
Bytes Archive(const Bytes& tim, const Bytes& bmp)
{
    Bytes a = Filler(kTimAt, 1);
    a.insert(a.end(), tim.begin(), tim.end());
    const Bytes gap = Filler(kBmpAt - a.size(), 2);
    a.insert(a.end(), gap.begin(), gap.end());
    a.insert(a.end(), bmp.begin(), bmp.end());
    const Bytes tail = Filler(3000, 3);
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

Bytes Bitmap()
{
    exsample::BmpShape s;
    s.nWidth = 24;
    s.nHeight = 10;
    return exsample::MakeBmp(s);
}

// A raw CD image of the stream in sectors of nMode (1, or 2 for Mode 2 Form 1), with a Form 2
// sector and an audio sector after the second data sector: the stream runs on past them. Every
// data sector has a valid EDC and ECC. userDataAt gets each data sector's file position of its
// user data.
Bytes CdImageOf(const Bytes& stream, int nMode, std::vector<std::uint64_t>& userDataAt)
{
    Bytes image;
    const std::size_t nData = (stream.size() + CD_USER_DATA_SIZE - 1) / CD_USER_DATA_SIZE;
    for (std::size_t k = 0; k < nData; ++k)
    {
        if (k == 2)
        {
            Bytes form2 = Filler(CD_SECTOR_SIZE, 9);
            std::copy(CD_SYNC, CD_SYNC + CD_SYNC_SIZE, form2.begin());
            form2[CD_MODE_AT] = 2;
            form2[18] = form2[22] = CD_SUBMODE_FORM2;
            image.insert(image.end(), form2.begin(), form2.end());
            const Bytes audio = Filler(CD_SECTOR_SIZE, 11);
            image.insert(image.end(), audio.begin(), audio.end());
        }
        Bytes sector(CD_SECTOR_SIZE, 0);
        std::copy(CD_SYNC, CD_SYNC + CD_SYNC_SIZE, sector.begin());
        sector[12] = 0x00;
        sector[13] = 0x02;
        sector[14] = static_cast<std::uint8_t>(k);
        sector[CD_MODE_AT] = static_cast<std::uint8_t>(nMode);
        std::uint32_t nAt = CD_MODE1_DATA_AT;
        if (nMode == 2)
        {
            sector[18] = sector[22] = 0x08;  // Form 1, data
            nAt = CD_MODE2_FORM1_DATA_AT;
        }
        for (std::size_t i = 0; i < CD_USER_DATA_SIZE; ++i)
            sector[nAt + i] = k * CD_USER_DATA_SIZE + i < stream.size() ? stream[k * CD_USER_DATA_SIZE + i] : 0x41;
        EXPECT_EQ(FillSectorEdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE>(sector.data(), CD_SECTOR_SIZE)), ECdFill::Ok);
        userDataAt.push_back(image.size() + nAt);
        image.insert(image.end(), sector.begin(), sector.end());
    }
    return image;
}

std::size_t DifferingBytes(const Bytes& a, const Bytes& b)
{
    std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i] ? 1 : 0;
    return n;
}

class ConvReplaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-replace-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    RunResult Run(const std::vector<std::string>& args) { return convproc::Run(VELLUMCONV_PATH, args, m_dir); }
    // The names in the folder, so a run can be seen to leave nothing behind.
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(m_dir))
            names.insert(e.path().filename().string());
        return names;
    }
    // Row nRow's export with ten pixels changed and colour 3 of the palette made another, as
    // an editor that drops the chunk saves it.
    Bytes Edited(const fs::path& png)
    {
        PngPicture pic = exsample::Decode(ReadBytes(png));
        // Ten pixels spread over the picture, within it whatever its size.
        for (std::size_t i = 0; i < 10; ++i)
        {
            const std::size_t k = i * 65 % pic.pixels.size();
            pic.pixels[k] = static_cast<std::uint8_t>(pic.pixels[k] ^ 0x40);
        }
        if (pic.palette.size() > 3)
            pic.palette[3] = PngColor{8, 16, 248, 255};
        return exsample::EncodeEdited(pic, false);
    }
    // What import --like makes of the edit: the item's bytes to be.
    Bytes Expected(const Bytes& original, const fs::path& edited, int nRow)
    {
        WriteBytes(m_dir / "expect-original.tim", original);
        const RunResult r = Run({"import", "--like", "expect-original.tim", "--clut", std::to_string(nRow),
                                 edited.string(), "expect.tim"});
        EXPECT_EQ(r.nExit, 0) << r.err;
        const Bytes expected = ReadBytes(m_dir / "expect.tim");
        fs::remove(m_dir / "expect-original.tim");
        fs::remove(m_dir / "expect.tim");
        return expected;
    }
    fs::path m_dir;
};

// The road a user takes: extract every row, change nothing, put the folder back (nothing
// written); edit one row, put it back (only its item's bytes change, as import --like makes
// them). The container keeps its inode: it was changed in place.
TEST_F(ConvReplaceTest, AnExtractionFolderGoesBackIntoItsArchive)
{
    const Bytes tim = Sprites();
    const Bytes archive = Archive(tim, Bitmap());
    WriteBytes(m_dir / "archive.bin", archive);
    RunResult r = Run({"scan", "--extract", "out", "--to", ".png", "--clut", "all", "archive.bin"});
    ASSERT_EQ(r.nExit, 0) << r.err;
    ASSERT_TRUE(fs::exists(m_dir / "out/archive.bin@5000-c3.png"));
    ASSERT_TRUE(fs::exists(m_dir / "out/archive.bin@12000.png"));
    struct stat before;
    ASSERT_EQ(::stat((m_dir / "archive.bin").c_str(), &before), 0);

    r = Run({"replace", "--from", "out", "archive.bin"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "5000\tout/archive.bin@5000-c0.png\tunchanged\n5000\tout/archive.bin@5000-c1.png\tunchanged\n"
                     "5000\tout/archive.bin@5000-c2.png\tunchanged\n5000\tout/archive.bin@5000-c3.png\tunchanged\n"
                     "12000\tout/archive.bin@12000.png\tunchanged\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), archive);
    EXPECT_EQ(Names(), (std::set<std::string>{"archive.bin", "out"}));

    WriteBytes(m_dir / "out/archive.bin@5000-c2.png", Edited(m_dir / "out/archive.bin@5000-c2.png"));
    const Bytes expected = Expected(tim, m_dir / "out/archive.bin@5000-c2.png", 2);
    ASSERT_EQ(DifferingBytes(expected, tim), 12u);  // ten pixels and one colour of row 2

    r = Run({"replace", "--dry-run", "--from", "out", "archive.bin"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_NE(r.out.find("5000\tout/archive.bin@5000-c2.png\treplaced\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("dry run: 1 of 2 items would change"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), archive);

    r = Run({"replace", "--from", "out", "archive.bin"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "5000\tout/archive.bin@5000-c0.png\tunchanged\n5000\tout/archive.bin@5000-c1.png\tunchanged\n"
                     "5000\tout/archive.bin@5000-c2.png\treplaced\n5000\tout/archive.bin@5000-c3.png\tunchanged\n"
                     "12000\tout/archive.bin@12000.png\tunchanged\n");
    Bytes want = archive;
    std::copy(expected.begin(), expected.end(), want.begin() + kTimAt);
    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), want);
    struct stat after;
    ASSERT_EQ(::stat((m_dir / "archive.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Names(), (std::set<std::string>{"archive.bin", "out"}));

    // Named one by one, and the extracted TIM itself after an edit elsewhere: all its bytes.
    Bytes retimed = tim;
    retimed[20 + 2 * 256 * 3 + 5] ^= 0x11;  // a colour of row 3
    WriteBytes(m_dir / "archive.bin@5000.tim", retimed);
    r = Run({"replace", "archive.bin", "archive.bin@5000.tim"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "5000\tarchive.bin@5000.tim\treplaced\n");
    std::copy(retimed.begin(), retimed.end(), want.begin() + kTimAt);
    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), want);
}

// Raw CD images, Mode 1 and Mode 2 Form 1, with the item spanning three data sectors and a
// Form 2 and an audio sector between the second and third: only the item's user data and the
// EDC and ECC of the sectors it changed differ afterwards, and those sectors check.
TEST_F(ConvReplaceTest, ARawCdImageGetsNewUserDataWithItsEdcAndEcc)
{
    for (const int nMode : {1, 2})
    {
        SCOPED_TRACE("Mode " + std::to_string(nMode));
        const Bytes tim = Sprites();
        constexpr std::size_t kStreamAt = 1500;
        Bytes stream = Filler(kStreamAt, 4);
        stream.insert(stream.end(), tim.begin(), tim.end());
        const Bytes tail = Filler(3000, 5);
        stream.insert(stream.end(), tail.begin(), tail.end());
        std::vector<std::uint64_t> dataAt;
        const Bytes image = CdImageOf(stream, nMode, dataAt);
        WriteBytes(m_dir / "disc.bin", image);
        const std::uint64_t nFile = dataAt[0] + kStreamAt;
        const std::string strName = "disc.bin@" + std::to_string(nFile);

        RunResult r = Run({"scan", "--extract", "cd", "--to", ".png", "--clut", "all", "disc.bin"});
        ASSERT_EQ(r.nExit, 0) << r.err;
        const fs::path png = m_dir / "cd" / (strName + "-c1.png");
        ASSERT_TRUE(fs::exists(png)) << r.out;
        r = Run({"replace", "--from", "cd", "disc.bin"});
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "disc.bin"), image);

        WriteBytes(png, Edited(png));
        const Bytes expected = Expected(tim, png, 1);
        r = Run({"replace", "-n", "disc.bin", "cd/" + strName + "-c1.png"});
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_NE(r.err.find("sectors, each with its EDC and ECC again; nothing was written"), std::string::npos)
            << r.err;
        EXPECT_EQ(ReadBytes(m_dir / "disc.bin"), image);
        r = Run({"replace", "disc.bin", "cd/" + strName + "-c1.png"});
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.out, std::to_string(nFile) + "\tcd/" + strName + "-c1.png\treplaced\n");
        const Bytes now = ReadBytes(m_dir / "disc.bin");
        ASSERT_EQ(now.size(), image.size());

        // The new stream holds the item as import --like makes it.
        Bytes want = stream;
        std::copy(expected.begin(), expected.end(), want.begin() + kStreamAt);
        std::set<std::uint64_t> changedSectors;
        for (std::size_t i = 0; i < want.size(); ++i)
        {
            const std::uint64_t nAt = dataAt[i / CD_USER_DATA_SIZE] + i % CD_USER_DATA_SIZE;
            ASSERT_EQ(now[nAt], want[i]) << "stream byte " << i;
            if (want[i] != stream[i])
                changedSectors.insert(nAt / CD_SECTOR_SIZE);
        }
        // Outside user data, only the EDC and ECC of the sectors whose data changed differ.
        const std::uint32_t nEdcAt = nMode == 1 ? CD_MODE1_EDC_AT : CD_MODE2_FORM1_EDC_AT;
        std::set<std::uint64_t> userData;
        for (const std::uint64_t nAt : dataAt)
            for (std::uint64_t k = 0; k < CD_USER_DATA_SIZE; ++k)
                userData.insert(nAt + k);
        for (std::size_t i = 0; i < image.size(); ++i)
        {
            if (userData.count(i) != 0 || now[i] == image[i])
                continue;
            const std::uint64_t nSector = i / CD_SECTOR_SIZE;
            EXPECT_TRUE(changedSectors.count(nSector) != 0 && i % CD_SECTOR_SIZE >= nEdcAt)
                << "byte " << i << " of sector " << nSector << " changed";
        }
        EXPECT_FALSE(changedSectors.empty());
        for (std::uint64_t nSector = 0; nSector < image.size() / CD_SECTOR_SIZE; ++nSector)
        {
            const std::span<const std::uint8_t, CD_SECTOR_SIZE> sector(now.data() + nSector * CD_SECTOR_SIZE,
                                                                       CD_SECTOR_SIZE);
            if (CdSectorKind(sector.data()) == ECdSector::Mode1 || CdSectorKind(sector.data()) == ECdSector::Mode2Form1)
            {
                EXPECT_TRUE(SectorIsValid(sector)) << "sector " << nSector;
            }
        }
        // The item scan finds there now exports as the edit.
        r = Run({"scan", "disc.bin"});
        EXPECT_NE(r.out.find("disc.bin\t" + std::to_string(nFile) + "\ttim\t4128\t64x32\t8\t4\n"), std::string::npos)
            << r.out;
        EXPECT_EQ(Names(), (std::set<std::string>{"disc.bin", "cd"}));
        fs::remove_all(m_dir / "cd");
        fs::remove(m_dir / "disc.bin");
    }
}

// What does not fit is refused with both sides named, and nothing is written: another size,
// an offset where scan finds nothing, names that do not say where the item goes.
TEST_F(ConvReplaceTest, WhatDoesNotFitIsRefusedAndNothingIsWritten)
{
    const Bytes tim = Sprites();
    const Bytes archive = Archive(tim, Bitmap());
    WriteBytes(m_dir / "archive.bin", archive);
    ASSERT_EQ(Run({"scan", "--extract", "out", "--to", ".png", "archive.bin"}).nExit, 0);
    PngPicture pic = exsample::Decode(ReadBytes(m_dir / "out/archive.bin@5000.png"));
    PngPicture wide = pic;
    wide.nWidth = 66;
    wide.pixels.assign(std::size_t{66} * 32, 1);
    WriteBytes(m_dir / "wide.png", exsample::EncodeEdited(wide, false));
    const std::set<std::string> names = Names();
    RunResult r = Run({"replace", "--at", "5000", "archive.bin", "wide.png"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("archive.bin@5000 is 64x32 at 8 bits with 4 CLUT rows; wide.png is 66x32"), std::string::npos)
        << r.err;

    r = Run({"replace", "--at", "5001", "archive.bin", "out/archive.bin@5000.png"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("archive.bin@5001: no item that scan finds starts here"), std::string::npos) << r.err;

    r = Run({"replace", "archive.bin", "wide.png"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.err.find("'wide.png' is not named as scan --extract names its files"), std::string::npos) << r.err;
    r = Run({"replace", "archive.bin", "out/other.bin@5000.png"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.err.find("was found in 'other.bin', not in 'archive.bin'"), std::string::npos) << r.err;
    r = Run({"replace", "--at", "5000", "archive.bin", "a.png", "b.png"});
    EXPECT_EQ(r.nExit, 2);
    r = Run({"replace", "--output", "archive.bin", "--at", "5000", "archive.bin", "wide.png"});
    EXPECT_EQ(r.nExit, 2);

    // An edit that fits beside one that does not: neither goes in.
    WriteBytes(m_dir / "out/archive.bin@12000.png", Edited(m_dir / "out/archive.bin@12000.png"));
    WriteBytes(m_dir / "out/archive.bin@5000.png", ReadBytes(m_dir / "wide.png"));
    r = Run({"replace", "--from", "out", "archive.bin"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("archive.bin@5000 is 64x32 at 8 bits with 4 CLUT rows; out/archive.bin@5000.png is 66x32"),
              std::string::npos)
        << r.err;

    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), archive);
    EXPECT_EQ(Names(), names);
}

// --output writes the changed copy through the ordinary save; the container stays as it was.
TEST_F(ConvReplaceTest, OutputWritesAChangedCopy)
{
    const Bytes tim = Sprites();
    const Bytes archive = Archive(tim, Bitmap());
    WriteBytes(m_dir / "archive.bin", archive);
    WriteBytes(m_dir / "item.tim", tim);
    ASSERT_EQ(Run({"export", "item.tim", "item.png"}).nExit, 0);
    WriteBytes(m_dir / "item.png", Edited(m_dir / "item.png"));
    const Bytes expected = Expected(tim, m_dir / "item.png", 0);

    const RunResult r = Run({"replace", "--at", "5000", "--output", "copy.bin", "archive.bin", "item.png"});
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "5000\titem.png\treplaced\n");
    EXPECT_EQ(ReadBytes(m_dir / "archive.bin"), archive);
    Bytes want = archive;
    std::copy(expected.begin(), expected.end(), want.begin() + kTimAt);
    EXPECT_EQ(ReadBytes(m_dir / "copy.bin"), want);
}

}  // namespace
