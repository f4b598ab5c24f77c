// BMP files and PNG: 1, 4 and 8 bits out as the file holds them, 16, 24 and 32 as RGB or
// RGBA; any PNG back as an 8-bit bitmap, written by the program's own writer.

#include "exchange/detail/ExchangeKinds.h"
#include "formats/Bmp.h"
#include "formats/BmpImage.h"
#include "formats/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace
{
ExchangeCode CompressionRefusal(std::uint32_t nCompression)
{
    switch (nCompression)
    {
    case 3: return XCH_BMP_BITFIELDS;
    case 4: return XCH_BMP_JPEG;
    case 5: return XCH_BMP_PNG;
    case 6: return XCH_BMP_ALPHA_BITFIELDS;
    default: return XCH_BMP_COMPRESSION;
    }
}

}  // namespace

ExchangeResult ReadBmpForExchange(const std::uint8_t* p, std::size_t n, std::uint64_t nFileSize, BmpImage& bmp)
{
    nFileSize = std::max<std::uint64_t>(nFileSize, n);
    const FormatResult nResult =
        ParseBmpImage(p, n, {PNG_MAX_SIDE, PNG_MAX_DECODED_BYTES, BMP_RLE_MAX_PIXELS_PER_BYTE, nFileSize}, bmp);
    if (nResult != FMT_OK)
        return BmpRefusal(nResult, bmp, nFileSize);
    // A colour the file does not give is not one to make up.
    if (bmp.nColors > bmp.nTable && bmp.info.biBitCount <= 8)
        return Refuse(XCH_BMP_INDEX_PAST_TABLE, bmp.nColors - 1, bmp.nTable - 1);
    return {};
}

ExchangeResult BmpRefusal(FormatResult nResult, const BmpImage& bmp, std::uint64_t nFileSize)
{
    const BmpInfoHeader& info = bmp.info;
    switch (nResult)
    {
    case FMT_BMP_TYPE: return Refuse(XCH_NOT_BMP);
    case FMT_BMP_TRUNCATED: return Refuse(XCH_BMP_CUT);
    case FMT_BMP_HEADER_SIZE: return Refuse(info.biSize == 12 ? XCH_BMP_HEADER_OS2 : XCH_BMP_HEADER, info.biSize);
    case FMT_BMP_COMPRESSION: return Refuse(CompressionRefusal(info.biCompression), info.biCompression);
    case FMT_BMP_DEPTH: return Refuse(XCH_BMP_DEPTH, info.biBitCount);
    case FMT_BMP_RLE_DEPTH:
        return Refuse(info.biCompression == BMP_RLE8 ? XCH_BMP_RLE8_DEPTH : XCH_BMP_RLE4_DEPTH, info.biBitCount);
    case FMT_BMP_NEGATIVE_WIDTH: return Refuse(XCH_BMP_NEGATIVE_WIDTH);
    case FMT_BMP_EMPTY: return Refuse(XCH_BMP_EMPTY, bmp.nWidth, bmp.nHeight);
    case FMT_BMP_TOO_LARGE: return Refuse(XCH_BMP_TOO_LARGE, bmp.nWidth, bmp.nHeight);
    case FMT_BMP_TABLE_CUT: return Refuse(XCH_BMP_TABLE_CUT);
    case FMT_BMP_PIXELS_CUT: return Refuse(XCH_BMP_PIXELS_CUT);
    case FMT_BMP_RLE_TOO_SHORT: return Refuse(XCH_BMP_RLE_TOO_SHORT, bmp.nWidth, bmp.nHeight);
    case FMT_BMP_RLE_TOO_LARGE:
        return Refuse(XCH_BMP_RLE_TOO_LARGE, bmp.nWidth, bmp.nHeight, BMP_RLE_MAX_PIXELS_PER_BYTE, nFileSize);
    case FMT_BMP_RLE_CUT: return Refuse(info.biCompression == BMP_RLE4 ? XCH_BMP_RLE4_CUT : XCH_BMP_RLE8_CUT);
    case FMT_BMP_RLE_PAST_ROW:
        return Refuse(info.biCompression == BMP_RLE4 ? XCH_BMP_RLE4_PAST_ROW : XCH_BMP_RLE8_PAST_ROW);
    case FMT_BMP_COLOURS: return Refuse(XCH_BMP_COLOURS, info.biClrUsed, info.biBitCount);
    case FMT_BMP_BITFIELDS_DEPTH: return Refuse(XCH_BMP_BITFIELDS_DEPTH, info.biBitCount);
    default: return Refuse(XCH_NO_MEMORY);  // FMT_NO_MEMORY, the one other result the reader gives
    }
}

namespace
{

class CColourRows final : public CConvertedRows
{
public:
    explicit CColourRows(const BmpImage& bmp)
        : CConvertedRows(std::size_t{bmp.bAlpha ? 4u : 3u} * bmp.nWidth), m_bmp(bmp)
    {
    }
    const std::uint8_t* Row(std::uint32_t y) override
    {
        BmpColourRow(m_bmp, y, m_scratch.data());
        return m_scratch.data();
    }

private:
    const BmpImage& m_bmp;
};
}  // namespace

ExchangeResult ExportBmp(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                         std::vector<std::uint8_t>& png)
{
    BmpImage bmp;
    if (ExchangeResult result = ReadBmpForExchange(pIn, nIn, opt.nFileSize, bmp); !result.Ok())
        return result;
    MetaChunk meta;
    meta.nDataType = DATA_BMP;
    meta.nWidth = bmp.nWidth;
    meta.nHeight = bmp.nHeight;
    BmpMeta& m = meta.bmp;
    m.nCompression = bmp.info.biCompression;
    m.nInfoSize = bmp.info.biSize;
    m.nBitCount = bmp.info.biBitCount;
    m.nReserved1 = bmp.file.bfReserved1;
    m.nReserved2 = bmp.file.bfReserved2;
    m.bPadded = bmp.bPadded;
    m.nSizeImage = bmp.info.biSizeImage;
    m.nXPelsPerMeter = bmp.info.biXPelsPerMeter;
    m.nYPelsPerMeter = bmp.info.biYPelsPerMeter;
    m.nClrUsed = bmp.info.biClrUsed;
    m.nClrImportant = bmp.info.biClrImportant;

    PngEncodeImage image;
    image.nWidth = bmp.nWidth;
    image.nHeight = bmp.nHeight;
    if (bmp.info.biBitCount > 8)
    {
        image.pixels = bmp.bAlpha ? PNG_PIXELS_RGBA : PNG_PIXELS_RGB;
        CColourRows rows(bmp);
        return EncodeWithChunk(image, rows, opt, meta, png);
    }
    std::vector<PngColor> palette;
    if (opt.pPalette != nullptr)
    {
        if (ExchangeResult result = BorrowedColours(opt, bmp.info.biBitCount, palette); !result.Ok())
            return result;
        meta.bBorrowedPalette = true;
    }
    else
    {
        palette = OpaqueColours(bmp.palette, 0, bmp.nColors);
    }
    image.pixels = PNG_PIXELS_INDEXED;
    image.nBitDepth = bmp.info.biBitCount;
    image.pPalette = palette.data();
    image.nPalette = static_cast<std::uint32_t>(palette.size());
    if (!bmp.decoded.empty())
    {
        image.bUnpacked = true;
        CBufferRowSource rows(bmp.decoded.data(), static_cast<std::ptrdiff_t>(bmp.nWidth));
        return EncodeWithChunk(image, rows, opt, meta, png);
    }
    CBufferRowSource rows(bmp.pTopRow, bmp.nStride);
    return EncodeWithChunk(image, rows, opt, meta, png);
}

ExchangeResult ImportBmp(const PngPicture& pic, const MetaChunk& meta, const ImportOptions&, IByteStream& out)
{
    Indexed ix;
    if (ExchangeResult result = ToIndexed(pic, 8, EAlpha::Dropped, ix); !result.Ok())
        return result;
    const std::uint64_t w = pic.nWidth, h = pic.nHeight;
    // Rows padded to 4 bytes, as every reader expects, unless the source had them unpadded.
    std::uint64_t nStride = BmpPaddedRow(w, 8);
    CBmpData bmp;
    BmpFileHeader& fh = bmp.m_fileHeader;
    BmpInfoHeader& ih = bmp.m_infoHeader;
    if (meta.nDataType == DATA_BMP)
    {
        const BmpMeta& m = meta.bmp;
        ih.biXPelsPerMeter = m.nXPelsPerMeter;
        ih.biYPelsPerMeter = m.nYPelsPerMeter;
        // The rest describes the source's layout, which only an 8-bit source in the writer's layout shares.
        if (m.nBitCount == 8 && m.nCompression == BMP_RGB && m.nInfoSize == BMP_INFO_HEADER_SIZE)
        {
            fh.bfReserved1 = m.nReserved1;
            fh.bfReserved2 = m.nReserved2;
            // A count that no longer covers the picture's colours (the palette grew in an
            // editor, or the chunk lies) would leave indices past the table: the table is whole then.
            if (m.nClrUsed == 0 || (m.nClrUsed >= ix.palette.size() && m.nClrUsed <= 256))
            {
                ih.biClrUsed = m.nClrUsed;
                ih.biClrImportant = m.nClrImportant;
            }
            if (!m.bPadded)
                nStride = w;
        }
    }
    const std::uint64_t nImage = nStride * h;
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF || nImage > 0xFFFFFFFFu - BMP_PIXEL_OFFSET)
        return Refuse(XCH_BMP_PICTURE_TOO_LARGE, w, h);
    SetBmp8BitHeaders(fh, ih, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h),
                      static_cast<std::uint32_t>(nImage));
    if (meta.nDataType == DATA_BMP && meta.nWidth == w && meta.nHeight == h && meta.bmp.nBitCount == 8 &&
        meta.bmp.nCompression == BMP_RGB && meta.bmp.nInfoSize == BMP_INFO_HEADER_SIZE)
        ih.biSizeImage = meta.bmp.nSizeImage;

    RgbPalette palette = ToRgbPalette(ix.palette);
    // Written from the indices where they are: a copy would double a large picture's memory.
    bmp.m_pPalette = &palette;
    if (bmp.WriteBmp(out, ix.pIndices, w * h) != FMT_OK)
        return Refuse(XCH_SAVE_ERROR);
    return {};
}

void StoreBmpMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v)
{
    const BmpMeta& b = meta.bmp;
    AppendLe32(v, b.nCompression);
    AppendLe32(v, b.nInfoSize);
    AppendLe16(v, b.nBitCount);
    AppendLe16(v, b.nReserved1);
    AppendLe16(v, b.nReserved2);
    AppendLe16(v, b.bPadded ? 1 : 0);
    AppendLe32(v, b.nSizeImage);
    AppendLe32(v, static_cast<std::uint32_t>(b.nXPelsPerMeter));
    AppendLe32(v, static_cast<std::uint32_t>(b.nYPelsPerMeter));
    AppendLe32(v, b.nClrUsed);
    AppendLe32(v, b.nClrImportant);
}

bool ParseBmpMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta)
{
    if (n != META_BMP_SIZE)
        return false;
    BmpMeta& b = meta.bmp;
    b.nCompression = GetLe32(p);
    b.nInfoSize = GetLe32(p + 4);
    b.nBitCount = GetLe16(p + 8);
    b.nReserved1 = GetLe16(p + 10);
    b.nReserved2 = GetLe16(p + 12);
    b.bPadded = GetLe16(p + 14) != 0;
    b.nSizeImage = GetLe32(p + 16);
    b.nXPelsPerMeter = GetLeS32(p + 20);
    b.nYPelsPerMeter = GetLeS32(p + 24);
    b.nClrUsed = GetLe32(p + 28);
    b.nClrImportant = GetLe32(p + 32);
    return true;
}
