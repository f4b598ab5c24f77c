#pragma once
// One description per kind of data the program holds: how its files are recognised by
// their first bytes, read and written, what the status bar says about it, how it becomes
// each other kind, and how the view lays it out. The document, the view, the tests and
// the fuzz harnesses go through this table rather than keeping their own switch over
// the kinds. Pure: it sees only the records and a byte stream.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/ByteStream.h"
#include "formats/RgbPalette.h"
#include "formats/Tim.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum : int
{
    DATA_NONE = 0,
    DATA_BFNT = 1,
    DATA_BMP = 2,
    DATA_TIM = 3,
    DATA_KIND_COUNT = 4,  // DATA_NONE and the three kinds
};

// Bytes the loader reads to recognise a format.
constexpr std::size_t DATA_SIGNATURE_SIZE = 6;
// Images saved as sheets are cut into cells of this many pixels square.
constexpr int DATA_SHEET_CELL_SIZE = 16;

// The three records, which the view owns; every entry works on one or two of them.
struct DataRecords
{
    CBmpData& bmp;
    CTimData& tim;
    CBfntData& bfnt;
};

// What the user is told about a load, one class per message.
enum : int
{
    LOAD_OK = 0,
    LOAD_UNKNOWN_FORMAT,  // no kind recognises the first bytes
    LOAD_ERROR,           // the reader refused the file
    LOAD_NOT_256,         // an image, but not of 8 bits per pixel
    LOAD_NOT_256_OR_16,   // a sheet of neither 256 nor 16 colours
};

struct LoadOutcome
{
    int nDataType;  // the kind the first bytes named; DATA_NONE when none did
    FormatResult nResult;  // the result of the last reader that ran
    int nFailure;   // LOAD_...
};

// The pixels of an image as rows from the top, and the bytes its buffer really holds.
struct ImageRows
{
    const std::uint8_t* pPixels;
    std::size_t nSize;
    std::int64_t nWidth;   // pixels, which are also the bytes of a row
    std::int64_t nHeight;  // rows; none when 0 or less
};

// How the view lays a kind out: a sheet's glyph cells on a strip, or an image's rows.
struct DataLayout
{
    CBfntData* pSheet;  // the sheet to lay out in cells, or null for an image
    ImageRows rows;     // the image, when pSheet is null
};

struct DataKind
{
    int nDataType;
    const char* pszName;           // "BMP", for messages
    const char* pszSaveExtension;  // lower case; null for the kind every other save path gets
    // True when the first nSize bytes of a file name this kind.
    bool (*pfnMatches)(const std::uint8_t* pSig, std::size_t nSize);
    // Points the record at the palette and reads it from the stream's current position.
    LoadOutcome (*pfnRead)(const DataRecords& rec, IByteStream& file, RgbPalette& palette);
    // Points the record at the palette and writes it.
    FormatResult (*pfnWrite)(const DataRecords& rec, IByteStream& file, RgbPalette& palette);
    // "size:WxH", and for sheets the range of codes.
    std::string (*pfnStatusText)(const DataRecords& rec);
    // Fills the record of the kind given by the index from this kind's record; null for
    // DATA_NONE and for this kind itself.
    FormatResult (*pfnConvertTo[DATA_KIND_COUNT])(const DataRecords& rec);
    DataLayout (*pfnLayout)(const DataRecords& rec);
};

// The entry of a kind; null for DATA_NONE and any value that names no kind.
const DataKind* FindDataKind(int nDataType);

// The kind named by the first bytes of a file, tested BFNT, BMP, TIM in that order;
// DATA_NONE when none matches. Only the nSize bytes given are looked at, so a short
// file is classed by what it has: "BFNT" needs four bytes, "BM" two, 0x10 one.
int DetectDataType(const std::uint8_t* pSig, std::size_t nSize);

// The load as the driver runs it: the signature is read from the start of the stream,
// the stream is put back to its start, and the reader(s) of the kind it names run into
// the records with the palette.
LoadOutcome LoadData(IByteStream& file, const DataRecords& rec, RgbPalette& palette);

// Converts the record of kind nFrom into the record of kind nTo. FMT_OK without doing
// anything when the kinds are the same or no conversion leads from nFrom.
[[nodiscard]] FormatResult ConvertData(const DataRecords& rec, int nFrom, int nTo);

// Points the record of the kind at the palette and writes it; FMT_BAD_RECORD when the
// value names no kind.
[[nodiscard]] FormatResult WriteData(const DataRecords& rec, int nDataType, IByteStream& file, RgbPalette& palette);

// The kind a save path chooses by its last four characters (all of it when shorter), with
// A to Z taken as a to z: ".bmp" BMP, ".tim" TIM, anything else BFNT.
int SaveTypeFromPath(std::string_view strPath);

// "BFNT", "BMP" or "TIM"; "no data" for anything else.
const char* DataTypeName(int nDataType);
