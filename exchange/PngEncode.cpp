// PNG encoding: the picture's rows, as a row source hands them over, into a PNG in memory.

#include "exchange/Png.h"

#include "exchange/detail/PngIo.h"

#include <cstring>
#include <new>

namespace
{
void OnWrite(png_structp png, png_bytep pData, png_size_t nCount)
{
    auto* pState = static_cast<PngIoState*>(png_get_io_ptr(png));
    bool bFailed = false;
    try
    {
        pState->pOut->insert(pState->pOut->end(), pData, pData + nCount);
    }
    catch (const std::bad_alloc&)
    {
        bFailed = true;
    }
    // Outside the handler: the jump must not leave an exception half handled.
    if (bFailed)
    {
        pState->bNoMemory = true;
        png_error(png, "out of memory");
    }
}

void OnFlush(png_structp) {}

struct EncodeTables
{
    png_color plte[256];
    png_byte trns[256];
    int nTrns;
};

static_assert(PNG_FILTERS_NONE == PNG_FILTER_NONE, "PNG_FILTERS_NONE is libpng's PNG_FILTER_NONE");

// The libpng half of EncodePng; nothing here has a destructor.
bool WriteFrame(png_structp png, png_infop info, const PngEncodeImage& image, IPngRowSource& rows,
                const PngEncodeOptions& opt, const EncodeTables& tables)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, PNG_MAX_SIDE, PNG_MAX_SIDE);
    if (opt.nZlibLevel != PNG_LEVEL_DEFAULT)
        png_set_compression_level(png, opt.nZlibLevel);
    if (opt.nFilters != PNG_FILTERS_DEFAULT)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, opt.nFilters);
    const bool bIndexed = image.pixels == PNG_PIXELS_INDEXED;
    const int nType = bIndexed ? PNG_COLOR_TYPE_PALETTE
                               : (image.pixels == PNG_PIXELS_RGB ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA);
    png_set_IHDR(png, info, image.nWidth, image.nHeight, bIndexed ? image.nBitDepth : 8, nType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (bIndexed)
    {
        png_set_PLTE(png, info, tables.plte, static_cast<int>(image.nPalette));
        if (tables.nTrns > 0)
            png_set_tRNS(png, info, tables.trns, tables.nTrns, nullptr);
    }
    if (opt.bPhys)
        png_set_pHYs(png, info, opt.nPhysX, opt.nPhysY, opt.nPhysUnit);
    png_write_info(png, info);
    if (opt.pszPrivateType != nullptr && opt.pPrivateData != nullptr)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>(opt.pszPrivateType), opt.pPrivateData->data(),
                        opt.pPrivateData->size());
    if (bIndexed && image.bUnpacked && image.nBitDepth < 8)
        png_set_packing(png);
    for (std::uint32_t y = 0; y < image.nHeight; ++y)
        png_write_row(png, rows.Row(y));
    png_write_end(png, info);
    return true;
}

ExchangeResult CheckEncodeImage(const PngEncodeImage& image, const PngEncodeOptions& opt)
{
    if (image.nWidth == 0 || image.nHeight == 0 || image.nWidth > PNG_MAX_SIDE || image.nHeight > PNG_MAX_SIDE)
        return Refuse(XCH_PNG_SIDE, PNG_MAX_SIDE, image.nWidth, image.nHeight);
    if (image.pixels == PNG_PIXELS_INDEXED)
    {
        const int d = image.nBitDepth;
        if ((d != 1 && d != 2 && d != 4 && d != 8) || image.pPalette == nullptr || image.nPalette == 0 ||
            image.nPalette > (1u << d))
            return Refuse(XCH_PNG_PALETTE_DEPTH);
    }
    if (opt.nZlibLevel != PNG_LEVEL_DEFAULT && (opt.nZlibLevel < 0 || opt.nZlibLevel > 9))
        return Refuse(XCH_PNG_ZLIB_LEVEL);
    if (opt.pszPrivateType != nullptr && std::strlen(opt.pszPrivateType) != 4)
        return Refuse(XCH_PNG_CHUNK_TYPE);
    return {};
}
}  // namespace

ExchangeResult EncodePng(const PngEncodeImage& image, IPngRowSource& rows, const PngEncodeOptions& opt,
                         std::vector<std::uint8_t>& out)
{
    if (ExchangeResult result = CheckEncodeImage(image, opt); !result.Ok())
        return result;
    EncodeTables tables{};
    if (image.pixels == PNG_PIXELS_INDEXED)
    {
        for (std::uint32_t i = 0; i < image.nPalette; ++i)
        {
            tables.plte[i] = png_color{image.pPalette[i].r, image.pPalette[i].g, image.pPalette[i].b};
            tables.trns[i] = image.pPalette[i].a;
            if (image.pPalette[i].a != 0xFF)
                tables.nTrns = static_cast<int>(i) + 1;
        }
    }

    std::vector<std::uint8_t> buffer;
    PngIoState state{};
    state.pOut = &buffer;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
    {
        png_destroy_write_struct(&png, nullptr);
        return Refuse(XCH_NO_MEMORY);
    }
    png_set_write_fn(png, &state, OnWrite, OnFlush);
    const bool bOk = WriteFrame(png, info, image, rows, opt, tables);
    png_destroy_write_struct(&png, &info);
    if (!bOk)
        return LibpngFailure(state, XCH_PNG_WRITE);
    out.swap(buffer);
    return {};
}

bool EncodePng(const PngEncodeImage& image, IPngRowSource& rows, const PngEncodeOptions& opt,
               std::vector<std::uint8_t>& out, std::string& strError)
{
    return ReportExchange(EncodePng(image, rows, opt, out), strError);
}

