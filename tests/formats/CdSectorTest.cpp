// The EDC and ECC of raw CD sectors against a slow reference written from ECMA-130's
// definitions (the EDC as a polynomial division one bit at a time, the parity as the check
// equations H x V = 0 solved by trying every symbol), the check of a sector, and items of
// the user-data stream put back into the sectors they span.

#include "formats/CdImage.h"
#include "formats/CdSector.h"
#include "tests/formats/ScanSamples.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace
{

using scansample::Bytes;
using scansample::CRandom;
using Sector = std::array<std::uint8_t, CD_SECTOR_SIZE>;

// ---- The reference -------------------------------------------------------------------

// Polynomials over GF(2) as bit masks, coefficient of x^i in bit i.
std::uint64_t RefPolyMul(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t r = 0;
    for (; b != 0; b >>= 1, a <<= 1)
        if (b & 1)
            r ^= a;
    return r;
}

const std::uint64_t REF_EDC_POLY = RefPolyMul((1u << 16) | (1u << 15) | (1u << 2) | 1, (1u << 16) | (1u << 2) | (1u << 1) | 1);

// The bits in the order the EDC takes them: each byte least significant bit first.
std::vector<int> RefBits(const std::uint8_t* p, std::size_t n)
{
    std::vector<int> bits;
    for (std::size_t i = 0; i < n; ++i)
        for (int k = 0; k < 8; ++k)
            bits.push_back((p[i] >> k) & 1);
    return bits;
}

// The remainder of the bits (first bit the highest power) divided by P(x).
std::uint64_t RefRemainder(const std::vector<int>& bits)
{
    std::uint64_t r = 0;
    for (int bit : bits)
    {
        r = (r << 1) | static_cast<std::uint64_t>(bit);
        if ((r >> 32) & 1)
            r ^= REF_EDC_POLY;
    }
    return r;
}

// The 32 parity bits that follow the data in its order (x^31's coefficient first), as the
// 4 bytes that carry them, least significant bit first, read little-endian.
std::uint32_t RefEdc(const std::uint8_t* p, std::size_t n)
{
    std::vector<int> bits = RefBits(p, n);
    bits.insert(bits.end(), 32, 0);
    const std::uint64_t r = RefRemainder(bits);
    std::uint32_t nEdc = 0;
    for (int i = 0; i < 32; ++i)
        nEdc |= static_cast<std::uint32_t>((r >> (31 - i)) & 1) << i;
    return nEdc;
}

std::uint8_t RefGfMul(std::uint8_t a, std::uint8_t b)
{
    unsigned r = 0;
    unsigned x = a;
    for (unsigned y = b; y != 0; y >>= 1)
    {
        if (y & 1)
            r ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;  // x^8 + x^4 + x^3 + x^2 + 1
    }
    return static_cast<std::uint8_t>(r);
}

// alpha^k by k multiplications, once for each k a vector needs.
std::uint8_t RefAlphaPow(std::size_t k)
{
    static const std::vector<std::uint8_t> s_powers = [] {
        std::vector<std::uint8_t> v{1};
        while (v.size() < 45)
            v.push_back(RefGfMul(v.back(), 2));
        return v;
    }();
    return s_powers.at(k);
}

// Byte positions, from the sector's start, of the symbols of each P and Q vector: the bytes
// from 12 on are 16-bit words, plane 0 and 1 their two bytes. P column (plane, j): words
// 43i + j for i < 26 (the last two are parity); Q diagonal (plane, d): words
// (44i + 43d) mod 1118 for i < 43, then parity words 1118 + d and 1144 + d.
std::vector<std::vector<std::size_t>> RefVectors(bool bQ)
{
    std::vector<std::vector<std::size_t>> all;
    auto at = [](std::size_t nWord, std::size_t nPlane) { return 12 + 2 * nWord + nPlane; };
    for (std::size_t nPlane = 0; nPlane < 2; ++nPlane)
        for (std::size_t k = 0; k < (bQ ? 26u : 43u); ++k)
        {
            std::vector<std::size_t> v;
            if (!bQ)
                for (std::size_t i = 0; i < 26; ++i)
                    v.push_back(at(43 * i + k, nPlane));
            else
            {
                for (std::size_t i = 0; i < 43; ++i)
                    v.push_back(at((44 * i + 43 * k) % 1118, nPlane));
                v.push_back(at(1118 + k, nPlane));
                v.push_back(at(1144 + k, nPlane));
            }
            all.push_back(v);
        }
    return all;
}

// H x V for H = [1 ... 1; alpha^(n-1) ... alpha 1].
std::pair<std::uint8_t, std::uint8_t> RefSyndromes(const std::uint8_t* p, const std::vector<std::size_t>& v)
{
    std::uint8_t s0 = 0, s1 = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
    {
        s0 ^= p[v[i]];
        s1 ^= RefGfMul(RefAlphaPow(v.size() - 1 - i), p[v[i]]);
    }
    return {s0, s1};
}

// The bytes the parity sees: the sector, with a Mode 2 Form 1 header as zero.
Sector RefParityView(const Sector& s, bool bForm1)
{
    Sector view = s;
    if (bForm1)
        std::memset(&view[12], 0, 4);
    return view;
}

// The sector with EDC and parity made by the reference: for each vector, the two parity
// symbols are the (only) pair that makes both syndromes zero, found by trying each first one.
Sector RefFill(Sector s, bool bForm1)
{
    if (bForm1)
    {
        const std::uint32_t e = RefEdc(&s[16], 2056);
        for (int i = 0; i < 4; ++i)
            s[2072 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(e >> (8 * i));
    }
    else
    {
        const std::uint32_t e = RefEdc(&s[0], 2064);
        for (int i = 0; i < 4; ++i)
            s[2064 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(e >> (8 * i));
    }
    Sector view = RefParityView(s, bForm1);
    for (bool bQ : {false, true})
        for (const auto& v : RefVectors(bQ))
        {
            const std::size_t a = v[v.size() - 2], b = v[v.size() - 1];
            bool bSolved = false;
            for (unsigned x = 0; x < 256 && !bSolved; ++x)
            {
                view[a] = static_cast<std::uint8_t>(x);
                view[b] = 0;
                const auto [s0, s1] = RefSyndromes(view.data(), v);
                view[b] = s0;  // makes the first syndrome zero; the second decides
                bSolved = s0 == s1;
            }
            if (!bSolved)
                ADD_FAILURE() << "no parity solves the vector at " << a;
            s[a] = view[a];
            s[b] = view[b];
        }
    return s;
}

bool RefAllSyndromesZero(const Sector& s, bool bForm1)
{
    const Sector view = RefParityView(s, bForm1);
    for (bool bQ : {false, true})
        for (const auto& v : RefVectors(bQ))
            if (RefSyndromes(view.data(), v) != std::pair<std::uint8_t, std::uint8_t>{0, 0})
                return false;
    return true;
}

// ---- Sectors built by hand -------------------------------------------------------------

// A data sector at minute:second:frame with random user data (and random check bytes, which
// the fill replaces).
Sector MakeSector(int nMode, std::uint64_t nSeed, std::uint8_t m = 0, std::uint8_t sec = 2, std::uint8_t f = 0)
{
    CRandom r(nSeed);
    Sector s;
    r.Fill(s.data(), s.size());
    std::memcpy(s.data(), CD_SYNC, CD_SYNC_SIZE);
    s[12] = m;
    s[13] = sec;
    s[14] = f;
    s[15] = static_cast<std::uint8_t>(nMode == 1 ? 1 : 2);
    if (nMode == 1)
        std::memset(&s[2068], 0, 8);
    else
    {
        s[16] = s[20] = 1;     // file
        s[17] = s[21] = 0;     // channel
        s[18] = s[22] = 0x08;  // submode: data, Form 1
        s[19] = s[23] = 0;
    }
    return s;
}

std::string Hex(const std::uint8_t* p, std::size_t n)
{
    static const char* const DIGITS = "0123456789abcdef";
    std::string str;
    for (std::size_t i = 0; i < n; ++i)
    {
        str += DIGITS[p[i] >> 4];
        str += DIGITS[p[i] & 15];
    }
    return str;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// True for the bytes a fill may change.
bool IsCheckByte(std::size_t i, bool bForm1)
{
    if (i >= CD_ECC_P_AT)
        return true;
    const std::size_t nEdcAt = bForm1 ? CD_MODE2_FORM1_EDC_AT : CD_MODE1_EDC_AT;
    return i >= nEdcAt && i < nEdcAt + 4;
}

// ---- EDC -------------------------------------------------------------------------------

TEST(CdEdc, IsTheRemainderOfTheStandardsPolynomial)
{
    // The product of the two factors, and the check value of this CRC (no preset, no final
    // inversion, reflected) on "123456789", from the reference's bit-by-bit division.
    EXPECT_EQ(REF_EDC_POLY, 0x18001801Bull);
    const std::string strCheck = "123456789";
    const auto* pCheck = reinterpret_cast<const std::uint8_t*>(strCheck.data());
    EXPECT_EQ(RefEdc(pCheck, 9), 0x6EC2EDC4u);
    EXPECT_EQ(ComputeEdc({pCheck, 9}), 0x6EC2EDC4u);
    EXPECT_EQ(ComputeEdc({}), 0u);

    // Every length (the four-byte steps and the tail), and the three lengths the sectors use.
    CRandom r(7);
    const Bytes data = r.Make(2332);
    for (std::size_t n : std::initializer_list<std::size_t>{1, 2, 3, 4, 5, 7, 8, 9, 31, 64, 255, 2056, 2064, 2332})
    {
        const std::uint32_t nEdc = ComputeEdc({data.data(), n});
        ASSERT_EQ(nEdc, RefEdc(data.data(), n)) << n;
        // The data followed by its EDC, little-endian, is a multiple of P(x).
        Bytes word(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        for (int i = 0; i < 4; ++i)
            word.push_back(static_cast<std::uint8_t>(nEdc >> (8 * i)));
        EXPECT_EQ(RefRemainder(RefBits(word.data(), word.size())), 0u) << n;
    }
}

// ---- Filling and checking sectors ----------------------------------------------------------

TEST(CdEcc, KnownSectorsMatchTheReference)
{
    // Zero user data at 00:02:00, the first sector of a disc's data track. The figures were
    // worked out by a second, separate reading of the definitions; the reference must agree.
    Sector m1 = MakeSector(1, 0);
    std::memset(&m1[16], 0, CD_SECTOR_SIZE - 16);
    Sector f1 = MakeSector(2, 0);
    std::memset(&f1[24], 0, CD_SECTOR_SIZE - 24);
    f1[16] = f1[20] = 0;

    const Sector m1Ref = RefFill(m1, false);
    const Sector f1Ref = RefFill(f1, true);
    FillMode1EdcEcc(m1);
    FillMode2Form1EdcEcc(f1);
    EXPECT_EQ(m1, m1Ref);
    EXPECT_EQ(f1, f1Ref);
    EXPECT_EQ(Hex(&m1[CD_MODE1_EDC_AT], 4), "c513682b");
    EXPECT_EQ(Hex(&m1[CD_ECC_P_AT], 8), "00f700f500000000");
    EXPECT_EQ(Hex(&m1[CD_ECC_Q_AT], 8), "0041000000000000");
    EXPECT_EQ(Hex(&m1[2344], 8), "0000009000c10012");
    EXPECT_EQ(Hex(&f1[CD_MODE2_FORM1_EDC_AT], 4), "0b888194");
    EXPECT_EQ(Hex(&f1[CD_ECC_P_AT], 8), "000000000000fb00");
    EXPECT_EQ(Hex(&f1[2344], 8), "9400a10000000000");
    EXPECT_TRUE(SectorIsValid(m1));
    EXPECT_TRUE(SectorIsValid(f1));
}

TEST(CdEcc, FillMakesEverySyndromeZeroAndChangesOnlyTheCheckBytes)
{
    for (std::uint64_t nSeed = 1; nSeed <= 6; ++nSeed)
        for (bool bForm1 : {false, true})
        {
            const Sector before = MakeSector(bForm1 ? 2 : 1, nSeed, 0x12, 0x34, 0x56);
            Sector s = before;
            EXPECT_EQ(FillSectorEdcEcc(s), ECdFill::Ok);
            ASSERT_EQ(s, RefFill(before, bForm1)) << nSeed << " " << bForm1;
            EXPECT_TRUE(RefAllSyndromesZero(s, bForm1));
            const std::size_t nEdcAt = bForm1 ? CD_MODE2_FORM1_EDC_AT : CD_MODE1_EDC_AT;
            EXPECT_EQ(RefEdc(&s[bForm1 ? 16 : 0], nEdcAt - (bForm1 ? 16 : 0)), Le32(&s[nEdcAt]));
            for (std::size_t i = 0; i < CD_SECTOR_SIZE; ++i)
            {
                if (!IsCheckByte(i, bForm1))
                {
                    ASSERT_EQ(s[i], before[i]) << "byte " << i;
                }
            }
            EXPECT_TRUE(SectorIsValid(s));
        }
}

TEST(CdEcc, Mode2Form1HeaderCountsAsZero)
{
    // The same sector at two addresses has the same check bytes, keeps its own header, and its
    // parity fails the check equations once the header is counted.
    Sector a = MakeSector(2, 11, 0x00, 0x02, 0x16);
    Sector b = a;
    b[12] = 0x71;
    b[13] = 0x59;
    b[14] = 0x74;
    FillMode2Form1EdcEcc(a);
    FillMode2Form1EdcEcc(b);
    EXPECT_EQ(Hex(&a[12], 3), "000216");
    EXPECT_EQ(Hex(&b[12], 3), "715974");
    EXPECT_EQ(std::memcmp(&a[16], &b[16], CD_SECTOR_SIZE - 16), 0);
    EXPECT_TRUE(RefAllSyndromesZero(a, true));
    EXPECT_FALSE(RefAllSyndromesZero(b, false));
    // A moved sector is still valid; a Mode 1 sector's header is in its EDC and parity.
    b[14] = 0x75;
    EXPECT_TRUE(SectorIsValid(b));
    Sector m = MakeSector(1, 11);
    FillMode1EdcEcc(m);
    m[14] ^= 1;
    EXPECT_FALSE(SectorIsValid(m));
}

TEST(CdSectorCheck, EverySingleByteChangeIsFound)
{
    // Mode 1: every byte is covered (the sync by the sector's kind, the rest by EDC and parity).
    // Mode 2 Form 1: all but the address, which counts in neither.
    for (bool bForm1 : {false, true})
    {
        Sector s = MakeSector(bForm1 ? 2 : 1, 21);
        ASSERT_EQ(FillSectorEdcEcc(s), ECdFill::Ok);
        ASSERT_TRUE(SectorIsValid(s));
        for (std::size_t i = 0; i < CD_SECTOR_SIZE; ++i)
            for (std::uint8_t x : std::initializer_list<std::uint8_t>{0x01, 0x80, 0xFF})
            {
                Sector bad = s;
                bad[i] ^= x;
                const bool bAddress = bForm1 && i >= 12 && i < 15;
                ASSERT_EQ(SectorIsValid(bad), bAddress) << (bForm1 ? "form 1" : "mode 1") << " byte " << i;
            }
    }
}

TEST(CdSectorCheck, Form2AndOtherSectorsAreNotFilled)
{
    Sector form2 = MakeSector(2, 31);
    form2[18] = form2[22] = 0x20 | 0x04;  // Form 2, audio
    std::memset(&form2[CD_MODE2_FORM2_EDC_AT], 0, 4);
    const Sector before = form2;
    EXPECT_EQ(FillSectorEdcEcc(form2), ECdFill::Form2);
    EXPECT_EQ(form2, before);
    // Its EDC is optional: none (zero) or right.
    EXPECT_TRUE(SectorIsValid(form2));
    const std::uint32_t e = RefEdc(&form2[16], 2332);
    for (int i = 0; i < 4; ++i)
        form2[CD_MODE2_FORM2_EDC_AT + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(e >> (8 * i));
    EXPECT_TRUE(SectorIsValid(form2));
    form2[100] ^= 4;
    EXPECT_FALSE(SectorIsValid(form2));

    Sector audio = MakeSector(1, 32);
    audio[0] = 0x55;
    EXPECT_EQ(FillSectorEdcEcc(audio), ECdFill::NotData);
    EXPECT_FALSE(SectorIsValid(audio));
    Sector mode0 = MakeSector(1, 33);
    mode0[15] = 0;
    EXPECT_EQ(CdSectorKind(mode0.data()), ECdSector::None);
    EXPECT_EQ(FillSectorEdcEcc(mode0), ECdFill::NotData);
}

// ---- Items of the user-data stream -------------------------------------------------------

struct CdCase
{
    scansample::CdImage cd;
    Bytes stream;
};

CdCase MakeCase(std::size_t nStream, std::uint64_t nSeed)
{
    CRandom r(nSeed);
    CdCase c;
    c.stream = r.Make(nStream);
    c.cd = scansample::MakeCdImage(c.stream, nSeed);
    return c;
}

TEST(CdItem, PiecesFollowTheScansStream)
{
    const CdCase c = MakeCase(2048 * 40, 41);
    struct Span
    {
        std::uint64_t nStream, nLength;
        std::size_t nPieces;
    } spans[] = {
        {0, 2048, 1},             // one whole sector
        {100, 50, 1},             // inside one
        {2047, 1, 1},             // its last byte
        {2047, 2, 2},             // across a boundary by one byte each side
        {1000, 2048, 2},          // two, neither end aligned
        {4096, 4096, 2},          // two, both aligned
        {3000, 2048 * 30 + 7, 31},  // many, ends unaligned
        {0, 2048 * 40, 40},       // the whole stream
    };
    for (const Span& sp : spans)
    {
        std::vector<CdItemPiece> pieces;
        ASSERT_EQ(CdItemSectors(c.cd.image, c.cd.FileOffset(sp.nStream), sp.nLength, pieces), ECdItem::Ok);
        ASSERT_EQ(pieces.size(), sp.nPieces) << sp.nStream;
        Bytes gathered;
        std::uint64_t nStream = sp.nStream;
        for (const CdItemPiece& piece : pieces)
        {
            // Each piece is where the stream's bytes lie in the file.
            EXPECT_EQ(piece.nSector * CD_SECTOR_SIZE + piece.nDataAt + piece.nOffset, c.cd.FileOffset(nStream));
            const std::uint8_t* p = &c.cd.image[piece.nSector * CD_SECTOR_SIZE + piece.nDataAt + piece.nOffset];
            gathered.insert(gathered.end(), p, p + piece.nCount);
            nStream += piece.nCount;
        }
        const auto first = c.stream.begin() + static_cast<std::ptrdiff_t>(sp.nStream);
        EXPECT_EQ(gathered, Bytes(first, first + static_cast<std::ptrdiff_t>(sp.nLength))) << sp.nStream;
    }
}

TEST(CdItem, RefusesWhatIsNotAnItemOfTheStream)
{
    const CdCase c = MakeCase(2048 * 12, 43);
    std::vector<CdItemPiece> pieces;
    const std::uint64_t nFirst = c.cd.userDataAt[0];
    // In a header, in the check bytes, past the image.
    EXPECT_EQ(CdItemSectors(c.cd.image, nFirst - 1, 10, pieces), ECdItem::NotUserData);
    EXPECT_EQ(CdItemSectors(c.cd.image, nFirst + 2048, 1, pieces), ECdItem::NotUserData);
    EXPECT_EQ(CdItemSectors(c.cd.image, c.cd.image.size(), 1, pieces), ECdItem::NotUserData);
    // In a sector that carries none (the generator puts Form 2 and audio between data sectors).
    std::uint64_t nOther = 0;
    for (std::uint64_t at = 0; at < c.cd.image.size() && nOther == 0; at += CD_SECTOR_SIZE)
        if (CdUserDataAt(&c.cd.image[at]) == 0)
            nOther = at + 100;
    ASSERT_NE(nOther, 0u);
    EXPECT_EQ(CdItemSectors(c.cd.image, nOther, 1, pieces), ECdItem::NotUserData);
    // One byte more than the stream holds, however it is counted.
    const std::uint64_t nLast = c.cd.FileOffset(2048 * 11 + 48);
    EXPECT_EQ(CdItemSectors(c.cd.image, nLast, 2000, pieces), ECdItem::Ok);
    EXPECT_EQ(CdItemSectors(c.cd.image, nLast, 2001, pieces), ECdItem::PastEnd);
    EXPECT_TRUE(pieces.empty());
    EXPECT_EQ(CdItemSectors(c.cd.image, nFirst, 2048 * 12 + 1, pieces), ECdItem::PastEnd);
    EXPECT_EQ(CdItemSectors(c.cd.image, nFirst, ~std::uint64_t{0}, pieces), ECdItem::PastEnd);
    // A reader that stops short (a file cut under it).
    const CdImageReader cut = [&](std::uint8_t* p, std::size_t n, std::uint64_t nOffset) -> std::size_t {
        if (nOffset >= 4 * CD_SECTOR_SIZE)
            return 0;
        std::memcpy(p, &c.cd.image[nOffset], n);
        return n;
    };
    EXPECT_EQ(CdItemSectors(cut, c.cd.image.size(), nFirst, 2048 * 10, pieces), ECdItem::ReadFailed);
    EXPECT_TRUE(pieces.empty());
}

// The sectors of the pieces, whole, in their order.
Bytes SectorsOf(const Bytes& image, const std::vector<CdItemPiece>& pieces)
{
    Bytes out;
    for (const CdItemPiece& piece : pieces)
    {
        const auto at = image.begin() + static_cast<std::ptrdiff_t>(piece.nSector * CD_SECTOR_SIZE);
        out.insert(out.end(), at, at + CD_SECTOR_SIZE);
    }
    return out;
}

TEST(CdItem, PatchChangesOnlyTheItemAndTheCheckBytesOfItsSectors)
{
    for (std::uint64_t nSeed : std::initializer_list<std::uint64_t>{51, 52, 53})
    {
        CdCase c = MakeCase(2048 * 24, nSeed);
        CRandom r(nSeed);
        const std::uint64_t nStart = 1 + r.Below(4000);
        const std::uint64_t nLength = 2048 * (1 + r.Below(12)) + 1 + r.Below(2046);
        std::vector<CdItemPiece> pieces;
        ASSERT_EQ(CdItemSectors(c.cd.image, c.cd.FileOffset(nStart), nLength, pieces), ECdItem::Ok);
        Bytes item = r.Make(static_cast<std::size_t>(nLength));
        // One sector's share stays as it was: that sector keeps every byte, check bytes included.
        const CdItemPiece& same = pieces[1];
        std::memcpy(&item[pieces[0].nCount], &c.cd.image[same.nSector * CD_SECTOR_SIZE + same.nDataAt + same.nOffset], same.nCount);

        std::vector<std::uint8_t> out;
        ASSERT_EQ(PatchCdSectors(pieces, SectorsOf(c.cd.image, pieces), item, out), ECdItem::Ok);
        ASSERT_EQ(out.size(), pieces.size() * CD_SECTOR_SIZE);
        Bytes image = c.cd.image;
        for (std::size_t j = 0; j < pieces.size(); ++j)
            std::memcpy(&image[pieces[j].nSector * CD_SECTOR_SIZE], &out[j * CD_SECTOR_SIZE], CD_SECTOR_SIZE);

        // The stream now holds the item; every changed byte is the item's or a check byte of a
        // sector it changed; every such sector is valid.
        for (std::uint64_t i = 0; i < nLength; ++i)
            ASSERT_EQ(image[c.cd.FileOffset(nStart + i)], item[i]) << i;
        std::vector<bool> bAllowed(image.size(), false);
        for (std::uint64_t i = 0; i < nLength; ++i)
            bAllowed[c.cd.FileOffset(nStart + i)] = true;
        for (const CdItemPiece& piece : pieces)
        {
            const std::uint64_t at = piece.nSector * CD_SECTOR_SIZE;
            const std::span<const std::uint8_t, CD_SECTOR_SIZE> sector(&image[at], CD_SECTOR_SIZE);
            if (&piece == &same)
            {
                EXPECT_EQ(std::memcmp(sector.data(), &c.cd.image[at], CD_SECTOR_SIZE), 0);
                continue;
            }
            EXPECT_TRUE(SectorIsValid(sector)) << "sector " << piece.nSector;
            for (std::size_t i = 0; i < CD_SECTOR_SIZE; ++i)
                if (IsCheckByte(i, piece.nDataAt == CD_MODE2_FORM1_DATA_AT))
                    bAllowed[at + i] = true;
        }
        for (std::size_t i = 0; i < image.size(); ++i)
        {
            if (!bAllowed[i])
            {
                ASSERT_EQ(image[i], c.cd.image[i]) << "byte " << i;
            }
        }
    }
}

TEST(CdItem, PatchRefusesBuffersThatDoNotFitThePieces)
{
    const CdCase c = MakeCase(2048 * 6, 61);
    std::vector<CdItemPiece> pieces;
    ASSERT_EQ(CdItemSectors(c.cd.image, c.cd.FileOffset(500), 5000, pieces), ECdItem::Ok);
    const Bytes sectors = SectorsOf(c.cd.image, pieces);
    const Bytes item(5000, 0x5A);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(PatchCdSectors(pieces, sectors, Bytes(4999, 0x5A), out), ECdItem::BadBuffers);
    EXPECT_EQ(PatchCdSectors(pieces, Bytes(sectors.begin(), sectors.end() - 1), item, out), ECdItem::BadBuffers);
    EXPECT_TRUE(out.empty());
    std::vector<CdItemPiece> wrong = pieces;
    wrong[0].nCount = 2049;
    EXPECT_EQ(PatchCdSectors(wrong, sectors, item, out), ECdItem::BadBuffers);
    // A sector that no longer carries its user data where it did.
    Bytes changed = sectors;
    changed[CD_SECTOR_SIZE + CD_MODE_AT] = changed[CD_SECTOR_SIZE + CD_MODE_AT] == 1 ? 2 : 1;
    changed[CD_SECTOR_SIZE + CD_MODE2_SUBMODE_AT] = 0;
    EXPECT_EQ(PatchCdSectors(pieces, changed, item, out), ECdItem::SectorChanged);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(PatchCdSectors(pieces, sectors, item, out), ECdItem::Ok);
}

}  // namespace
