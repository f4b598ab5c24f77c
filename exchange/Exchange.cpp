// ExportToPng and ImportFromPng: each finds its kind in the one table of kinds and hands
// the work to that kind's entry. Export recognises its input by content; import writes the
// kind the caller chose.

#include "exchange/Exchange.h"

#include "exchange/detail/ExchangeKinds.h"
#include "formats/MemStream.h"
#include "formats/PixelBuffer.h"
#include "formats/TimFormat.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{
// The chunk's kind bytes were fixed when the first files were exported; they are not the
// program's DATA_* values and never change with them.
constexpr ExchangeKind EXCHANGE_KINDS[] = {
    {DATA_TIM, 1, ExportTim, ImportTim, StoreTimMeta, ParseTimMeta, LikeTim},
    {DATA_BMP, 2, ExportBmp, ImportBmp, StoreBmpMeta, ParseBmpMeta, LikeBmp},
    {DATA_BFNT, 3, ExportBfnt, ImportBfnt, StoreBfntMeta, ParseBfntMeta, LikeBfnt},
};

ExchangeResult Export(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                      std::vector<std::uint8_t>& png)
{
    const ExchangeKind* pKind = FindExchangeKind(DetectDataType(pIn, nIn));
    if (pKind == nullptr)
        return Refuse(XCH_UNKNOWN_FORMAT);
    return pKind->pfnExport(pIn, nIn, opt, png);
}

const char* KindName(int nDataType)
{
    return nDataType == DATA_TIM ? "a TIM" : (nDataType == DATA_BMP ? "a BMP" : "a BFNT sheet");
}

// What a file of the target's kind takes when the PNG's chunk does not say: only what the
// options did not give.
std::string DefaultsNote(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt)
{
    std::string strNote = meta.nDataType == DATA_NONE
                              ? "no vellum metadata; "
                              : std::string("its vellum metadata describes ") + KindName(meta.nDataType) + "; ";
    if (opt.kind == DATA_TIM)
    {
        const bool bIndexed = opt.nBpp != 0 ? opt.nBpp <= 8 : pic.bIndexed;
        strNote += bIndexed ? "CLUT and image at 0,0, one CLUT row" : "image at 0,0, no CLUT";
    }
    else if (opt.kind == DATA_BMP)
    {
        strNote += "a 40-byte header, bottom-up rows padded to 4 bytes, no resolution";
    }
    else
    {
        if (opt.nCellWidth == 0)
            strNote += "16x16 cells, ";
        if (!opt.bCodes)
            strNote += "a code for every whole cell from 0, ";
        strNote += "vellum's own header bytes and no extension block";
    }
    return strNote + " (use --like ORIGINAL to keep the original's layout)";
}

ExchangeResult ImportPicture(const PngPicture& pic, const ImportOptions& opt, IByteStream& out, std::string* pNote)
{
    MetaChunk meta;
    if (pic.bPrivate)
        if (ExchangeResult result = ParseMetaChunk(pic.privateData, meta); !result.Ok())
            return result;
    const ExchangeKind* pKind = FindExchangeKind(opt.kind);
    if (pKind == nullptr)
        return Refuse(XCH_UNKNOWN_TARGET);
    // A BMP or sheet would take the PNG's palette for its own; a TIM's chunk holds its CLUT.
    if (meta.bBorrowedPalette && meta.nDataType == opt.kind && opt.kind != DATA_TIM)
        return Refuse(XCH_BORROWED_PALETTE);
    ExchangeResult result = pKind->pfnImport(pic, meta, opt, out);
    if (result.Ok() && pNote != nullptr)
        *pNote = meta.nDataType == opt.kind ? std::string() : DefaultsNote(pic, meta, opt);
    return result;
}

ExchangeResult Import(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt, IByteStream& out,
                      std::string* pNote)
{
    PngPicture pic;
    if (ExchangeResult result = DecodePng(pPng, nPng, META_CHUNK_TYPE, pic); !result.Ok())
        return result;
    return ImportPicture(pic, opt, out, pNote);
}

// Index i of a row of nDepth-bit indices, as libpng unpacks them: the first in the high bits.
std::uint8_t PackedIndex(const std::uint8_t* pRow, std::uint32_t i, int nDepth)
{
    const std::uint32_t nPerByte = 8u / static_cast<std::uint32_t>(nDepth);
    const std::uint32_t nShift = 8u - static_cast<std::uint32_t>(nDepth) * (1 + i % nPerByte);
    return static_cast<std::uint8_t>((pRow[i / nPerByte] >> nShift) & ((1u << nDepth) - 1));
}

// The picture as DecodePng would read it from EncodePng's PNG of image and rows with the
// chunk; false, with pic untouched, for what the PNG's own writer and reader would judge
// (sides, palettes, indices past the palette, the decode's limit).
bool HandOverPicture(const PngEncodeImage& image, IPngRowSource& rows, const std::vector<std::uint8_t>& chunk,
                     PngPicture& pic)
{
    const bool bIndexed = image.pixels == PNG_PIXELS_INDEXED;
    const int nDepth = bIndexed ? image.nBitDepth : 8;
    if (image.nWidth == 0 || image.nHeight == 0 || image.nWidth > PNG_MAX_SIDE || image.nHeight > PNG_MAX_SIDE ||
        (bIndexed && ((nDepth != 1 && nDepth != 2 && nDepth != 4 && nDepth != 8) || image.pPalette == nullptr ||
                      image.nPalette == 0 || image.nPalette > (1u << nDepth))))
        return false;
    const std::uint64_t nPixelBytes = bIndexed ? 1 : 4;
    const std::uint64_t nBytes = std::uint64_t{image.nWidth} * image.nHeight * nPixelBytes;
    if (nBytes > PNG_MAX_DECODED_BYTES)
        return false;
    PngPicture out;
    out.pixels.reserve(static_cast<std::size_t>(nBytes));
    AdviseHugePages(out.pixels.data(), out.pixels.capacity());
    const std::size_t nRowBytes = static_cast<std::size_t>(image.nWidth * nPixelBytes);
    const std::uint8_t nMask = static_cast<std::uint8_t>((1u << nDepth) - 1);
    // Grown a row at a time, so each row is written once and not cleared first.
    for (std::uint32_t y = 0; y < image.nHeight; ++y)
    {
        const std::uint8_t* pRow = rows.Row(y);
        if (bIndexed && nDepth == 8)
            out.pixels.insert(out.pixels.end(), pRow, pRow + nRowBytes);
        else
            out.pixels.resize(out.pixels.size() + nRowBytes);
        std::uint8_t* pOut = out.pixels.data() + y * nRowBytes;
        if (bIndexed)
        {
            if (nDepth != 8)
                for (std::uint32_t x = 0; x < image.nWidth; ++x)
                    pOut[x] = image.bUnpacked ? static_cast<std::uint8_t>(pRow[x] & nMask) : PackedIndex(pRow, x, nDepth);
            // A full palette takes any index.
            if (image.nPalette < 256 && *std::max_element(pOut, pOut + nRowBytes) >= image.nPalette)
                return false;
        }
        else if (image.pixels == PNG_PIXELS_RGBA)
            std::memcpy(pOut, pRow, nRowBytes);
        else
            for (std::uint32_t x = 0; x < image.nWidth; ++x, pOut += 4, pRow += 3)
            {
                std::memcpy(pOut, pRow, 3);
                pOut[3] = 0xFF;
            }
    }
    out.nWidth = image.nWidth;
    out.nHeight = image.nHeight;
    out.bIndexed = bIndexed;
    out.nColorType = bIndexed ? 3 : (image.pixels == PNG_PIXELS_RGB ? 2 : 6);
    out.nBitDepth = nDepth;
    if (bIndexed)
        out.palette.assign(image.pPalette, image.pPalette + image.nPalette);
    out.bPrivate = true;
    out.privateData = chunk;
    pic = std::move(out);
    return true;
}
}  // namespace

const ExchangeKind* FindExchangeKind(int nDataType)
{
    for (const ExchangeKind& kind : EXCHANGE_KINDS)
        if (kind.nDataType == nDataType)
            return &kind;
    return nullptr;
}

const ExchangeKind* FindChunkKind(std::uint8_t nChunkKind)
{
    for (const ExchangeKind& kind : EXCHANGE_KINDS)
        if (kind.nChunkKind == nChunkKind)
            return &kind;
    return nullptr;
}

ExchangeResult EncodeWithChunk(const PngEncodeImage& image, IPngRowSource& rows, const ExportOptions& opt,
                               const MetaChunk& meta, std::vector<std::uint8_t>& png)
{
    const std::vector<std::uint8_t> chunk = BuildMetaChunk(meta);
    if (chunk.size() > PNG_MAX_CHUNK_BYTES)
        return Refuse(XCH_CHUNK_TOO_LARGE);
    if (opt.pPicture != nullptr && HandOverPicture(image, rows, chunk, *opt.pPicture))
        return {};
    PngEncodeOptions enc;
    enc.nZlibLevel = opt.nZlibLevel;
    enc.nFilters = opt.nFilters;
    enc.pszPrivateType = META_CHUNK_TYPE;
    enc.pPrivateData = &chunk;
    // What the handover cannot judge goes the whole way, to fail or pass as it would.
    if (opt.pPicture != nullptr)
    {
        enc.nZlibLevel = 0;
        enc.nFilters = PNG_FILTERS_NONE;
        if (ExchangeResult result = EncodePng(image, rows, enc, png); !result.Ok())
            return result;
        return DecodePng(png.data(), png.size(), META_CHUNK_TYPE, *opt.pPicture);
    }
    return EncodePng(image, rows, enc, png);
}

std::vector<PngColor> OpaqueColours(const RgbPalette& palette, std::size_t nFirst, std::size_t nCount)
{
    std::vector<PngColor> colours(nCount);
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const std::uint8_t* pRgb = palette.rgb + 3 * (nFirst + i);
        colours[i] = PngColor{pRgb[0], pRgb[1], pRgb[2], 0xFF};
    }
    return colours;
}

ExchangeResult BorrowedColours(const ExportOptions& opt, int nBits, std::vector<PngColor>& out)
{
    const std::size_t nNeed = std::size_t{1} << nBits;
    if (opt.pPalette->size() < nNeed)
        return Refuse(XCH_PALETTE_SHORT, opt.pPalette->size(), nBits, nNeed);
    out.assign(opt.pPalette->begin(), opt.pPalette->begin() + static_cast<std::ptrdiff_t>(nNeed));
    return {};
}

bool ExportToPng(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, std::vector<std::uint8_t>& png,
                 std::string& strError, std::string* pNote)
{
    try
    {
        if (pNote != nullptr)
            pNote->clear();
        if (!ReportExchange(Export(pIn, nIn, opt, png), strError))
            return false;
        // The greys of a texture without a CLUT are no colours of the file's.
        if (pNote != nullptr && opt.pPalette == nullptr && DetectDataType(pIn, nIn) == DATA_TIM &&
            (pIn[4] & TIM_FLAG_MODE_MASK) <= TIM_MODE_8BIT && (pIn[4] & TIM_FLAG_CLUT) == 0)
        {
            const int nBits = (pIn[4] & TIM_FLAG_MODE_MASK) == TIM_MODE_4BIT ? 4 : 8;
            *pNote = ExchangeMessage(Refuse(XCH_NOTE_GREYS, nBits, 1 << nBits));
        }
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return ReportExchange(Refuse(XCH_NO_MEMORY), strError);
    }
}

bool ExportToPicture(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt, PngPicture& pic,
                     std::string& strError, std::string* pNote)
{
    ExportOptions handed = opt;
    handed.pPicture = &pic;
    std::vector<std::uint8_t> png;
    return ExportToPng(pIn, nIn, handed, png, strError, pNote);
}

bool ImportFromPicture(const PngPicture& pic, const ImportOptions& opt, IByteStream& out, std::string& strError)
{
    try
    {
        return ReportExchange(ImportPicture(pic, opt, out, nullptr), strError);
    }
    catch (const std::bad_alloc&)
    {
        return ReportExchange(Refuse(XCH_NO_MEMORY), strError);
    }
}

bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt, IByteStream& out,
                   std::string& strError, std::string* pNote)
{
    try
    {
        return ReportExchange(Import(pPng, nPng, opt, out, pNote), strError);
    }
    catch (const std::bad_alloc&)
    {
        return ReportExchange(Refuse(XCH_NO_MEMORY), strError);
    }
}

bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt,
                   std::vector<std::uint8_t>& out, std::string& strError)
{
    try
    {
        CMemStream stream;
        if (!ImportFromPng(pPng, nPng, opt, stream, strError))
            return false;
        out = stream.TakeData();
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return ReportExchange(Refuse(XCH_NO_MEMORY), strError);
    }
}
