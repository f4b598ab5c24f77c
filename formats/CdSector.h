#pragma once
// Writing into raw CD images: the error detection and correction of a data sector
// (ECMA-130, and CD-ROM XA for Mode 2 Form 1), and an item of the scan's user-data
// stream put back into the sectors it spans. A sector whose user data changes is unreadable
// on a drive or an accurate emulator until its EDC and ECC are computed again; nothing else
// of it changes. Pure: buffers in, buffers out; the caller reads and writes the file.
//
//  - EDC: the 32-bit CRC of P(x) = (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least
//    significant bit of each byte first, no preset and no inversion, stored little-endian.
//  - ECC: a Reed-Solomon product code over GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1 and
//    alpha = x, on the bytes 12..2075 taken as 1032 16-bit words whose high and low bytes
//    form two planes. P: each of 43 columns of 24 words gets 2 parity words (RS(26,24)); Q:
//    each of 26 diagonals of 43 words, P included, gets 2 (RS(45,43)). Both satisfy
//    H x V = 0 with H's rows (1, ..., 1) and (alpha^(n-1), ..., alpha, 1). In Mode 2 Form 1
//    the header counts as zero in both, so a sector can be moved without new parity.
//  - Form 2 sectors are never written: the scan finds no item in them (their 2324 bytes are
//    XA audio and video), so no item of its stream spans one. SectorIsValid still checks
//    their optional EDC.

#include "formats/CdImage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The EDC of the bytes (any count): the remainder that makes them and its 4 bytes, appended
// little-endian, a multiple of P(x).
std::uint32_t ComputeEdc(std::span<const std::uint8_t> bytes);

// Fill in the EDC and both parities of a sector of that kind from the rest of its bytes: in
// Mode 1 bytes 2064..2067 and 2076..2351, in Mode 2 Form 1 bytes 2072..2351. No other byte
// changes (Mode 1's 8 zero bytes at 2068 are left as they are, and count as they are).
void FillMode1EdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector);
void FillMode2Form1EdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector);

enum class [[nodiscard]] ECdFill
{
    Ok,
    NotData,   // no sync pattern, Mode 0 or an unknown mode: no EDC or ECC to compute
    Form2,     // a Form 2 sector: not written (see above)
};

// The fill of the sector's own kind (CdSectorKind); the sector is unchanged unless Ok.
ECdFill FillSectorEdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE> sector);

// True when the sector's EDC and its P and Q parity hold: Mode 1 and Mode 2 Form 1 both,
// Form 2 its EDC when it is not zero. False for a sector that is not a data sector.
bool SectorIsValid(std::span<const std::uint8_t, CD_SECTOR_SIZE> sector);

// ---- Items of the user-data stream ---------------------------------------------------

// One sector's share of an item.
struct CdItemPiece
{
    std::uint64_t nSector = 0;  // index of the sector in the image
    std::uint32_t nDataAt = 0;  // where its user data starts: 16 (Mode 1) or 24 (Mode 2 Form 1)
    std::uint32_t nOffset = 0;  // the item's first byte here, within the 2048 bytes of user data
    std::uint32_t nCount = 0;   // the item's bytes in this sector
    bool operator==(const CdItemPiece&) const = default;
};

enum class [[nodiscard]] ECdItem
{
    Ok,
    NotUserData,    // the offset is not inside the user data of a Mode 1 or Mode 2 Form 1 sector
    PastEnd,        // the stream of user data ends before the item does
    ReadFailed,     // the reader gave fewer bytes than the image has
    BadBuffers,     // the sectors or the new bytes given are not those the pieces describe
    SectorChanged,  // a sector no longer carries its user data where the piece says
};

// Reads up to n bytes at nOffset of the image into p; the count read.
using CdImageReader = std::function<std::size_t(std::uint8_t* p, std::size_t n, std::uint64_t nOffset)>;

// The sectors an item of nLength bytes spans whose first byte is at nFile of an image of
// nImageSize bytes, as the scan reports a find in a raw CD image: nFile is a position in the
// file inside a sector's user data, and the item runs on through the user data of the
// sectors that carry some, skipping the others (Form 2, audio, Mode 0) as the scan does.
// Reads only the first CD_SECTOR_HEADER_SIZE bytes of each sector it passes. On any result
// but Ok, pieces is empty.
ECdItem CdItemSectors(const CdImageReader& read, std::uint64_t nImageSize, std::uint64_t nFile, std::uint64_t nLength,
                      std::vector<CdItemPiece>& pieces);
// The same on an image held in memory.
ECdItem CdItemSectors(std::span<const std::uint8_t> image, std::uint64_t nFile, std::uint64_t nLength,
                      std::vector<CdItemPiece>& pieces);

// The new bytes of the pieces' sectors: oldSectors holds them in the pieces' order, whole
// (CD_SECTOR_SIZE bytes each); out gets the same with each piece's user data taken from
// newItem (its bytes in order, as many as the pieces count) and each sector's EDC and ECC
// computed again. Every other byte is the old one. On any result but Ok, out is empty.
ECdItem PatchCdSectors(std::span<const CdItemPiece> pieces, std::span<const std::uint8_t> oldSectors,
                       std::span<const std::uint8_t> newItem, std::vector<std::uint8_t>& out);
