#include "formats/CdSector.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace
{

// ---- EDC -----------------------------------------------------------------------------

// P(x) multiplied out from its two factors, so the constant below is the standard's own.
constexpr std::uint64_t ClMul(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t r = 0;
    for (int i = 0; i < 32; ++i)
        if ((b >> i) & 1)
            r ^= a << i;
    return r;
}

constexpr std::uint64_t kEdcPoly = ClMul(0x18005, 0x10007);  // x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1
static_assert(kEdcPoly == 0x18001801B);

// Bits enter least significant first, so the register holds the remainder reflected.
constexpr std::uint32_t Reflect32(std::uint32_t v)
{
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i)
        if ((v >> i) & 1)
            r |= std::uint32_t{1} << (31 - i);
    return r;
}

constexpr std::uint32_t kEdcReflected = Reflect32(static_cast<std::uint32_t>(kEdcPoly));

// Four tables: one step takes four bytes, whose table entries are independent of each other.
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakeEdcTables()
{
    std::array<std::array<std::uint32_t, 256>, 4> t{};
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        std::uint32_t r = i;
        for (int k = 0; k < 8; ++k)
            r = (r >> 1) ^ ((r & 1) != 0 ? kEdcReflected : 0);
        t[0][i] = r;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (std::size_t k = 1; k < 4; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr auto kEdc = MakeEdcTables();

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t GetLe32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// ---- ECC -----------------------------------------------------------------------------

// Times alpha in GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1.
constexpr std::uint8_t Times2(std::uint8_t x)
{
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1D : 0));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t r = 0;
    for (; b != 0; b = static_cast<std::uint8_t>(b >> 1), a = Times2(a))
        if ((b & 1) != 0)
            r ^= a;
    return r;
}

// x / (1 + alpha): the two check equations solved for the first parity symbol.
constexpr std::array<std::uint8_t, 256> MakeDiv3()
{
    std::uint8_t inv = 1;
    while (GfMul(inv, 3) != 1)
        ++inv;
    std::array<std::uint8_t, 256> t{};
    for (unsigned x = 0; x < 256; ++x)
        t[x] = GfMul(static_cast<std::uint8_t>(x), inv);
    return t;
}

constexpr auto kDiv3 = MakeDiv3();

// Bytes from the header on (12), two planes of 16-bit words side by side.
constexpr std::size_t P_COLUMNS = 86;     // 43 words x 2 planes: the length of a row
constexpr std::size_t P_ROWS = 24;
constexpr std::size_t Q_DIAGONALS = 52;   // 26 x 2 planes
constexpr std::size_t Q_LENGTH = 43;
constexpr std::size_t Q_SPAN = 2236;      // the 1118 words the diagonals wrap round in
constexpr std::size_t Q_START_STEP = 86;  // diagonal d starts at word 43d
constexpr std::size_t Q_STEP = 88;        // and goes on 44 words at a time
static_assert(CD_HEADER_AT + P_COLUMNS * P_ROWS == CD_ECC_P_AT);
static_assert(CD_ECC_P_AT + 2 * P_COLUMNS == CD_ECC_Q_AT && CD_ECC_P_SIZE == 2 * P_COLUMNS);
static_assert(CD_HEADER_AT + Q_SPAN == CD_ECC_Q_AT && CD_ECC_Q_SIZE == 2 * Q_DIAGONALS);

// Diagonal k = 2d + plane: its i-th byte is plane + 2 x ((44i + 43d) mod 1118).
constexpr std::array<std::array<std::uint16_t, Q_DIAGONALS>, Q_LENGTH> MakeQAt()
{
    std::array<std::array<std::uint16_t, Q_DIAGONALS>, Q_LENGTH> t{};
    for (std::size_t i = 0; i < Q_LENGTH; ++i)
        for (std::size_t k = 0; k < Q_DIAGONALS; ++k)
            t[i][k] = static_cast<std::uint16_t>((i * Q_STEP + (k >> 1) * Q_START_STEP) % Q_SPAN + (k & 1));
    return t;
}

constexpr auto kQAt = MakeQAt();

// With s0 = sum V_i and h = sum alpha^(n-3-i) V_i over the n-2 data symbols, the parity pair
// (a, b) that makes sum V = 0 and sum alpha^(n-1-i) V_i = 0.
inline void SolveParity(std::uint8_t s0, std::uint8_t h, std::uint8_t& a, std::uint8_t& b)
{
    const std::uint8_t s1 = Times2(Times2(h));
    a = kDiv3[static_cast<std::uint8_t>(s0 ^ s1)];
    b = static_cast<std::uint8_t>(s0 ^ a);
}

// P and Q parity of the 2340 bytes from the header at p.
void FillEcc(std::uint8_t* p)
{
    // P: column k is byte k of each 86-byte row, so a row at a time runs over contiguous bytes.
    std::uint8_t s0[P_COLUMNS] = {};
    std::uint8_t h[P_COLUMNS] = {};
    for (std::size_t i = 0; i < P_ROWS; ++i)
    {
        const std::uint8_t* pRow = p + i * P_COLUMNS;
        for (std::size_t k = 0; k < P_COLUMNS; ++k)
        {
            s0[k] ^= pRow[k];
            h[k] = static_cast<std::uint8_t>(Times2(h[k]) ^ pRow[k]);
        }
    }
    std::uint8_t* pP = p + (CD_ECC_P_AT - CD_HEADER_AT);
    for (std::size_t k = 0; k < P_COLUMNS; ++k)
        SolveParity(s0[k], h[k], pP[k], pP[k + P_COLUMNS]);

    // Q: the diagonals side by side as well, through a table of where each one's i-th byte is.
    std::uint8_t q0[Q_DIAGONALS] = {};
    std::uint8_t qh[Q_DIAGONALS] = {};
    for (std::size_t i = 0; i < Q_LENGTH; ++i)
    {
        const std::uint16_t* pAt = kQAt[i].data();
        for (std::size_t k = 0; k < Q_DIAGONALS; ++k)
        {
            const std::uint8_t v = p[pAt[k]];
            q0[k] ^= v;
            qh[k] = static_cast<std::uint8_t>(Times2(qh[k]) ^ v);
        }
    }
    std::uint8_t* pQ = p + (CD_ECC_Q_AT - CD_HEADER_AT);
    for (std::size_t k = 0; k < Q_DIAGONALS; ++k)
        SolveParity(q0[k], qh[k], pQ[k], pQ[k + Q_DIAGONALS]);
}

}  // namespace

std::uint32_t ComputeEdc(std::span<const std::uint8_t> bytes)
{
    std::uint32_t r = 0;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 4; n -= 4, p += 4)
    {
        r ^= GetLe32(p);
        r = kEdc[3][r & 0xFF] ^ kEdc[2][(r >> 8) & 0xFF] ^ kEdc[1][(r >> 16) & 0xFF] ^ kEdc[0][r >> 24];
    }
    for (; n > 0; --n, ++p)
        r = (r >> 8) ^ kEdc[0][(r ^ *p) & 0xFF];
    return r;
}

void FillMode1EdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector)
{
    PutLe32(&sector[CD_MODE1_EDC_AT], ComputeEdc(sector.first(CD_MODE1_EDC_AT)));
    FillEcc(&sector[CD_HEADER_AT]);
}

void FillMode2Form1EdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector)
{
    PutLe32(&sector[CD_MODE2_FORM1_EDC_AT],
            ComputeEdc(sector.subspan(CD_MODE2_SUBHEADER_AT, CD_MODE2_FORM1_EDC_AT - CD_MODE2_SUBHEADER_AT)));
    // The header counts as zero in the parity; it is put back afterwards.
    std::uint8_t header[CD_HEADER_SIZE];
    std::memcpy(header, &sector[CD_HEADER_AT], CD_HEADER_SIZE);
    std::memset(&sector[CD_HEADER_AT], 0, CD_HEADER_SIZE);
    FillEcc(&sector[CD_HEADER_AT]);
    std::memcpy(&sector[CD_HEADER_AT], header, CD_HEADER_SIZE);
}

ECdFill FillSectorEdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector)
{
    switch (CdSectorKind(sector.data()))
    {
    case ECdSector::Mode1:
        FillMode1EdcEcc(sector);
        return ECdFill::Ok;
    case ECdSector::Mode2Form1:
        FillMode2Form1EdcEcc(sector);
        return ECdFill::Ok;
    case ECdSector::Mode2Form2:
        return ECdFill::Form2;
    case ECdSector::None:
        break;
    }
    return ECdFill::NotData;
}

bool SectorIsValid(std::span<const std::uint8_t, CD_SECTOR_SIZE> sector)
{
    const ECdSector kind = CdSectorKind(sector.data());
    if (kind == ECdSector::Mode2Form2)
    {
        const std::uint32_t nEdc = GetLe32(&sector[CD_MODE2_FORM2_EDC_AT]);
        return nEdc == 0 ||
               nEdc == ComputeEdc(sector.subspan(CD_MODE2_SUBHEADER_AT, CD_MODE2_FORM2_EDC_AT - CD_MODE2_SUBHEADER_AT));
    }
    if (kind == ECdSector::None)
        return false;
    // Each code has exactly one set of check bytes for the rest, so computing them again and
    // comparing is the same as checking the EDC's remainder and every P and Q syndrome.
    std::array<std::uint8_t, CD_SECTOR_SIZE> copy;
    std::memcpy(copy.data(), sector.data(), CD_SECTOR_SIZE);
    const std::uint32_t nEdcAt = kind == ECdSector::Mode1 ? CD_MODE1_EDC_AT : CD_MODE2_FORM1_EDC_AT;
    if (kind == ECdSector::Mode1)
        FillMode1EdcEcc(copy);
    else
        FillMode2Form1EdcEcc(copy);
    return std::memcmp(&copy[nEdcAt], &sector[nEdcAt], CD_EDC_SIZE) == 0 &&
           std::memcmp(&copy[CD_ECC_P_AT], &sector[CD_ECC_P_AT], CD_SECTOR_SIZE - CD_ECC_P_AT) == 0;
}

// ---- Items of the user-data stream ---------------------------------------------------

ECdItem CdItemSectors(const CdImageReader& read, std::uint64_t nImageSize, std::uint64_t nFile, std::uint64_t nLength,
                      std::vector<CdItemPiece>& pieces)
{
    pieces.clear();
    const std::uint64_t nSectors = nImageSize / CD_SECTOR_SIZE;
    std::uint8_t header[CD_SECTOR_HEADER_SIZE];
    auto dataAt = [&](std::uint64_t nSector, std::uint32_t& nAt) {
        if (read(header, sizeof header, nSector * CD_SECTOR_SIZE) != sizeof header)
            return false;
        nAt = CdUserDataAt(header);
        return true;
    };
    std::uint64_t nSector = nFile / CD_SECTOR_SIZE;
    std::uint32_t nAt = 0;
    if (nSector >= nSectors)
        return ECdItem::NotUserData;
    if (!dataAt(nSector, nAt))
        return ECdItem::ReadFailed;
    const auto nInSector = static_cast<std::uint32_t>(nFile % CD_SECTOR_SIZE);
    if (nAt == 0 || nInSector < nAt || nInSector >= nAt + CD_USER_DATA_SIZE)
        return ECdItem::NotUserData;
    // More than every sector left could carry: no walk through the rest of the image.
    if (nLength > (nSectors - nSector) * CD_USER_DATA_SIZE - (nInSector - nAt))
        return ECdItem::PastEnd;
    std::uint32_t nOffset = nInSector - nAt;
    for (std::uint64_t nLeft = nLength; nLeft > 0;)
    {
        if (nSector >= nSectors)
        {
            pieces.clear();
            return ECdItem::PastEnd;
        }
        if (nOffset == 0 && !dataAt(nSector, nAt))
        {
            pieces.clear();
            return ECdItem::ReadFailed;
        }
        if (nAt != 0)
        {
            const auto nTake = static_cast<std::uint32_t>(std::min<std::uint64_t>(CD_USER_DATA_SIZE - nOffset, nLeft));
            pieces.push_back(CdItemPiece{nSector, nAt, nOffset, nTake});
            nLeft -= nTake;
        }
        nOffset = 0;
        ++nSector;
    }
    return ECdItem::Ok;
}

ECdItem CdItemSectors(std::span<const std::uint8_t> image, std::uint64_t nFile, std::uint64_t nLength,
                      std::vector<CdItemPiece>& pieces)
{
    const CdImageReader read = [image](std::uint8_t* p, std::size_t n, std::uint64_t nOffset) -> std::size_t {
        if (nOffset >= image.size())
            return 0;
        const std::size_t nGot = static_cast<std::size_t>(std::min<std::uint64_t>(n, image.size() - nOffset));
        std::memcpy(p, image.data() + nOffset, nGot);
        return nGot;
    };
    return CdItemSectors(read, image.size(), nFile, nLength, pieces);
}

ECdItem PatchCdSectors(std::span<const CdItemPiece> pieces, std::span<const std::uint8_t> oldSectors,
                       std::span<const std::uint8_t> newItem, std::vector<std::uint8_t>& out)
{
    out.clear();
    std::uint64_t nTotal = 0;
    for (const CdItemPiece& piece : pieces)
    {
        if ((piece.nDataAt != CD_MODE1_DATA_AT && piece.nDataAt != CD_MODE2_FORM1_DATA_AT) || piece.nCount == 0 ||
            piece.nOffset >= CD_USER_DATA_SIZE || piece.nCount > CD_USER_DATA_SIZE - piece.nOffset)
            return ECdItem::BadBuffers;
        nTotal += piece.nCount;
    }
    if (oldSectors.size() / CD_SECTOR_SIZE != pieces.size() || oldSectors.size() % CD_SECTOR_SIZE != 0 ||
        newItem.size() != nTotal)
        return ECdItem::BadBuffers;
    for (std::size_t j = 0; j < pieces.size(); ++j)
        if (CdUserDataAt(&oldSectors[j * CD_SECTOR_SIZE]) != pieces[j].nDataAt)
            return ECdItem::SectorChanged;

    out.assign(oldSectors.begin(), oldSectors.end());
    const std::uint8_t* pNew = newItem.data();
    for (std::size_t j = 0; j < pieces.size(); ++j)
    {
        const CdItemPiece& piece = pieces[j];
        const std::span<std::uint8_t, CD_SECTOR_SIZE> sector(&out[j * CD_SECTOR_SIZE], CD_SECTOR_SIZE);
        std::uint8_t* pData = &sector[piece.nDataAt + piece.nOffset];
        // A sector whose share is unchanged keeps its bytes, check bytes included: an image
        // may hold sectors whose EDC is wrong on purpose, and nothing here needs them right.
        if (std::memcmp(pData, pNew, piece.nCount) != 0)
        {
            std::memcpy(pData, pNew, piece.nCount);
            if (FillSectorEdcEcc(sector) != ECdFill::Ok)
            {
                out.clear();
                return ECdItem::SectorChanged;  // cannot happen: its kind was checked above
            }
        }
        pNew += piece.nCount;
    }
    return ECdItem::Ok;
}
