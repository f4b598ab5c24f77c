#pragma once
// Hostile and broken files for the exchange library, built field by field: TIMs of
// every depth, BMPs of every kind export reads, BFNT sheets, and PNGs (with and
// without the private chunk) for import. Each has the message it must give, or none
// when it is accepted.

#include "exchange/Exchange.h"
#include "formats/ByteOrder.h"
#include "tests/exchange/HandMadePng.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace excorpus
{
using Bytes = std::vector<std::uint8_t>;

enum Verb
{
    VERB_EXPORT,
    VERB_IMPORT,
};

struct ExchangeCase
{
    std::string name;
    Bytes bytes;
    Verb verb;
    int target;  // import only
    std::string message;  // empty: accepted
};

constexpr std::uint32_t U32_MAX = 0xFFFFFFFFu;

// ---- TIM -----------------------------------------------------------------------------

struct TimFields
{
    std::uint8_t version = 0;
    std::uint32_t flags = 0x09;           // 8 bits per pixel with a CLUT
    std::uint32_t clutLength = 12 + 512;
    std::uint16_t clutWidth = 256;
    std::uint16_t clutHeight = 1;
    std::uint32_t nColourBytes = 512;     // colour bytes actually present
    std::uint16_t imageWidth = 2;         // 16-bit units
    std::uint16_t imageHeight = 3;
    std::uint32_t nPixelBytes = 12;       // pixel bytes actually present
};

inline Bytes TimFile(const TimFields& f)
{
    Bytes b(8, 0);
    b[0] = 0x10;                               // id
    b[1] = f.version;                          // version
    PutLe32(&b[4], f.flags);                   // flags: mode | CLUT bit
    if ((f.flags & 8) != 0)
    {
        b.resize(20, 0);
        PutLe32(&b[8], f.clutLength);          // CLUT block length
        PutLe16(&b[16], f.clutWidth);          // CLUT width (x, y stay 0)
        PutLe16(&b[18], f.clutHeight);         // CLUT height
        for (std::uint32_t i = 0; i < f.nColourBytes; ++i)  // colours
            b.push_back(static_cast<std::uint8_t>(i * 7));
    }
    const std::size_t nImage = b.size();
    b.resize(nImage + 12, 0);
    PutLe32(&b[nImage], 12 + f.nPixelBytes);   // image block length
    PutLe16(&b[nImage + 8], f.imageWidth);     // image width in units (x, y stay 0)
    PutLe16(&b[nImage + 10], f.imageHeight);   // image height
    for (std::uint32_t i = 0; i < f.nPixelBytes; ++i)  // pixels
        b.push_back(static_cast<std::uint8_t>(i * 3));
    return b;
}

// ---- BMP -----------------------------------------------------------------------------

struct BmpFields
{
    std::uint32_t bfOffBits = 14 + 40 + 1024;
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 3;
    std::int32_t biHeight = 2;
    std::uint16_t biBitCount = 8;
    std::uint32_t biCompression = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t nTableBytes = 1024;     // colour-table bytes actually present
    Bytes pixels = Bytes(8, 5);           // pixel data (padded rows of 4)
};

inline Bytes BmpFile(const BmpFields& f)
{
    Bytes b(14 + 40, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(&b[10], f.bfOffBits);          // bfOffBits (bfSize stays 0: the real size counts)
    PutLe32(&b[14], f.biSize);             // biSize
    PutLeS32(&b[18], f.biWidth);           // biWidth
    PutLeS32(&b[22], f.biHeight);          // biHeight
    PutLe16(&b[26], 1);                    // biPlanes
    PutLe16(&b[28], f.biBitCount);         // biBitCount
    PutLe32(&b[30], f.biCompression);      // biCompression
    PutLe32(&b[46], f.biClrUsed);          // biClrUsed
    if (f.biSize > 40 && f.biSize < 4096)
        b.resize(14 + f.biSize, 0);        // the rest of a larger info header
    for (std::uint32_t i = 0; i < f.nTableBytes; ++i)  // colour table
        b.push_back(static_cast<std::uint8_t>(i));
    b.insert(b.end(), f.pixels.begin(), f.pixels.end());  // pixels
    return b;
}

inline BmpFields Rle8(std::int32_t w, std::int32_t h, Bytes codes)
{
    BmpFields f;
    f.biWidth = w;
    f.biHeight = h;
    f.biCompression = 1;
    f.pixels = std::move(codes);
    return f;
}

inline BmpFields Rle4(std::int32_t w, std::int32_t h, Bytes codes)
{
    BmpFields f = Rle8(w, h, std::move(codes));
    f.biBitCount = 4;
    f.biCompression = 2;
    f.bfOffBits = 14 + 40 + 64;
    f.nTableBytes = 64;
    return f;
}

// ---- BFNT ----------------------------------------------------------------------------

struct BfntFields
{
    std::uint8_t format = 0x87;             // palette flag | 256 colours
    std::uint16_t glyphWidth = 4;
    std::uint16_t glyphHeight = 2;
    std::uint16_t firstCode = 65;
    std::uint16_t lastCode = 67;
    std::uint16_t extensionLength = 0;
    std::uint32_t nExtensionBytes = 0;      // present
    std::uint32_t nPaletteBytes = 768;      // present
    std::uint32_t nPixelBytes = 24;         // present
};

inline Bytes BfntFile(const BfntFields& f)
{
    Bytes b(32, 0);
    std::memcpy(&b[0], "BFNT", 4);          // magic
    b[4] = 0x1A;
    b[5] = f.format;                        // format
    b[6] = 22;
    PutLe16(&b[8], f.glyphWidth);           // glyphWidth
    PutLe16(&b[10], f.glyphHeight);         // glyphHeight
    PutLe16(&b[12], f.firstCode);           // firstCode
    PutLe16(&b[14], f.lastCode);            // lastCode
    PutLe16(&b[28], f.extensionLength);     // extensionLength
    b.insert(b.end(), f.nExtensionBytes, 0xE5);                 // extension block
    for (std::uint32_t i = 0; i < f.nPaletteBytes; ++i)         // palette triples B, R, G
        b.push_back(static_cast<std::uint8_t>(i * 5));
    for (std::uint32_t i = 0; i < f.nPixelBytes; ++i)           // glyphs
        b.push_back(static_cast<std::uint8_t>(i % 251));
    return b;
}

// ---- PNG -----------------------------------------------------------------------------

const Bytes PNG_SIGNATURE = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A 4 x 4 indexed PNG of 4 colours; pixel value (x + y) % nMax.
inline Bytes Indexed4x4(std::vector<handpng::Chunk> extra = {}, std::uint8_t nMax = 4)
{
    Bytes raw;
    for (int y = 0; y < 4; ++y)
    {
        raw.push_back(0);
        for (int x = 0; x < 4; ++x)
            raw.push_back(static_cast<std::uint8_t>((x + y) % nMax));
    }
    std::vector<handpng::Chunk> chunks = {{"PLTE", {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}}};
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    return handpng::Make(4, 4, 8, 3, raw, chunks);
}

inline Bytes Meta(std::uint8_t nKind, std::uint32_t w, std::uint32_t h, const Bytes& payload, std::uint8_t nLayout = 1)
{
    // Sized once and filled in place: gcc 12 misreads an insert after a short initialiser.
    Bytes m(12 + payload.size(), 0);
    m[0] = nLayout;      // layout
    m[1] = nKind;        // kind (bytes 2 and 3 stay 0)
    PutLe32(&m[4], w);   // picture width at export
    PutLe32(&m[8], h);   // picture height at export
    std::copy(payload.begin(), payload.end(), m.begin() + 12);
    return m;
}

// The TIM part of the chunk: flags, reserved, CLUT x/y/w/h, image x/y, shown row, colours.
inline Bytes TimMeta(std::uint32_t flags, std::uint16_t nRow, std::uint32_t nColours, std::uint32_t nClaimed)
{
    Bytes p(24, 0);
    PutLe32(&p[0], flags);       // flags
    PutLe16(&p[10], 16);         // CLUT width
    PutLe16(&p[12], 1);          // CLUT height
    PutLe16(&p[18], nRow);       // the row the palette shows
    PutLe32(&p[20], nClaimed);   // colour count
    p.insert(p.end(), 2 * std::size_t{nColours}, 0x11);
    return p;
}

inline Bytes BfntMeta(std::uint16_t w, std::uint16_t h, std::uint16_t nFirst, std::uint16_t nLast,
                      std::uint16_t nExtension, std::uint32_t nExtensionBytes)
{
    Bytes p(32, 0);
    std::memcpy(&p[0], "BFNT", 4);
    p[5] = 0x87;
    PutLe16(&p[8], w);
    PutLe16(&p[10], h);
    PutLe16(&p[12], nFirst);
    PutLe16(&p[14], nLast);
    PutLe16(&p[28], nExtension);
    p.insert(p.end(), nExtensionBytes, 0x42);
    return p;
}

inline Bytes Cut(Bytes b, std::size_t n)
{
    b.resize(n);
    return b;
}

// The whole table.
inline std::vector<ExchangeCase> ExchangeCases()
{
    std::vector<ExchangeCase> cases;
    auto exp = [&](std::string name, Bytes bytes, std::string message) {
        cases.push_back({std::move(name), std::move(bytes), VERB_EXPORT, DATA_NONE, std::move(message)});
    };
    auto imp = [&](std::string name, Bytes bytes, int target, std::string message) {
        cases.push_back({std::move(name), std::move(bytes), VERB_IMPORT, target, std::move(message)});
    };
    const std::string timCut = "the TIM's header is cut short.";

    // TIM: the valid base, cut at every block boundary.
    const Bytes tim = TimFile({});
    exp("tim-valid", tim, "");
    for (std::size_t n : {1u, 2u, 7u})
        exp("tim-cut-" + std::to_string(n), Cut(tim, n), timCut);
    // A block whose header is cut is that block cut.
    for (std::size_t n : {8u, 19u})
        exp("tim-cut-" + std::to_string(n), Cut(tim, n), "the TIM's CLUT block is cut short.");
    for (std::size_t n : {532u, 543u})
        exp("tim-cut-" + std::to_string(n), Cut(tim, n), "the TIM's image block is cut short.");
    exp("tim-cut-in-colours", Cut(tim, 531), "the TIM's CLUT block is cut short.");
    exp("tim-cut-in-pixels", Cut(tim, tim.size() - 1), "the TIM's image block is cut short.");
    exp("tim-version-1", TimFile({.version = 1}), "TIM version 1 is not supported.");
    for (std::uint32_t mode : {4u, 5u, 7u})
        exp("tim-mode-" + std::to_string(mode), TimFile({.flags = 8 | mode}),
            "TIM with pixel mode " + std::to_string(mode) + (mode == 4 ? " (mixed)" : "") + " is not supported.");
    // Textures without a CLUT are read (their colours are in another file).
    exp("tim-8bit-without-clut", TimFile({.flags = 1}), "");
    exp("tim-4bit-without-clut", TimFile({.flags = 0}), "");
    for (std::uint32_t length : {0u, 11u})
        exp("tim-clut-length-" + std::to_string(length), TimFile({.clutLength = length}),
            "the TIM's CLUT block length " + std::to_string(length) + " is below 12.");
    for (std::uint32_t length : {549u, 0x7FFFFFFFu, U32_MAX})
        exp("tim-clut-length-claims-" + std::to_string(length), TimFile({.clutLength = length}),
            "the TIM's CLUT block is cut short.");
    exp("tim-clut-empty", TimFile({.clutLength = 12, .nColourBytes = 0}), "the TIM's CLUT holds no colours.");
    exp("tim-clut-one-byte", TimFile({.clutLength = 13, .nColourBytes = 1}), "the TIM's CLUT holds no colours.");
    exp("tim-clut-odd-length-16bit", TimFile({.flags = 0x0A, .clutLength = 15, .nColourBytes = 3}), "");
    exp("tim-clut-5-colours", TimFile({.clutLength = 22, .nColourBytes = 10}), "");  // a short palette, zero-filled
    exp("tim-image-claims-65535-squared", TimFile({.imageWidth = 0xFFFF, .imageHeight = 0xFFFF}),
        "the TIM's image block is cut short.");
    exp("tim-zero-width", TimFile({.imageWidth = 0, .nPixelBytes = 0}), "the TIM holds no pixels (0 x 3).");
    exp("tim-zero-height", TimFile({.imageHeight = 0, .nPixelBytes = 0}), "the TIM holds no pixels (4 x 0).");
    exp("tim-24bit-one-unit", TimFile({.flags = 3, .imageWidth = 1, .nPixelBytes = 6}),
        "the TIM holds no pixels (0 x 3).");
    exp("tim-24bit-odd-units", TimFile({.flags = 3, .imageWidth = 5, .nPixelBytes = 30}), "");
    exp("tim-4bit-many-rows", TimFile({.flags = 8, .clutLength = 12 + 32 * 40, .clutWidth = 16, .clutHeight = 40,
                                       .nColourBytes = 32 * 40}),
        "");
    exp("tim-trailing-bytes", [] { Bytes b = TimFile({}); b.insert(b.end(), 100, 0xAA); return b; }(), "");

    // BMP.
    const std::string bmpCut = "the BMP file is cut short.";
    const Bytes bmp = BmpFile({});
    exp("bmp-valid", bmp, "");
    for (std::size_t n : {2u, 10u, 17u, 20u, 53u})
        exp("bmp-cut-" + std::to_string(n), Cut(bmp, n), bmpCut);
    exp("bmp-cut-in-table", Cut(bmp, 54 + 1000), "the BMP's colour table is cut short.");
    exp("bmp-cut-in-pixels", Cut(bmp, bmp.size() - 1), "the BMP's pixel data is cut short.");
    for (std::uint32_t size : {0u, 20u, U32_MAX})
        exp("bmp-info-size-" + std::to_string(size), BmpFile({.biSize = size}),
            "BMP with a " + std::to_string(size) + "-byte info header is not supported.");
    // An OS/2 1.x header finds the depth where a 40-byte one has its height's high half.
    exp("bmp-info-size-12", BmpFile({.biSize = 12}), "BMP with 0 bits per pixel is not supported.");
    for (std::uint32_t size : {16u, 52u, 56u, 64u})
        exp("bmp-info-size-" + std::to_string(size), BmpFile({.biSize = size}), "");
    exp("bmp-v5-header-cut", Cut(BmpFile({.biSize = 124}), 100), bmpCut);
    exp("bmp-width-negative", BmpFile({.biWidth = -3}), "the BMP's width is negative.");
    exp("bmp-width-zero", BmpFile({.biWidth = 0}), "the BMP holds no pixels (0 x 2).");
    exp("bmp-height-zero", BmpFile({.biHeight = 0}), "the BMP holds no pixels (3 x 0).");
    exp("bmp-height-min", BmpFile({.biHeight = INT32_MIN}), "the BMP is too large: 3 x 2147483648 pixels.");
    exp("bmp-width-max", BmpFile({.biWidth = INT32_MAX}), "the BMP is too large: 2147483647 x 2 pixels.");
    exp("bmp-width-claims-16m", BmpFile({.biWidth = 1 << 24}), "the BMP's pixel data is cut short.");
    exp("bmp-top-down", BmpFile({.biHeight = -2}), "");
    exp("bmp-offbits-past-end", BmpFile({.bfOffBits = U32_MAX}), "the BMP's pixel data is cut short.");
    exp("bmp-offbits-inside-headers", BmpFile({.bfOffBits = 0}), "");  // reads whatever lies there, in bounds
    // Read now, but the sample's pixels are 8-bit rows.
    exp("bmp-bits-16", BmpFile({.biBitCount = 16}), "the BMP's pixel data is cut short.");
    exp("bmp-bits-32", BmpFile({.biBitCount = 32}), "the BMP's pixel data is cut short.");
    for (int bits : {0, 2, 64})
        exp("bmp-bits-" + std::to_string(bits), BmpFile({.biBitCount = static_cast<std::uint16_t>(bits)}),
            "BMP with " + std::to_string(bits) + " bits per pixel is not supported.");
    const char* const methods[] = {"", "", "", "bit fields (compression 3)", "JPEG data inside (compression 4)",
                                   "PNG data inside (compression 5)", "alpha bit fields (compression 6)"};
    exp("bmp-compression-3", BmpFile({.biCompression = 3}), "BMP with bit fields and 8 bits per pixel is not valid.");
    for (std::uint32_t method : {4u, 5u, 6u})
        exp("bmp-compression-" + std::to_string(method), BmpFile({.biCompression = method}),
            std::string("BMP with ") + methods[method] + " is not supported.");
    exp("bmp-compression-max", BmpFile({.biCompression = U32_MAX}), "BMP with compression 4294967295 is not supported.");
    exp("bmp-rle8-at-4-bits", BmpFile({.biBitCount = 4, .biCompression = 1}),
        "BMP with RLE8 compression and 4 bits per pixel is not valid.");
    exp("bmp-rle4-at-8-bits", BmpFile({.biCompression = 2}), "BMP with RLE4 compression and 8 bits per pixel is not valid.");
    exp("bmp-clr-used-max", BmpFile({.biClrUsed = U32_MAX}),
        "the BMP's colour count (biClrUsed 4294967295) is more than 8 bits per pixel can index.");
    exp("bmp-1bit-one-colour-index-1", BmpFile({.bfOffBits = 14 + 40 + 4, .biBitCount = 1, .biClrUsed = 1,
                                                .nTableBytes = 4, .pixels = Bytes(8, 0xFF)}),
        "the BMP's pixels use index 1, past the last colour of its table (0).");
    exp("bmp-24bit", BmpFile({.bfOffBits = 54, .biBitCount = 24, .nTableBytes = 0, .pixels = Bytes(24, 0x80)}), "");

    // RLE: every escape, cut inside each, and claims no data could fill.
    exp("rle8-every-escape", BmpFile(Rle8(5, 4, {3, 1, 0, 0, 0, 2, 0, 1, 2, 7, 0, 3, 9, 8, 7, 0, 0, 1})), "");
    exp("rle8-no-end-of-bitmap", BmpFile(Rle8(5, 4, {5, 1, 0, 0})), "the BMP's RLE8 data is cut short.");
    exp("rle8-last-row-without-end", BmpFile(Rle8(5, 1, {5, 1})), "");
    exp("rle8-trailing-odd-byte", BmpFile(Rle8(5, 4, {5, 1, 0})), "the BMP's RLE8 data is cut short.");
    exp("rle8-runs-past-the-row", BmpFile(Rle8(5, 4, {255, 1, 255, 2, 0, 0, 200, 3, 0, 1})),
        "the BMP's RLE8 data runs past the end of a row.");
    exp("rle8-absolute-past-the-row", BmpFile(Rle8(5, 4, {3, 1, 0, 3, 1, 2, 3, 0, 0, 1})),
        "the BMP's RLE8 data runs past the end of a row.");
    exp("rle8-delta-past-the-picture", BmpFile(Rle8(5, 4, {0, 2, 255, 255, 3, 3, 0, 1})), "");
    exp("rle8-rows-past-the-picture", BmpFile(Rle8(2, 2, {2, 1, 0, 0, 2, 1, 0, 0, 2, 1, 0, 0, 2, 1})), "");
    exp("rle8-absolute-cut", BmpFile(Rle8(5, 4, {0, 10, 1, 2})), "the BMP's RLE8 data is cut short.");
    exp("rle8-delta-cut", BmpFile(Rle8(5, 4, {0, 2, 5})), "the BMP's RLE8 data is cut short.");
    exp("rle8-absolute-padding-missing", BmpFile(Rle8(5, 4, {0, 3, 1, 2, 3})), "the BMP's RLE8 data is cut short.");
    exp("rle8-claims-30000-squared", BmpFile(Rle8(30000, 30000, {0, 1})),
        "the BMP's RLE data is too short for 30000 x 30000 pixels.");
    exp("rle8-top-down", BmpFile(Rle8(3, -2, {3, 4, 0, 0, 3, 5, 0, 1})), "");
    exp("rle4-every-escape", BmpFile(Rle4(6, 3, {5, 0x12, 0, 0, 0, 2, 1, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 1})), "");
    exp("rle4-absolute-cut", BmpFile(Rle4(6, 3, {0, 7, 0x12})), "the BMP's RLE4 data is cut short.");

    // BFNT.
    const Bytes bfnt = BfntFile({});
    exp("bfnt-valid", bfnt, "");
    for (std::size_t n : {4u, 31u})
        exp("bfnt-cut-" + std::to_string(n), Cut(bfnt, n), "the BFNT's header is cut short.");
    exp("bfnt-cut-in-palette", Cut(bfnt, 32 + 700), "the BFNT's palette block is cut short.");
    exp("bfnt-cut-in-glyphs", Cut(bfnt, bfnt.size() - 1), "the BFNT's glyphs are cut short.");
    for (int type : {0, 5, 0x7F})
        exp("bfnt-type-" + std::to_string(type), BfntFile({.format = static_cast<std::uint8_t>(0x80 | type)}),
            "BFNT with colour type " + std::to_string(type) + " is not supported.");
    exp("bfnt-last-below-first", BfntFile({.firstCode = 67, .lastCode = 65}),
        "the BFNT's last code (65) is below its first (67).");
    exp("bfnt-zero-width", BfntFile({.glyphWidth = 0}), "the BFNT's cells are 0 x 2 pixels.");
    exp("bfnt-zero-height", BfntFile({.glyphHeight = 0}), "the BFNT's cells are 4 x 0 pixels.");
    exp("bfnt-extension-claimed", BfntFile({.extensionLength = 0xFFFF, .nExtensionBytes = 10}),
        "the BFNT's extension block is cut short.");
    exp("bfnt-extension", BfntFile({.extensionLength = 10, .nExtensionBytes = 10}), "");
    exp("bfnt-no-palette", BfntFile({.format = 7, .nPaletteBytes = 0}), "");
    exp("bfnt16-cut-in-palette", BfntFile({.format = 0x83, .nPaletteBytes = 40, .nPixelBytes = 0}),
        "the BFNT's palette block is cut short.");
    exp("bfnt16-cut-in-glyphs", BfntFile({.format = 0x83, .nPaletteBytes = 48, .nPixelBytes = 11}),
        "the BFNT's glyphs are cut short.");
    exp("bfnt16-odd-last-byte-missing", BfntFile({.format = 3, .glyphWidth = 3, .glyphHeight = 3, .firstCode = 0,
                                                  .lastCode = 0, .nPaletteBytes = 0, .nPixelBytes = 4}),
        "");
    exp("bfnt-all-codes", BfntFile({.glyphWidth = 1, .glyphHeight = 1, .firstCode = 0, .lastCode = 0xFFFF,
                                    .nPixelBytes = 65536}),
        "");
    exp("bfnt-grid-too-large", BfntFile({.glyphWidth = 4096, .glyphHeight = 1, .firstCode = 0xFFFF, .lastCode = 0xFFFF,
                                         .nPixelBytes = 4096}),
        "the grid of this sheet would be 65536 x 4096 pixels, too large to export.");

    // PNG: the container.
    const Bytes png = Indexed4x4();
    imp("png-valid", png, DATA_BMP, "");
    imp("png-empty", {}, DATA_BMP, "not a PNG file.");
    imp("png-cut-in-signature", Cut(png, 7), DATA_BMP, "not a PNG file.");
    imp("png-signature-only", PNG_SIGNATURE, DATA_BMP, "the PNG cannot be read: the file ends early.");
    imp("png-cut-before-iend", Cut(png, png.size() - 12), DATA_BMP, "the PNG cannot be read: the file ends early.");
    imp("png-claims-60000-squared",
        [] {
            Bytes b = PNG_SIGNATURE;
            handpng::AddChunk(b, "IHDR", handpng::Ihdr(60000, 60000, 8, 2));
            handpng::AddChunk(b, "IDAT", handpng::Deflate(Bytes(100, 0)));
            handpng::AddChunk(b, "IEND", {});
            return b;
        }(),
        DATA_BMP, "the PNG is cut short: its pixel data cannot fill 60000 x 60000 pixels.");
    imp("png-decodes-past-the-limit",
        [] {
            // 1-bit grey, 16384 x 16384: 1 GiB as RGBA. The IDAT bytes could hold it.
            Bytes b = PNG_SIGNATURE;
            handpng::AddChunk(b, "IHDR", handpng::Ihdr(16384, 16384, 1, 0));
            handpng::AddChunk(b, "IDAT", Bytes(40000, 0));
            handpng::AddChunk(b, "IEND", {});
            return b;
        }(),
        DATA_BMP, "the PNG is too large: 16384 x 16384 pixels; at most 256 MiB of pixels can be read.");
    imp("png-side-past-the-limit",
        [] {
            Bytes b = PNG_SIGNATURE;
            handpng::AddChunk(b, "IHDR", handpng::Ihdr(1u << 25, 1, 1, 0));
            handpng::AddChunk(b, "IDAT", Bytes(8000, 0));
            handpng::AddChunk(b, "IEND", {});
            return b;
        }(),
        DATA_BMP, "the PNG cannot be read: Invalid IHDR data.");
    imp("png-ihdr-zero-width",
        handpng::Make(0, 1, 8, 0, {0}), DATA_BMP, "the PNG cannot be read: Invalid IHDR data.");
    imp("png-ihdr-bad-crc",
        [] {
            Bytes b = PNG_SIGNATURE;
            handpng::AddChunk(b, "IHDR", handpng::Ihdr(1, 1, 8, 0), true);
            return b;
        }(),
        DATA_BMP, "the PNG cannot be read: IHDR: CRC error.");
    imp("png-palette-missing", handpng::Make(2, 1, 8, 3, {0, 0, 1}), DATA_BMP,
        "the PNG cannot be read: IDAT: Missing PLTE before IDAT.");
    imp("png-index-past-palette", Indexed4x4({}, 7), DATA_BMP,
        "the PNG uses colour index 6 but its palette has 4 colours.");
    imp("png-idat-garbage",
        [] {
            Bytes b = PNG_SIGNATURE;
            handpng::AddChunk(b, "IHDR", handpng::Ihdr(2, 2, 8, 0));
            handpng::AddChunk(b, "IDAT", Bytes(64, 0x55));
            handpng::AddChunk(b, "IEND", {});
            return b;
        }(),
        DATA_BMP, "the PNG cannot be read: IDAT: incorrect header check.");
    imp("png-huge-ancillary-chunk",
        [] {
            Bytes b = Indexed4x4();
            Bytes tail(b.end() - 12, b.end());
            b.resize(b.size() - 12);
            handpng::PutBe32(b, 0x7FFFFFF0u);
            b.insert(b.end(), {'t', 'E', 'X', 't', 'a', 'b'});
            return b;
        }(),
        DATA_BMP, "the PNG cannot be read: the file ends early.");
    imp("png-grey16-to-tim", handpng::Make(2, 1, 16, 0, {0, 0xFF, 0xFF, 0, 0}), DATA_TIM, "");
    imp("png-grey16-to-bfnt", handpng::Make(16, 16, 16, 0, Bytes(16 * 33, 0)), DATA_BFNT, "");

    // PNG: the private chunk.
    const std::string damaged = "the PNG's vlMD chunk is damaged.";
    auto withMeta = [](const Bytes& meta) { return Indexed4x4({{"vlMD", meta}}); };
    imp("meta-short", withMeta({1, 1, 0}), DATA_TIM, damaged);
    imp("meta-layout-2", withMeta(Meta(1, 4, 4, {}, 2)), DATA_TIM,
        "the PNG's vlMD chunk has layout 2, which this version does not know.");
    imp("meta-kind-9", withMeta(Meta(9, 4, 4, {})), DATA_TIM, damaged);
    imp("meta-tim-fixed-part-cut", withMeta(Meta(1, 4, 4, Bytes(23, 0))), DATA_TIM, damaged);
    imp("meta-tim-count-too-large", withMeta(Meta(1, 4, 4, TimMeta(0x09, 0, 16, U32_MAX))), DATA_TIM, damaged);
    imp("meta-tim-count-too-small", withMeta(Meta(1, 4, 4, TimMeta(0x09, 0, 16, 15))), DATA_TIM, damaged);
    imp("meta-tim-row-past-clut", withMeta(Meta(1, 4, 4, TimMeta(0x09, 5, 16, 16))), DATA_TIM, damaged);
    imp("meta-tim-short-clut", withMeta(Meta(1, 4, 4, TimMeta(0x09, 0, 3, 3))), DATA_TIM, "");
    imp("meta-tim-4bit-without-clut-bit", withMeta(Meta(1, 4, 4, TimMeta(0x00, 0, 16, 16))), DATA_TIM, damaged);
    imp("meta-tim-8bit-without-colours", withMeta(Meta(1, 4, 4, TimMeta(0x09, 0, 0, 0))), DATA_TIM, damaged);
    // Byte 2 bit 0: the PNG's palette is not the file's (export --palette, or a texture
    // without a CLUT in greys); the chunk alone says whether there is a CLUT.
    auto borrowed = [](Bytes m) {
        m[2] = 1;
        return m;
    };
    imp("meta-borrowed-tim-without-clut", withMeta(borrowed(Meta(1, 4, 4, TimMeta(0x01, 0, 0, 0)))), DATA_TIM, "");
    imp("meta-borrowed-tim-clut-bit-without-colours", withMeta(borrowed(Meta(1, 4, 4, TimMeta(0x09, 0, 0, 0)))),
        DATA_TIM, damaged);
    imp("meta-borrowed-tim-colours-without-clut-bit", withMeta(borrowed(Meta(1, 4, 4, TimMeta(0x01, 0, 16, 16)))),
        DATA_TIM, damaged);
    imp("meta-borrowed-bmp", withMeta(borrowed(Meta(2, 4, 4, Bytes(36, 0)))), DATA_BMP,
        "the PNG shows the picture in colours from elsewhere (export --palette), not its own; export it again "
        "without --palette to edit it, or give the file new colours with 'vellumconv palette import'.");
    imp("meta-unknown-flag", withMeta([&] {
            Bytes m = Meta(1, 4, 4, TimMeta(0x09, 0, 256, 256));
            m[3] = 0x80;  // a flag of a later version: left alone
            return m;
        }()),
        DATA_TIM, "");
    imp("meta-tim-mode-7", withMeta(Meta(1, 4, 4, TimMeta(0x0F, 0, 16, 16))), DATA_TIM, "");
    imp("meta-tim-4bit",
        Indexed4x4({{"vlMD", Meta(1, 4, 4, TimMeta(0x08, 0, 16, 16))}}), DATA_TIM, "");
    imp("meta-tim-for-a-bmp", withMeta(Meta(1, 4, 4, TimMeta(0x09, 0, 16, 16))), DATA_BMP, "");
    imp("meta-bmp-wrong-size", withMeta(Meta(2, 4, 4, Bytes(35, 0))), DATA_BMP, damaged);
    imp("meta-bmp-padded", withMeta(Meta(2, 4, 4, [] {
            Bytes p(36, 0);
            PutLe32(&p[4], 40);   // info header size
            PutLe16(&p[8], 8);    // bit count
            PutLe16(&p[14], 1);   // padded rows
            PutLe32(&p[16], U32_MAX);  // biSizeImage as the source had it
            return p;
        }())),
        DATA_BMP, "");
    imp("meta-bfnt-header-cut", withMeta(Meta(3, 4, 4, Bytes(31, 0))), DATA_BFNT, damaged);
    imp("meta-bfnt-extension-mismatch", withMeta(Meta(3, 4, 4, BfntMeta(2, 2, 0, 3, 10, 9))), DATA_BFNT, damaged);
    imp("meta-bfnt-codes-outside", withMeta(Meta(3, 4, 4, BfntMeta(2, 2, 0, 1000, 0, 0))), DATA_BFNT,
        "the cell of code 1000 lies outside the picture: it holds 2 x 2 cells of 2 x 2.");
    imp("meta-bfnt-cell-zero", withMeta(Meta(3, 4, 4, BfntMeta(0, 2, 0, 1, 0, 0))), DATA_BFNT,
        "a cell is 1 to 65535 pixels a side, not 0 x 2.");
    imp("meta-bfnt-cell-larger-than-picture", withMeta(Meta(3, 4, 4, BfntMeta(5, 5, 0, 0, 0, 0))), DATA_BFNT,
        "the picture (4 x 4) holds no whole 5 x 5 cell.");
    // Found by fuzz_import_png: the sheet written kept a chunk's damaged magic.
    imp("meta-bfnt-magic-garbage", withMeta(Meta(3, 4, 4, [] {
            Bytes p = BfntMeta(2, 2, 0, 3, 0, 0);
            std::memcpy(&p[0], "XXXX", 4);
            return p;
        }())),
        DATA_BFNT, "");
    imp("meta-bfnt-extension", withMeta(Meta(3, 4, 4, BfntMeta(2, 2, 1, 3, 3, 3))), DATA_BFNT, "");
    imp("meta-twice", Indexed4x4({{"vlMD", Bytes{9}}, {"vlMD", Meta(2, 4, 4, Bytes(36, 0))}}), DATA_BMP, damaged);
    return cases;
}
}  // namespace excorpus
