#include "exchange/ExchangeResult.h"

#include <cstring>
#include <iterator>

namespace
{
struct CodeText
{
    ExchangeCode code;
    const char* pszText;
};

// Every message of export and import, in the order of the codes.
constexpr CodeText CODE_TEXTS[] = {
    {XCH_OK, ""},
    {XCH_NO_MEMORY, "not enough memory."},
    {XCH_UNKNOWN_FORMAT, "unknown data format."},
    {XCH_UNKNOWN_TARGET, "unknown target format."},

    {XCH_NOT_TIM, "not a TIM file."},
    {XCH_TIM_CUT, "the TIM's header is cut short."},
    {XCH_TIM_VERSION, "TIM version {0} is not supported."},
    {XCH_TIM_MODE, "TIM with pixel mode {0} is not supported."},
    {XCH_TIM_MODE_MIXED, "TIM with pixel mode {0} (mixed) is not supported."},
    {XCH_TIM_NO_CLUT, "a TIM with {0} bits per pixel needs a CLUT; this one has none."},
    {XCH_TIM_CLUT_LENGTH, "the TIM's CLUT block length {0} is below 12."},
    {XCH_TIM_CLUT_CUT, "the TIM's CLUT block is cut short."},
    {XCH_TIM_CLUT_EMPTY, "the TIM's CLUT holds no colours."},
    {XCH_TIM_IMAGE_CUT, "the TIM's image block is cut short."},
    {XCH_TIM_EMPTY, "the TIM holds no pixels ({0} x {1})."},

    {XCH_NOT_BMP, "not a BMP file."},
    {XCH_BMP_CUT, "the BMP file is cut short."},
    {XCH_BMP_HEADER, "BMP with a {0}-byte info header is not supported."},
    {XCH_BMP_HEADER_OS2, "BMP with a {0}-byte info header (OS/2) is not supported."},
    {XCH_BMP_BITFIELDS, "BMP with bit fields (compression {0}) is not supported."},
    {XCH_BMP_JPEG, "BMP with JPEG data inside (compression {0}) is not supported."},
    {XCH_BMP_PNG, "BMP with PNG data inside (compression {0}) is not supported."},
    {XCH_BMP_ALPHA_BITFIELDS, "BMP with alpha bit fields (compression {0}) is not supported."},
    {XCH_BMP_COMPRESSION, "BMP with compression {0} is not supported."},
    {XCH_BMP_DEPTH, "BMP with {0} bits per pixel is not supported."},
    {XCH_BMP_RLE8_DEPTH, "BMP with RLE8 compression and {0} bits per pixel is not valid."},
    {XCH_BMP_RLE4_DEPTH, "BMP with RLE4 compression and {0} bits per pixel is not valid."},
    {XCH_BMP_NEGATIVE_WIDTH, "the BMP's width is negative."},
    {XCH_BMP_EMPTY, "the BMP holds no pixels ({0} x {1})."},
    {XCH_BMP_TOO_LARGE, "the BMP is too large: {0} x {1} pixels."},
    {XCH_BMP_TABLE_CUT, "the BMP's colour table is cut short."},
    {XCH_BMP_PIXELS_CUT, "the BMP's pixel data is cut short."},
    {XCH_BMP_RLE_TOO_SHORT, "the BMP's RLE data is too short for {0} x {1} pixels."},
    {XCH_BMP_RLE_TOO_LARGE, "the RLE-compressed BMP of {0} x {1} pixels would decode to more than {2} times the file's {3} bytes; it is not read."},
    {XCH_BMP_RLE8_CUT, "the BMP's RLE8 data is cut short."},
    {XCH_BMP_RLE4_CUT, "the BMP's RLE4 data is cut short."},
    {XCH_BMP_COLOURS, "the BMP's colour count (biClrUsed {0}) is more than {1} bits per pixel can index."},
    {XCH_BMP_RLE8_PAST_ROW, "the BMP's RLE8 data runs past the end of a row."},
    {XCH_BMP_RLE4_PAST_ROW, "the BMP's RLE4 data runs past the end of a row."},
    {XCH_BMP_INDEX_PAST_TABLE, "the BMP's pixels use index {0}, past the last colour of its table ({1})."},
    {XCH_BMP_BITFIELDS_DEPTH, "BMP with bit fields and {0} bits per pixel is not valid."},

    {XCH_NOT_BFNT, "not a BFNT file."},
    {XCH_BFNT_CUT, "the BFNT's header is cut short."},
    {XCH_BFNT_TYPE, "BFNT with colour type {0} is not supported."},
    {XCH_BFNT_CODES, "the BFNT's last code ({0}) is below its first ({1})."},
    {XCH_BFNT_CELLS, "the BFNT's cells are {0} x {1} pixels."},
    {XCH_BFNT_EXTENSION_CUT, "the BFNT's extension block is cut short."},
    {XCH_BFNT_PALETTE_CUT, "the BFNT's palette block is cut short."},
    {XCH_BFNT_GLYPHS_CUT, "the BFNT's glyphs are cut short."},

    {XCH_TIM_TOO_WIDE, "the TIM is too wide for a PNG."},
    {XCH_CLUT_ROW, "CLUT row {0} does not exist: the file has {1} rows."},
    {XCH_CLUT_ROW_OF_ONE, "CLUT row {0} does not exist: the file has 1 row."},
    {XCH_CLUT_ROW_NO_CLUT, "CLUT row {0} does not exist: the file has no CLUT."},
    {XCH_PALETTE_SHORT, "the palette of --palette has {0} colours; {a1} {1}-bit picture needs {2}."},
    {XCH_NOTE_GREYS, "{a0} {0}-bit TIM without a CLUT keeps its colours in another file; it is written in {1} greys "
                     "('--palette SOURCE[:ROW]' takes the colours from there)."},
    {XCH_GRID_COLUMNS, "a grid has 1 to {0} columns."},
    {XCH_GRID_TOO_LARGE, "the grid of this sheet would be {0} x {1} pixels, too large to export."},
    {XCH_CHUNK_TOO_LARGE, "the file's colour tables are too large for the PNG's vlMD chunk."},

    {XCH_INDEX_PAST_PALETTE, "the PNG uses colour index {0} but its palette has {1} colours."},
    {XCH_PALETTE_TOO_LARGE, "the PNG's pixels use {0} colours of its palette; {a1} {1}-bit file holds at most {2}."},
    {XCH_TOO_MANY_COLOURS, "the PNG has {0} colours; {a1} {1}-bit file holds at most {2}."},
    {XCH_BMP_PICTURE_TOO_LARGE, "the picture ({0} x {1}) is too large for a BMP."},
    {XCH_SAVE_ERROR, "save error."},
    {XCH_TIM_DEPTH, "a TIM has 4, 8, 16 or 24 bits per pixel, not {0}."},
    {XCH_TIM_WIDTH, "{a0} {0}-bit TIM needs a width that is a multiple of {1}; the picture is {2} pixels wide."},
    {XCH_TIM_PICTURE_TOO_LARGE, "the picture ({0} x {1}) is too large for {a2} {2}-bit TIM."},
    {XCH_TIM_TOO_LARGE, "the picture is too large for a TIM."},
    {XCH_CELL_SIZE, "a cell is 1 to 65535 pixels a side, not {0} x {1}."},
    {XCH_NO_WHOLE_CELL, "the picture ({0} x {1}) holds no whole {2} x {3} cell."},
    {XCH_CODES, "codes run from 0 to 65535 with the first not above the last, not {0}-{1}."},
    {XCH_CELL_OUTSIDE, "the cell of code {0} lies outside the picture: it holds {1} x {2} cells of {3} x {4}."},
    {XCH_BORROWED_PALETTE, "the PNG shows the picture in colours from elsewhere (export --palette), not its own; "
                           "export it again without --palette to edit it, or give the file new colours with "
                           "'vellumconv palette import'."},

    {XCH_LIKE_UNKNOWN, "{o} is not a TIM, BMP or BFNT file, so nothing can be put back into it."},
    {XCH_LIKE_SIZE, "{o} is {s}; {p} is {0}x{1}."},
    {XCH_LIKE_GRID, "{o} is {s}; {p} is {0}x{1}, which is no grid of its cells ({2} across would be {3}x{4})."},
    {XCH_LIKE_NOT_INDEXED, "{o} is {s}; {p} is {0}x{1} in true colour, without a palette."},
    {XCH_LIKE_COLOURS, "{o} is {s}; {p} uses {0} colours."},
    {XCH_LIKE_NO_CLUT, "{o} is {s}: it has no CLUT rows for --clut {0}."},
    {XCH_LIKE_CLUT_ROW, "CLUT row {0} does not exist: {o} has {1} rows."},
    {XCH_LIKE_CLUT_ROW_OF_ONE, "CLUT row {0} does not exist: {o} has 1 row."},
    {XCH_LIKE_RLE, "{o} is {s}: only its colours can change, and {p} changes {0} of its pixels."},

    {XCH_CHUNK_DAMAGED, "the PNG's vlMD chunk is damaged."},
    {XCH_CHUNK_LAYOUT, "the PNG's vlMD chunk has layout {0}, which this version does not know."},

    {XCH_PNG_SIDE, "a PNG must be 1 to {0} pixels a side; this picture is {1} x {2}."},
    {XCH_PNG_PALETTE_DEPTH, "the palette does not fit the PNG's bit depth."},
    {XCH_PNG_ZLIB_LEVEL, "the zlib level must be 0 to 9."},
    {XCH_PNG_CHUNK_TYPE, "a chunk type has four letters."},
    {XCH_PNG_WRITE, "cannot write the PNG: {s}."},
    {XCH_NOT_PNG, "not a PNG file."},
    {XCH_PNG_CUT, "the PNG is cut short: its pixel data cannot fill {0} x {1} pixels."},
    {XCH_PNG_TOO_LARGE, "the PNG is too large: {0} x {1} pixels; at most {2} MiB of pixels can be read."},
    {XCH_PNG_READ, "the PNG cannot be read: {s}."},
};

static_assert(std::size(CODE_TEXTS) == XCH_CODE_COUNT, "one text for every code");

constexpr bool InCodeOrder()
{
    for (std::size_t i = 0; i < std::size(CODE_TEXTS); ++i)
        if (CODE_TEXTS[i].code != static_cast<ExchangeCode>(i))
            return false;
    return true;
}
static_assert(InCodeOrder(), "the texts follow the codes");

// "an" where the number is said starting with a vowel: 8, 11, 18, 80 to 89, 800 to 899, ...
const char* Article(std::int64_t n)
{
    const std::string strDigits = std::to_string(n);
    return strDigits[0] == '8' || n == 11 || n == 18 ? "an" : "a";
}
}  // namespace

const char* ExchangeCodeText(ExchangeCode code)
{
    return code >= 0 && code < XCH_CODE_COUNT ? CODE_TEXTS[code].pszText : nullptr;
}

std::string ExchangeMessage(const ExchangeResult& result)
{
    const char* p = ExchangeCodeText(result.code);
    if (p == nullptr)
        return "unknown error " + std::to_string(static_cast<int>(result.code)) + ".";
    std::string strMessage;
    while (*p != '\0')
    {
        // "{0}" to "{4}", "{a0}" to "{a4}", "{s}", "{o}" and "{p}"; anything else is taken as it stands.
        const char* pEnd = *p == '{' ? std::strchr(p, '}') : nullptr;
        const std::size_t nInside = pEnd != nullptr ? static_cast<std::size_t>(pEnd - p - 1) : 0;
        const char chLast = nInside != 0 ? pEnd[-1] : '\0';
        const bool bNumber = chLast >= '0' && chLast <= '4' && (nInside == 1 || (nInside == 2 && p[1] == 'a'));
        if (bNumber)
        {
            const std::int64_t n = result.args[static_cast<std::size_t>(chLast - '0')];
            strMessage += nInside == 1 ? std::to_string(n) : std::string(Article(n));
            p = pEnd + 1;
        }
        else if (nInside == 1 && (p[1] == 's' || p[1] == 'o' || p[1] == 'p'))
        {
            strMessage += p[1] == 's' ? result.strDetail : (p[1] == 'o' ? result.strOriginal : result.strPicture);
            p = pEnd + 1;
        }
        else
        {
            strMessage += *p++;
        }
    }
    return strMessage;
}

bool ReportExchange(const ExchangeResult& result, std::string& strError)
{
    if (result.Ok())
        return true;
    strError = ExchangeMessage(result);
    return false;
}
