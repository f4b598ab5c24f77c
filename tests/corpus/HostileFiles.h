#pragma once
// The regression corpus: hostile and broken files built field by field, each with
// the outcome it must have. The reader code is that of the last reader the load
// driver runs (ReadBfnt after ReadBfnt256 gave 5); the message is the string id the
// driver shows, 0 for a file that loads. Tests in every layer replay this table.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/ByteOrder.h"
#include "formats/DataKinds.h"
#include "formats/Tim.h"
#include "resources/resource.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corpus
{
using Bytes = std::vector<std::uint8_t>;

struct HostileCase
{
    std::string name;
    Bytes bytes;
    int kind;      // DATA_..., what the first bytes say (DATA_NONE: no format)
    int nCode;     // result of the reader the driver ends with
    int nMessage;  // IDS_... shown, 0 when the file loads
};

constexpr std::uint32_t U32_MAX = 0xFFFFFFFFu;

// ---- BMP ------------------------------------------------------------------------------

struct BmpFields
{
    std::uint16_t bfType = BMP_TYPE;
    std::uint32_t bfSize = BMP_PIXEL_OFFSET + 6;  // a 3 x 2 image
    std::uint32_t bfOffBits = BMP_PIXEL_OFFSET;
    std::uint32_t biSize = BMP_INFO_HEADER_SIZE;
    std::int32_t biWidth = 3;
    std::int32_t biHeight = 2;
    std::uint16_t biBitCount = 8;
    std::uint32_t biCompression = 0;
    std::uint32_t nPixelBytes = 6;  // bytes actually present after the colour table
};

inline Bytes BmpFile(const BmpFields& f)
{
    Bytes b(BMP_PIXEL_OFFSET + f.nPixelBytes, 0);
    PutLe16(&b[0], f.bfType);            // bfType
    PutLe32(&b[2], f.bfSize);            // bfSize
    PutLe32(&b[10], f.bfOffBits);        // bfOffBits (bfReserved1/2 stay 0)
    PutLe32(&b[14], f.biSize);           // biSize
    PutLeS32(&b[18], f.biWidth);         // biWidth
    PutLeS32(&b[22], f.biHeight);        // biHeight
    PutLe16(&b[26], 1);                  // biPlanes
    PutLe16(&b[28], f.biBitCount);       // biBitCount
    PutLe32(&b[30], f.biCompression);    // biCompression
    for (std::size_t i = 0; i < 256; ++i)  // colour table: B, G, R, 0
    {
        b[54 + 4 * i + 0] = static_cast<std::uint8_t>(i);
        b[54 + 4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        b[54 + 4 * i + 2] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    for (std::uint32_t i = 0; i < f.nPixelBytes; ++i)  // pixels
        b[BMP_PIXEL_OFFSET + i] = static_cast<std::uint8_t>(PAL_FIRST_IMAGE_COLOR + i % PAL_IMAGE_COLORS);
    return b;
}

// ---- TIM ------------------------------------------------------------------------------

struct TimFields
{
    std::uint8_t version = 0;
    std::uint32_t flags = TIM_MODE_8BIT_CLUT;
    std::uint32_t clutLength = TIM_CLUT_LENGTH;
    std::uint32_t nColourBytes = 512;  // colour bytes actually present
    std::uint16_t imageWidth = 2;      // 16-bit units: 4 pixels
    std::uint16_t imageHeight = 3;
    std::uint32_t nPixelBytes = 12;    // pixel bytes actually present
};

inline Bytes TimFile(const TimFields& f)
{
    Bytes b(8 + 12, 0);
    b[0] = TIM_ID;                        // id
    b[1] = f.version;                     // version (reserved stays 0)
    PutLe32(&b[4], f.flags);              // flags
    PutLe32(&b[8], f.clutLength);         // CLUT block length
    PutLe16(&b[16], 256);                 // CLUT width (x, y stay 0)
    PutLe16(&b[18], 1);                   // CLUT height
    for (std::uint32_t i = 0; i < f.nColourBytes; ++i)  // colours
        b.push_back(static_cast<std::uint8_t>(i * 7));
    const std::size_t nImage = b.size();
    b.resize(nImage + 12, 0);
    PutLe32(&b[nImage], 12 + f.nPixelBytes);   // image block length
    PutLe16(&b[nImage + 8], f.imageWidth);     // image width (x, y stay 0)
    PutLe16(&b[nImage + 10], f.imageHeight);   // image height
    for (std::uint32_t i = 0; i < f.nPixelBytes; ++i)  // pixels
        b.push_back(static_cast<std::uint8_t>(i * 3));
    return b;
}

// ---- BFNT -----------------------------------------------------------------------------

struct BfntFields
{
    char magic[5] = "BFNT";
    std::uint8_t format = BFNT_PALETTE | BFNT_COLORS_256;
    std::uint16_t glyphWidth = 4;
    std::uint16_t glyphHeight = 2;
    std::uint16_t firstCode = 65;
    std::uint16_t lastCode = 67;
    std::uint16_t extensionLength = 0;
    std::uint32_t nExtensionBytes = 0;  // extension bytes actually present
    std::uint32_t nPaletteBytes = 768;  // palette bytes actually present
    std::uint32_t nPixelBytes = 24;     // glyph bytes actually present
};

inline Bytes BfntFile(const BfntFields& f)
{
    Bytes b(BFNT_HEADER_SIZE, 0);
    std::memcpy(&b[0], f.magic, 4);       // magic
    b[4] = 0x1A;
    b[5] = f.format;                      // format: palette flag | colour type
    b[6] = 22;
    PutLe16(&b[8], f.glyphWidth);         // glyphWidth
    PutLe16(&b[10], f.glyphHeight);       // glyphHeight
    PutLe16(&b[12], f.firstCode);         // firstCode
    PutLe16(&b[14], f.lastCode);          // lastCode
    PutLe16(&b[28], f.extensionLength);   // extensionLength
    for (std::uint32_t i = 0; i < f.nExtensionBytes; ++i)  // extension block
        b.push_back(static_cast<std::uint8_t>(0xE0 + i % 16));
    for (std::uint32_t i = 0; i < f.nPaletteBytes; ++i)    // palette triples B, R, G
        b.push_back(static_cast<std::uint8_t>(i * 5));
    for (std::uint32_t i = 0; i < f.nPixelBytes; ++i)      // glyph pixels
        b.push_back(static_cast<std::uint8_t>(10 + i % 200));
    return b;
}

inline Bytes Cut(Bytes b, std::size_t nSize)
{
    b.resize(nSize);
    return b;
}

// The whole table.
inline std::vector<HostileCase> HostileCases()
{
    std::vector<HostileCase> cases;
    auto add = [&](std::string name, Bytes bytes, int kind, int nCode, int nMessage) {
        cases.push_back({std::move(name), std::move(bytes), kind, nCode, nMessage});
    };

    // BMP: bit counts other than 8, offsets other than 1078.
    for (int bits : {0, 1, 4, 16, 24, 32})
        add("bmp-bitcount-" + std::to_string(bits), BmpFile({.biBitCount = static_cast<std::uint16_t>(bits)}), DATA_BMP, FMT_BMP_NOT_8BIT,
            IDS_NOT_256_COLOR);
    for (std::uint32_t off : {0u, 54u, 118u, 1077u, 1079u, 2102u, U32_MAX})
        add("bmp-offbits-" + std::to_string(off), BmpFile({.bfOffBits = off}), DATA_BMP, FMT_BMP_OFFSET,
            IDS_LOAD_ERROR);
    // Compressed pixel data (RLE8, RLE4, bit fields) would show as noise if read raw.
    for (std::uint32_t method : {1u, 2u, 3u, U32_MAX})
        add("bmp-compression-" + std::to_string(method), BmpFile({.biCompression = method}), DATA_BMP,
            FMT_BMP_COMPRESSED, IDS_LOAD_ERROR);
    // A 16-entry colour table: the offset says so and the file is refused.
    add("bmp-16-colour-table",
        BmpFile({.bfSize = 118 + 1024, .bfOffBits = 118, .biWidth = 16, .biHeight = 64, .nPixelBytes = 64}), DATA_BMP,
        FMT_BMP_OFFSET, IDS_LOAD_ERROR);

    // BMP: cut short at every section boundary (and inside the pixels).
    const Bytes bmp = BmpFile({});
    for (std::size_t n : {2u, 6u, 13u, 14u, 20u, 53u, 54u, 55u, 1077u, 1078u, 1081u})
        add("bmp-cut-" + std::to_string(n), Cut(bmp, n), DATA_BMP, FMT_BMP_TRUNCATED, IDS_LOAD_ERROR);

    // BMP: sizes and dimensions at the edges. Sizes that claim more than the file holds
    // are refused before anything is allocated.
    for (std::uint32_t size : {0u, 1u, 1077u, 65535u, 65536u, 0x80000000u, U32_MAX})
        add("bmp-bfsize-" + std::to_string(size), BmpFile({.bfSize = size}), DATA_BMP, FMT_BMP_TRUNCATED,
            IDS_LOAD_ERROR);
    for (std::uint32_t dim : {65535u, 65536u, 0x80000000u, U32_MAX})
    {
        const auto s = static_cast<std::int32_t>(dim);
        add("bmp-width-" + std::to_string(dim), BmpFile({.biWidth = s}), DATA_BMP, FMT_BMP_TRUNCATED, IDS_LOAD_ERROR);
        add("bmp-width-claimed-" + std::to_string(dim),
            BmpFile({.bfSize = dim > U32_MAX - BMP_PIXEL_OFFSET ? U32_MAX : BMP_PIXEL_OFFSET + dim, .biWidth = s,
                     .biHeight = 1}),
            DATA_BMP, FMT_BMP_TRUNCATED, IDS_LOAD_ERROR);
        // -1 is a top-down image of one row: the 3 bytes after it are kept as they are.
        const bool bOneRow = s == -1;
        add("bmp-height-" + std::to_string(dim), BmpFile({.biHeight = s}), DATA_BMP,
            bOneRow ? FMT_OK : FMT_BMP_TRUNCATED, bOneRow ? 0 : IDS_LOAD_ERROR);
    }
    add("bmp-width-height-huge", BmpFile({.biWidth = 0x7FFFFFFF, .biHeight = 0x7FFFFFFF}), DATA_BMP,
        FMT_BMP_TRUNCATED, IDS_LOAD_ERROR);
    add("bmp-size-below-offset", BmpFile({.bfSize = 1000}), DATA_BMP, FMT_BMP_TRUNCATED, IDS_LOAD_ERROR);
    // Files that are odd but complete load: empty images and a lone pixel.
    add("bmp-width-0", BmpFile({.bfSize = 1078, .biWidth = 0, .nPixelBytes = 0}), DATA_BMP, FMT_OK, 0);
    add("bmp-height-0", BmpFile({.bfSize = 1078, .biHeight = 0, .nPixelBytes = 0}), DATA_BMP, FMT_OK, 0);
    add("bmp-1x1", BmpFile({.bfSize = 1079, .biWidth = 1, .biHeight = 1, .nPixelBytes = 1}), DATA_BMP, FMT_OK, 0);
    add("bmp-top-down", BmpFile({.biHeight = -2}), DATA_BMP, FMT_OK, 0);

    // TIM: versions, pixel modes, CLUT lengths below 12 and beyond the file.
    add("tim-version-1", TimFile({.version = 1}), DATA_TIM, FMT_TIM_VERSION, IDS_LOAD_ERROR);
    for (std::uint32_t mode : {0u, 2u, 3u, 8u, 0x89u})
        add("tim-mode-" + std::to_string(mode), TimFile({.flags = mode}), DATA_TIM, FMT_TIM_NOT_8BIT,
            IDS_NOT_256_COLOR);
    for (std::uint32_t len : {0u, 1u, 11u})
        add("tim-clut-length-" + std::to_string(len), TimFile({.clutLength = len}), DATA_TIM, FMT_TIM_TRUNCATED,
            IDS_LOAD_ERROR);
    for (std::uint32_t len : {65535u, 65536u, 0x80000000u, U32_MAX})
        add("tim-clut-length-" + std::to_string(len), TimFile({.clutLength = len}), DATA_TIM, FMT_TIM_TRUNCATED,
            IDS_LOAD_ERROR);
    for (std::uint16_t dim : {std::uint16_t{255}, std::uint16_t{65535}})
    {
        add("tim-width-" + std::to_string(dim), TimFile({.imageWidth = dim}), DATA_TIM, FMT_TIM_TRUNCATED,
            IDS_LOAD_ERROR);
        add("tim-height-" + std::to_string(dim), TimFile({.imageHeight = dim}), DATA_TIM, FMT_TIM_TRUNCATED,
            IDS_LOAD_ERROR);
    }
    add("tim-65535-square", TimFile({.imageWidth = 65535, .imageHeight = 65535}), DATA_TIM, FMT_TIM_TRUNCATED,
        IDS_LOAD_ERROR);

    // TIM: cut short at every section boundary.
    const Bytes tim = TimFile({});
    for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 12u, 19u, 20u, 21u, 276u, 531u, 532u, 540u, 543u, 544u, 555u})
        add("tim-cut-" + std::to_string(n), Cut(tim, n), DATA_TIM,
            n < 2 ? FMT_TIM_VERSION : FMT_TIM_TRUNCATED, IDS_LOAD_ERROR);

    // TIM: odd but complete files load.
    add("tim-width-0", TimFile({.imageWidth = 0, .nPixelBytes = 0}), DATA_TIM, FMT_OK, 0);
    add("tim-height-0", TimFile({.imageHeight = 0, .nPixelBytes = 0}), DATA_TIM, FMT_OK, 0);
    add("tim-1x1", TimFile({.imageWidth = 1, .imageHeight = 1, .nPixelBytes = 2}), DATA_TIM, FMT_OK, 0);
    add("tim-clut-12", TimFile({.clutLength = 12, .nColourBytes = 0}), DATA_TIM, FMT_OK, 0);
    add("tim-clut-44", TimFile({.clutLength = 44, .nColourBytes = 32}), DATA_TIM, FMT_OK, 0);

    // BFNT: colour types other than 3 and 7, with and without the palette flag.
    for (int type : {0, 1, 2, 4, 5, 6, 8, 0x7F})
        for (int flag : {0, int{BFNT_PALETTE}})
            add("bfnt-type-" + std::to_string(type) + (flag ? "-palette" : ""),
                BfntFile({.format = static_cast<std::uint8_t>(flag | type)}), DATA_BFNT, FMT_BFNT_TYPE,
                IDS_NOT_256_OR_16_COLOR);

    // BFNT: lastCode below firstCode.
    add("bfnt-last-below-first", BfntFile({.firstCode = 10, .lastCode = 9}), DATA_BFNT, FMT_BFNT_TRUNCATED,
        IDS_LOAD_ERROR);
    add("bfnt-last-0-first-65535", BfntFile({.firstCode = 65535, .lastCode = 0}), DATA_BFNT, FMT_BFNT_TRUNCATED,
        IDS_LOAD_ERROR);
    // The header check comes before the colour type, so ReadBfnt never runs.
    add("bfnt16-last-below-first",
        BfntFile({.format = BFNT_PALETTE | BFNT_COLORS_16, .firstCode = 2, .lastCode = 1, .nPaletteBytes = 48}),
        DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);

    // BFNT: dimensions and lengths the file cannot fill.
    add("bfnt-65535-cells", BfntFile({.glyphWidth = 65535, .glyphHeight = 65535, .firstCode = 0, .lastCode = 65535}),
        DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);
    add("bfnt-width-65535", BfntFile({.glyphWidth = 65535}), DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);
    add("bfnt-height-65535", BfntFile({.glyphHeight = 65535}), DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);
    add("bfnt-extension-65535", BfntFile({.extensionLength = 65535, .nExtensionBytes = 100}), DATA_BFNT,
        FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);
    add("bfnt16-65535-cells",
        BfntFile({.format = BFNT_COLORS_16, .glyphWidth = 65535, .glyphHeight = 65535, .firstCode = 0,
                  .lastCode = 65535, .nPaletteBytes = 0}),
        DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_NOT_256_OR_16_COLOR);

    // BFNT: cut short at every section boundary.
    const Bytes bfnt = BfntFile({.extensionLength = 5, .nExtensionBytes = 5});
    for (std::size_t n : {4u, 5u, 8u, 16u, 31u, 32u, 36u, 37u, 38u, 804u, 805u, 806u, 828u})
        add("bfnt-cut-" + std::to_string(n), Cut(bfnt, n), DATA_BFNT, FMT_BFNT_TRUNCATED, IDS_LOAD_ERROR);
    const Bytes bfnt16 = BfntFile({.format = BFNT_PALETTE | BFNT_COLORS_16, .nPaletteBytes = 48, .nPixelBytes = 12});
    for (std::size_t n : {31u, 32u, 79u, 80u, 91u})
        add("bfnt16-cut-" + std::to_string(n), Cut(bfnt16, n), DATA_BFNT, FMT_BFNT_TRUNCATED,
            n < BFNT_HEADER_SIZE ? IDS_LOAD_ERROR : IDS_NOT_256_OR_16_COLOR);

    // BFNT: odd but complete sheets load.
    add("bfnt-width-0", BfntFile({.glyphWidth = 0, .nPixelBytes = 0}), DATA_BFNT, FMT_OK, 0);
    add("bfnt-height-0", BfntFile({.glyphHeight = 0, .nPixelBytes = 0}), DATA_BFNT, FMT_OK, 0);
    add("bfnt-1x1-one-code", BfntFile({.glyphWidth = 1, .glyphHeight = 1, .firstCode = 0, .lastCode = 0,
                                       .nPixelBytes = 1}),
        DATA_BFNT, FMT_OK, 0);
    add("bfnt-width-300", BfntFile({.glyphWidth = 300, .glyphHeight = 1, .firstCode = 0, .lastCode = 0,
                                    .nPixelBytes = 300}),
        DATA_BFNT, FMT_OK, 0);
    add("bfnt16-odd-pixels", BfntFile({.format = BFNT_COLORS_16, .glyphWidth = 3, .glyphHeight = 3, .firstCode = 0,
                                       .lastCode = 0, .nPaletteBytes = 0, .nPixelBytes = 5}),
        DATA_BFNT, FMT_OK, 0);

    // Signatures that name no format.
    add("unknown-bfnx", BfntFile({.magic = "BFNX"}), DATA_NONE, FMT_OK, IDS_UNKNOWN_FORMAT);
    add("unknown-ba", BmpFile({.bfType = 0x4142}), DATA_NONE, FMT_OK, IDS_UNKNOWN_FORMAT);
    add("unknown-zeros", Bytes(64, 0), DATA_NONE, FMT_OK, IDS_UNKNOWN_FORMAT);
    return cases;
}
}  // namespace corpus
