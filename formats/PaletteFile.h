#pragma once
// The palette files other programs read and write, and the palettes that image files hold.
//   GIMP palette (.gpl): text, "GIMP Palette", optional "Name:" and "Columns:" lines, "#"
//     comments, then one colour a line: red, green and blue from 0 to 255, and a name.
//   Adobe colour table (.act): 256 red, green, blue triples (768 bytes), optionally followed
//     by the number of colours in use and the transparent index, big-endian 16-bit each
//     (0xFFFF: none).
//   JASC palette (.pal): text, "JASC-PAL", "0100", the number of colours, then one colour a
//     line: red, green and blue.
// Image palettes: a TIM's CLUT row (15-bit colours), a BMP's colour table (blue, green, red,
// reserved), a BFNT palette block (blue, red, green). Pure: bytes in, bytes out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PaletteRgb
{
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

struct PaletteColours
{
    std::vector<PaletteRgb> colours;
    std::string strName;      // a GIMP palette's name
    int nTransparent = -1;    // an Adobe colour table's transparent index, or -1
};

enum class EPaletteFile
{
    Gpl,
    Act,
    Pal,
};

// Palettes longer than this are refused as they are read; no image holds more than 256.
constexpr std::size_t PALETTE_MAX_COLOURS = 65536;
constexpr std::size_t ACT_SIZE = 768;
constexpr std::size_t ACT_SIZE_WITH_COUNT = 772;

// The file kind a name's extension (.gpl, .act, .pal, any case) gives; false for any other.
bool PaletteFileFromPath(const std::string& strPath, EPaletteFile& kind);

// The kind of a text palette, recognised by its first line ("GIMP Palette", "JASC-PAL");
// false for anything else (an Adobe table has no signature).
bool PaletteFileFromContent(const std::uint8_t* p, std::size_t n, EPaletteFile& kind);

// The file's bytes. A GIMP palette names itself strName (control characters become
// spaces); an Adobe table holds at most 256 colours and gets its footer only when it has
// fewer; colours past 256 are not written to it.
std::vector<std::uint8_t> WritePaletteFile(EPaletteFile kind, const PaletteColours& pal);

// Reads the file; false, with the reason in strError, when it is not one of its kind or a
// value is out of range. out is changed only on success.
bool ReadPaletteFile(EPaletteFile kind, const std::uint8_t* p, std::size_t n, PaletteColours& out,
                     std::string& strError);

// ---- Palettes inside image files -----------------------------------------------------

enum class EImagePaletteResult
{
    Ok,
    NotAnImage,      // none of TIM, BMP, BFNT
    Damaged,         // the reader of its kind refuses it (nValue: the FormatResult)
    NoPalette,       // a 16- or 24-bit picture, a sheet without a palette block
    NoSuchRow,       // TIM: the CLUT row does not exist (nValue: the rows there are)
};

enum class EImagePaletteCoding
{
    Tim15,       // 16-bit little-endian, red in the low five bits, semi-transparency on top
    BmpQuad,     // blue, green, red, reserved
    BfntTriple,  // blue, red, green
};

struct ImagePalette
{
    int nDataType = 0;           // DATA_TIM, DATA_BMP, DATA_BFNT
    EImagePaletteCoding coding = EImagePaletteCoding::Tim15;
    std::size_t nAt = 0;         // the first entry's position in the file
    std::uint32_t nCount = 0;    // entries
    std::uint32_t nDepth = 0;    // bits per pixel of the picture
    std::uint32_t nValue = 0;    // see EImagePaletteResult
};

// Where the palette of the whole file at p lies (a TIM's CLUT row nClut: 16 or 256 colours,
// fewer in a last partial row); every kind is checked by its reader of every depth first.
// nFileSize: the whole file's size when p holds only the bytes its item's readers look at
// (ItemReach.h); 0: n.
EImagePaletteResult FindImagePalette(const std::uint8_t* p, std::size_t n, std::uint32_t nClut, ImagePalette& out,
                                     std::uint64_t nFileSize = 0);

// The palette's colours, widened from 15 bits as the PNG export widens them.
std::vector<PaletteRgb> ReadImagePalette(const std::uint8_t* p, const ImagePalette& pal);
// The index of the first TIM entry of value 0x0000 (the transparent colour), or -1.
int ImagePaletteTransparent(const std::uint8_t* p, const ImagePalette& pal);

// Writes colours over the palette's first colours.size() entries (at most nCount) and
// nothing else. TIM entries narrow to the nearest 15-bit colour and keep the
// semi-transparency bit they had; one that narrows to 0x0000 while it was not 0x0000 becomes
// 0x8000, so an opaque black stays opaque. BMP entries keep their reserved byte.
void ReplaceImagePalette(std::uint8_t* p, const ImagePalette& pal, const std::vector<PaletteRgb>& colours);
