#pragma once
// The private ancillary chunk "vlMD": what a PNG has no field for, so an exported
// file comes back byte for byte. Little-endian like the formats it describes; the
// README has the table. The kind byte it stores and each kind's part of it come from
// the table of kinds (detail/ExchangeKinds.h).

#include "exchange/ExchangeResult.h"
#include "formats/BfntFormat.h"
#include "formats/DataKinds.h"

#include <cstdint>
#include <vector>

// Ancillary (v), private (l), reserved bit clear (M), unsafe to copy (D): it describes
// the pixel layout, so an editor that changes the picture should drop it.
constexpr char META_CHUNK_TYPE[] = "vlMD";

enum : std::uint8_t
{
    META_LAYOUT = 1,
};

// The common part's flags (bytes 2 and 3, 0 in the first files).
enum : std::uint16_t
{
    META_FLAG_BORROWED_PALETTE = 1,  // the PNG's palette is not the file's own
};

enum : std::uint32_t
{
    META_COMMON_SIZE = 12,
    META_TIM_FIXED_SIZE = 24,   // after the common part, before the colours
    META_BMP_SIZE = 36,
};

struct TimMeta
{
    std::uint32_t nFlags = 0;
    std::uint16_t nReserved = 0;   // bytes 2 and 3 of the file
    std::uint16_t nClutX = 0;
    std::uint16_t nClutY = 0;
    std::uint16_t nClutWidth = 0;
    std::uint16_t nClutHeight = 0;
    std::uint16_t nImageX = 0;
    std::uint16_t nImageY = 0;
    std::uint16_t nShownRow = 0;   // the CLUT row the PNG's palette holds
    std::vector<std::uint16_t> clut;  // every colour of the CLUT block, file order
};

struct BmpMeta
{
    std::uint32_t nCompression = 0;  // of the source; the fields below are the source's
    std::uint32_t nInfoSize = 0;
    std::uint16_t nBitCount = 0;
    std::uint16_t nReserved1 = 0;
    std::uint16_t nReserved2 = 0;
    bool bPadded = false;            // rows padded to 4 bytes
    std::uint32_t nSizeImage = 0;
    std::int32_t nXPelsPerMeter = 0;
    std::int32_t nYPelsPerMeter = 0;
    std::uint32_t nClrUsed = 0;
    std::uint32_t nClrImportant = 0;
};

struct BfntMeta
{
    std::uint8_t header[BFNT_HEADER_SIZE] = {};  // the file's 32 header bytes as they were
    std::vector<std::uint8_t> extension;
};

struct MetaChunk
{
    int nDataType = DATA_NONE;  // the kind of file exported; DATA_NONE when the PNG has no chunk
    std::uint32_t nWidth = 0;   // the picture's size when it was exported
    std::uint32_t nHeight = 0;
    // The PNG's palette was given at export (--palette) or made up (the greys of a TIM
    // without a CLUT): import must not take it for the file's colours.
    bool bBorrowedPalette = false;
    TimMeta tim;
    BmpMeta bmp;
    BfntMeta bfnt;
};

std::vector<std::uint8_t> BuildMetaChunk(const MetaChunk& meta);
// Refuses a chunk that is cut short, too long, of an unknown kind or of a later layout.
ExchangeResult ParseMetaChunk(const std::vector<std::uint8_t>& data, MetaChunk& meta);
