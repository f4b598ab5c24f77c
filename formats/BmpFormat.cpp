#include "formats/BmpFormat.h"

#include "formats/ByteOrder.h"

void ParseBmpFileHeader(const std::uint8_t* p, BmpFileHeader& h)
{
    h.bfType = GetLe16(p + 0);
    h.bfSize = GetLe32(p + 2);
    h.bfReserved1 = GetLe16(p + 6);
    h.bfReserved2 = GetLe16(p + 8);
    h.bfOffBits = GetLe32(p + 10);
}

void ParseBmpInfoHeader(const std::uint8_t* p, BmpInfoHeader& h)
{
    h.biSize = GetLe32(p + 0);
    h.biWidth = GetLeS32(p + 4);
    h.biHeight = GetLeS32(p + 8);
    h.biPlanes = GetLe16(p + 12);
    h.biBitCount = GetLe16(p + 14);
    h.biCompression = GetLe32(p + 16);
    h.biSizeImage = GetLe32(p + 20);
    h.biXPelsPerMeter = GetLeS32(p + 24);
    h.biYPelsPerMeter = GetLeS32(p + 28);
    h.biClrUsed = GetLe32(p + 32);
    h.biClrImportant = GetLe32(p + 36);
}

void StoreBmpFileHeader(std::uint8_t* p, const BmpFileHeader& h)
{
    PutLe16(p + 0, h.bfType);
    PutLe32(p + 2, h.bfSize);
    PutLe16(p + 6, h.bfReserved1);
    PutLe16(p + 8, h.bfReserved2);
    PutLe32(p + 10, h.bfOffBits);
}

void StoreBmpInfoHeader(std::uint8_t* p, const BmpInfoHeader& h)
{
    PutLe32(p + 0, h.biSize);
    PutLeS32(p + 4, h.biWidth);
    PutLeS32(p + 8, h.biHeight);
    PutLe16(p + 12, h.biPlanes);
    PutLe16(p + 14, h.biBitCount);
    PutLe32(p + 16, h.biCompression);
    PutLe32(p + 20, h.biSizeImage);
    PutLeS32(p + 24, h.biXPelsPerMeter);
    PutLeS32(p + 28, h.biYPelsPerMeter);
    PutLe32(p + 32, h.biClrUsed);
    PutLe32(p + 36, h.biClrImportant);
}

void SetBmp8BitHeaders(BmpFileHeader& fh, BmpInfoHeader& ih, std::int32_t nWidth, std::int32_t nHeight,
                       std::uint32_t nImageBytes)
{
    fh.bfType = BMP_TYPE;
    fh.bfSize = nImageBytes + BMP_PIXEL_OFFSET;
    fh.bfOffBits = BMP_PIXEL_OFFSET;
    ih.biSize = BMP_INFO_HEADER_SIZE;
    ih.biWidth = nWidth;
    ih.biHeight = nHeight;
    ih.biPlanes = 1;
    ih.biBitCount = 8;
    ih.biCompression = BMP_RGB;
    ih.biSizeImage = nImageBytes;
}

void ParseBmpColorTable(const std::uint8_t* p, std::size_t nColors, RgbPalette& palette)
{
    for (std::size_t i = 0; i < nColors; ++i)
    {
        palette.rgb[3 * i + 0] = p[4 * i + 2];
        palette.rgb[3 * i + 1] = p[4 * i + 1];
        palette.rgb[3 * i + 2] = p[4 * i + 0];
    }
}

void StoreBmpColorTable(std::uint8_t* p, std::size_t nColors, const RgbPalette& palette)
{
    for (std::size_t i = 0; i < nColors; ++i)
    {
        p[4 * i + 0] = palette.rgb[3 * i + 2];
        p[4 * i + 1] = palette.rgb[3 * i + 1];
        p[4 * i + 2] = palette.rgb[3 * i + 0];
    }
}
