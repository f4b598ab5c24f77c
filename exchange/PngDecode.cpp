// PNG decoding: any colour type and depth, into indices and a palette or 8-bit RGBA.

#include "exchange/Png.h"

#include "exchange/detail/PngIo.h"
#include "formats/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace
{
void OnRead(png_structp png, png_bytep pData, png_size_t nCount)
{
    auto* pState = static_cast<PngIoState*>(png_get_io_ptr(png));
    if (nCount > pState->nIn - pState->nPos)
        png_error(png, "the file ends early");
    std::memcpy(pData, pState->pIn + pState->nPos, nCount);
    pState->nPos += nCount;
}

// Decoding: what the info frame found and set up.
struct DecodeSetup
{
    png_uint_32 nWidth;
    png_uint_32 nHeight;
    int nBitDepth;
    int nColorType;
    bool bIndexed;
    int nPalette;
    png_color plte[256];
    int nTrns;
    png_byte trns[256];
    std::size_t nRowBytes;
};

bool InfoFrame(png_structp png, png_infop info, const char* pszPrivateType, DecodeSetup& setup)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, PNG_MAX_SIDE, PNG_MAX_SIDE);
    png_set_chunk_malloc_max(png, PNG_MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, 256);
    // Every ancillary chunk is skipped unread but ours: text and profiles are not needed,
    // and libpng would zero-fill a buffer of whatever length a text chunk claims.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    if (pszPrivateType != nullptr)
    {
        png_byte name[5] = {};
        std::memcpy(name, pszPrivateType, 4);
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, name, 1);
    }
    png_read_info(png, info);
    png_get_IHDR(png, info, &setup.nWidth, &setup.nHeight, &setup.nBitDepth, &setup.nColorType, nullptr, nullptr,
                 nullptr);
    setup.bIndexed = setup.nColorType == PNG_COLOR_TYPE_PALETTE;
    if (setup.bIndexed)
    {
        png_colorp pPalette = nullptr;
        setup.nPalette = 0;
        png_get_PLTE(png, info, &pPalette, &setup.nPalette);
        if (pPalette == nullptr || setup.nPalette < 1 || setup.nPalette > 256)
            png_error(png, "the palette is missing");
        std::memcpy(setup.plte, pPalette, sizeof(png_color) * static_cast<std::size_t>(setup.nPalette));
        setup.nTrns = 0;
        png_bytep pTrns = nullptr;
        if (png_get_valid(png, info, PNG_INFO_tRNS) != 0 &&
            png_get_tRNS(png, info, &pTrns, &setup.nTrns, nullptr) != 0 && pTrns != nullptr)
            std::memcpy(setup.trns, pTrns, static_cast<std::size_t>(std::clamp(setup.nTrns, 0, 256)));
        if (setup.nBitDepth < 8)
            png_set_packing(png);
    }
    else
    {
        if (setup.nBitDepth == 16)
            png_set_scale_16(png);
        if (setup.nColorType == PNG_COLOR_TYPE_GRAY && setup.nBitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        const bool bKey = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        if (bKey)
            png_set_tRNS_to_alpha(png);
        if (setup.nColorType == PNG_COLOR_TYPE_GRAY || setup.nColorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        if (!bKey && (setup.nColorType & PNG_COLOR_MASK_ALPHA) == 0)
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    setup.nRowBytes = png_get_rowbytes(png, info);
    return true;
}

bool RowsFrame(png_structp png, png_infop info, png_bytepp ppRows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, ppRows);
    png_read_end(png, info);
    return true;
}

// Deflate never expands data by more than this factor; a header claiming more pixels
// than its compressed data can hold is refused before anything is allocated.
constexpr std::uint64_t DEFLATE_MAX_RATIO = 1032;

// Walks the chunk list by hand: the IHDR size against the IDAT bytes really present.
ExchangeResult PrescanFits(const std::uint8_t* pData, std::size_t nSize)
{
    std::uint64_t nIdat = 0;
    std::uint64_t nWidth = 0, nHeight = 0, nBits = 0;
    std::uint64_t nPos = 8;
    while (nPos + 8 <= nSize)
    {
        const std::uint64_t nLength = GetBe32(pData + nPos);
        const std::uint8_t* pType = pData + nPos + 4;
        const std::uint64_t nHave = std::min<std::uint64_t>(nLength, nSize - nPos - 8);
        if (std::memcmp(pType, "IHDR", 4) == 0 && nHave >= 13)
        {
            const std::uint8_t* p = pData + nPos + 8;
            nWidth = GetBe32(p);
            nHeight = GetBe32(p + 4);
            const std::uint64_t nDepth = p[8];
            static const std::uint8_t s_channels[7] = {1, 0, 3, 1, 2, 0, 4};
            nBits = nDepth * (p[9] < 7 ? s_channels[p[9]] : 0);
        }
        else if (std::memcmp(pType, "IDAT", 4) == 0)
        {
            nIdat += nHave;
        }
        else if (std::memcmp(pType, "IEND", 4) == 0)
        {
            break;
        }
        nPos += 12 + nLength;
    }
    if (nWidth == 0 || nHeight == 0 || nBits == 0 || nWidth > PNG_MAX_SIDE || nHeight > PNG_MAX_SIDE)
        return {};  // libpng names what is wrong with the header
    const std::uint64_t nRaw = nHeight * (1 + (nWidth * nBits + 7) / 8);
    if (nRaw > DEFLATE_MAX_RATIO * nIdat + 1024)
        return Refuse(XCH_PNG_CUT, nWidth, nHeight);
    return {};
}
}  // namespace

ExchangeResult DecodePng(const std::uint8_t* pData, std::size_t nSize, const char* pszPrivateType, PngPicture& out)
{
    if (pData == nullptr || nSize < 8 || png_sig_cmp(pData, 0, 8) != 0)
        return Refuse(XCH_NOT_PNG);
    if (ExchangeResult result = PrescanFits(pData, nSize); !result.Ok())
        return result;

    // The picture is built here and swapped into out only once everything has been read.
    PngPicture picture;
    std::vector<png_bytep> rowPointers;
    auto pSetup = std::make_unique<DecodeSetup>();
    PngIoState state{};
    state.pIn = pData;
    state.nIn = nSize;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
    {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Refuse(XCH_NO_MEMORY);
    }
    png_set_read_fn(png, &state, OnRead);

    bool bOk = false;
    if (InfoFrame(png, info, pszPrivateType, *pSetup))
    {
        const DecodeSetup& s = *pSetup;
        const std::uint64_t nPixelBytes = s.bIndexed ? 1 : 4;
        const std::uint64_t nBytes = std::uint64_t{s.nWidth} * s.nHeight * nPixelBytes;
        if (s.nRowBytes != s.nWidth * nPixelBytes)
        {
            std::snprintf(state.szError, sizeof state.szError, "unexpected row layout");
        }
        else if (nBytes > PNG_MAX_DECODED_BYTES)
        {
            png_destroy_read_struct(&png, &info, nullptr);
            return Refuse(XCH_PNG_TOO_LARGE, s.nWidth, s.nHeight, PNG_MAX_DECODED_BYTES >> 20);
        }
        else
        {
            try
            {
                picture.pixels.resize(static_cast<std::size_t>(nBytes));
                rowPointers.resize(s.nHeight);
            }
            catch (const std::bad_alloc&)
            {
                state.bNoMemory = true;
            }
            if (!state.bNoMemory)
            {
                for (png_uint_32 y = 0; y < s.nHeight; ++y)
                    rowPointers[y] = picture.pixels.data() + std::size_t{y} * s.nRowBytes;
                bOk = RowsFrame(png, info, rowPointers.data());
            }
        }
    }
    if (bOk)
    {
        const DecodeSetup& s = *pSetup;
        picture.nWidth = s.nWidth;
        picture.nHeight = s.nHeight;
        picture.bIndexed = s.bIndexed;
        picture.nColorType = s.nColorType;
        picture.nBitDepth = s.nBitDepth;
        if (s.bIndexed)
        {
            picture.palette.resize(static_cast<std::size_t>(s.nPalette));
            for (int i = 0; i < s.nPalette; ++i)
                picture.palette[static_cast<std::size_t>(i)] =
                    PngColor{s.plte[i].red, s.plte[i].green, s.plte[i].blue, i < s.nTrns ? s.trns[i] : png_byte{0xFF}};
        }
        png_unknown_chunkp pChunks = nullptr;
        const int nChunks = pszPrivateType != nullptr ? png_get_unknown_chunks(png, info, &pChunks) : 0;
        try
        {
            for (int i = 0; i < nChunks; ++i)
                if (std::memcmp(pChunks[i].name, pszPrivateType, 4) == 0)
                {
                    picture.bPrivate = true;
                    picture.privateData.assign(pChunks[i].data, pChunks[i].data + pChunks[i].size);
                    break;
                }
        }
        catch (const std::bad_alloc&)
        {
            state.bNoMemory = true;
            bOk = false;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!bOk)
        return LibpngFailure(state, XCH_PNG_READ);
    out = std::move(picture);
    return {};
}

bool DecodePng(const std::uint8_t* pData, std::size_t nSize, const char* pszPrivateType, PngPicture& out,
               std::string& strError)
{
    return ReportExchange(DecodePng(pData, nSize, pszPrivateType, out), strError);
}
