#include "SurfacePng.h"

#include <png.h>

#include <csetjmp>
#include <new>

namespace
{
void AppendBytes(png_structp pPng, png_bytep pData, png_size_t nSize)
{
    auto* pOut = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(pPng));
    // No exception may cross libpng's C frames.
    try
    {
        pOut->insert(pOut->end(), pData, pData + nSize);
    }
    catch (const std::bad_alloc&)
    {
        png_error(pPng, "out of memory");
    }
}

void FlushNothing(png_structp) {}

// Everything libpng can jump out of lives here, with no destructors to skip.
bool Encode(png_structp pPng, png_infop pInfo, std::uint32_t nWidth, std::uint32_t nHeight,
            png_bytepp ppRows, const std::uint8_t* rgb)
{
    if (setjmp(png_jmpbuf(pPng)))
        return false;
    png_set_IHDR(pPng, pInfo, nWidth, nHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = png_color{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    png_set_PLTE(pPng, pInfo, palette, 256);
    png_set_pHYs(pPng, pInfo, 3780, 3780, PNG_RESOLUTION_METER);
    png_set_rows(pPng, pInfo, ppRows);
    png_write_png(pPng, pInfo, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}
}  // namespace

bool EncodeIndexedPng(std::uint32_t nWidth, const std::vector<const std::uint8_t*>& rows, const std::uint8_t* rgb,
                      std::vector<std::uint8_t>& png, std::string& strError)
{
    png.clear();
    png_structp pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pInfo = pPng != nullptr ? png_create_info_struct(pPng) : nullptr;
    if (pInfo == nullptr)
    {
        png_destroy_write_struct(&pPng, nullptr);
        strError = "not enough memory.";
        return false;
    }
    png_set_write_fn(pPng, &png, &AppendBytes, &FlushNothing);
    // libpng only reads the rows; its interface is not const-correct.
    auto ppRows = const_cast<png_bytepp>(reinterpret_cast<const png_byte* const*>(rows.data()));
    const bool bOk = Encode(pPng, pInfo, nWidth, static_cast<std::uint32_t>(rows.size()), ppRows, rgb);
    png_destroy_write_struct(&pPng, &pInfo);
    if (!bOk)
        strError = "not enough memory.";
    return bOk;
}
