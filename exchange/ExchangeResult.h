#pragma once
// What PNG export and import report: a code, and the numbers its message names. Every
// message is worded once, in the table behind ExchangeCodeText; ExchangeMessage fills in
// the numbers. The functions that report in words (ExportToPng, EncodePng, ...) give
// exactly that text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

enum ExchangeCode : int
{
    XCH_OK = 0,
    XCH_NO_MEMORY,
    XCH_UNKNOWN_FORMAT,
    XCH_UNKNOWN_TARGET,
    // Reading a TIM file.
    XCH_NOT_TIM,
    XCH_TIM_CUT,
    XCH_TIM_VERSION,
    XCH_TIM_MODE,
    XCH_TIM_MODE_MIXED,
    XCH_TIM_NO_CLUT,
    XCH_TIM_CLUT_LENGTH,
    XCH_TIM_CLUT_CUT,
    XCH_TIM_CLUT_EMPTY,
    XCH_TIM_IMAGE_CUT,
    XCH_TIM_EMPTY,
    // Reading a BMP file.
    XCH_NOT_BMP,
    XCH_BMP_CUT,
    XCH_BMP_HEADER,
    XCH_BMP_HEADER_OS2,
    XCH_BMP_BITFIELDS,
    XCH_BMP_JPEG,
    XCH_BMP_PNG,
    XCH_BMP_ALPHA_BITFIELDS,
    XCH_BMP_COMPRESSION,
    XCH_BMP_DEPTH,
    XCH_BMP_RLE8_DEPTH,
    XCH_BMP_RLE4_DEPTH,
    XCH_BMP_NEGATIVE_WIDTH,
    XCH_BMP_EMPTY,
    XCH_BMP_TOO_LARGE,
    XCH_BMP_TABLE_CUT,
    XCH_BMP_PIXELS_CUT,
    XCH_BMP_RLE_TOO_SHORT,
    XCH_BMP_RLE_TOO_LARGE,
    XCH_BMP_RLE8_CUT,
    XCH_BMP_RLE4_CUT,
    XCH_BMP_COLOURS,
    XCH_BMP_RLE8_PAST_ROW,
    XCH_BMP_RLE4_PAST_ROW,
    XCH_BMP_INDEX_PAST_TABLE,
    XCH_BMP_BITFIELDS_DEPTH,
    // Reading a BFNT file.
    XCH_NOT_BFNT,
    XCH_BFNT_CUT,
    XCH_BFNT_TYPE,
    XCH_BFNT_CODES,
    XCH_BFNT_CELLS,
    XCH_BFNT_EXTENSION_CUT,
    XCH_BFNT_PALETTE_CUT,
    XCH_BFNT_GLYPHS_CUT,
    // Export.
    XCH_TIM_TOO_WIDE,
    XCH_CLUT_ROW,
    XCH_CLUT_ROW_OF_ONE,
    XCH_CLUT_ROW_NO_CLUT,
    XCH_PALETTE_SHORT,
    XCH_NOTE_GREYS,
    XCH_GRID_COLUMNS,
    XCH_GRID_TOO_LARGE,
    XCH_CHUNK_TOO_LARGE,
    // Import.
    XCH_INDEX_PAST_PALETTE,
    XCH_PALETTE_TOO_LARGE,
    XCH_TOO_MANY_COLOURS,
    XCH_BMP_PICTURE_TOO_LARGE,
    XCH_SAVE_ERROR,
    XCH_TIM_DEPTH,
    XCH_TIM_WIDTH,
    XCH_TIM_PICTURE_TOO_LARGE,
    XCH_TIM_TOO_LARGE,
    XCH_CELL_SIZE,
    XCH_NO_WHOLE_CELL,
    XCH_CODES,
    XCH_CELL_OUTSIDE,
    XCH_BORROWED_PALETTE,
    // Import into the file a picture came from ({o}: that file, {p}: the PNG; {s}: the file described).
    XCH_LIKE_UNKNOWN,
    XCH_LIKE_SIZE,
    XCH_LIKE_GRID,
    XCH_LIKE_NOT_INDEXED,
    XCH_LIKE_COLOURS,
    XCH_LIKE_NO_CLUT,
    XCH_LIKE_CLUT_ROW,
    XCH_LIKE_CLUT_ROW_OF_ONE,
    XCH_LIKE_RLE,
    // The vlMD chunk.
    XCH_CHUNK_DAMAGED,
    XCH_CHUNK_LAYOUT,
    // PNG encoding and decoding.
    XCH_PNG_SIDE,
    XCH_PNG_PALETTE_DEPTH,
    XCH_PNG_ZLIB_LEVEL,
    XCH_PNG_CHUNK_TYPE,
    XCH_PNG_WRITE,
    XCH_NOT_PNG,
    XCH_PNG_CUT,
    XCH_PNG_TOO_LARGE,
    XCH_PNG_READ,
    XCH_CODE_COUNT
};

struct [[nodiscard]] ExchangeResult
{
    ExchangeCode code = XCH_OK;
    std::array<std::int64_t, 5> args{};  // the numbers the message names, {0} to {4}
    std::string strDetail;               // libpng's own words, or a file described, for the messages that quote them
    std::string strOriginal;             // the names of the files a comparison names: {o}
    std::string strPicture;              // and {p}

    bool Ok() const { return code == XCH_OK; }
};

template <class... T>
ExchangeResult Refuse(ExchangeCode code, T... args)
{
    static_assert(sizeof...(T) <= 5, "a message names at most five numbers");
    ExchangeResult result;
    result.code = code;
    [[maybe_unused]] std::size_t i = 0;
    ((result.args[i++] = static_cast<std::int64_t>(args)), ...);
    return result;
}

// The words of a code, with {0} to {4} for its numbers, {a0} to {a4} for the article
// ("a" or "an") that goes before one, {s} for the detail, and {o} and {p} for the names;
// null for a value that names no code.
const char* ExchangeCodeText(ExchangeCode code);

// The message of a result as the converter prints it; empty for XCH_OK.
std::string ExchangeMessage(const ExchangeResult& result);

// Sets strError to the message when the result is a refusal; true when it is not.
bool ReportExchange(const ExchangeResult& result, std::string& strError);
