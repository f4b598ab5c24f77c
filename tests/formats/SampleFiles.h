#pragma once
// Builders of valid sample files for tests in every layer: BMP, TIM and BFNT
// byte vectors made by the format writers (the 16-colour BFNT by hand, since
// the 8-bit records never write one), plus a stream that fails on demand.
// Header-only; link vellum_formats.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/ByteOrder.h"
#include "formats/MemStream.h"
#include "formats/RgbPalette.h"
#include "formats/Tim.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

// Pixel at column x, row y (0 = top) of every sample image: an image colour (10..245).
inline std::uint8_t SamplePixel(std::uint64_t x, std::uint64_t y)
{
    return static_cast<std::uint8_t>(PAL_FIRST_IMAGE_COLOR + (x * 7 + y * 13) % PAL_IMAGE_COLORS);
}

// Components are multiples of 8, so the colours survive a TIM's 15-bit table.
inline RgbPalette SamplePalette()
{
    RgbPalette pal;
    for (int i = 0; i < 256; ++i)
    {
        pal.rgb[3 * i + 0] = static_cast<std::uint8_t>((i * 8) & 0xF8);
        pal.rgb[3 * i + 1] = static_cast<std::uint8_t>((255 - i) & 0xF8);
        pal.rgb[3 * i + 2] = static_cast<std::uint8_t>((i * 24 + 40) & 0xF8);
    }
    return pal;
}

inline std::vector<std::uint8_t> SampleImage(std::uint64_t nWidth, std::uint64_t nHeight)
{
    std::vector<std::uint8_t> pixels(nWidth * nHeight);
    for (std::uint64_t y = 0; y < nHeight; ++y)
        for (std::uint64_t x = 0; x < nWidth; ++x)
            pixels[y * nWidth + x] = SamplePixel(x, y);
    return pixels;
}

// An 8-bit BMP, rows bottom-up; bPadded pads rows to 4 bytes as most programs do.
inline std::vector<std::uint8_t> MakeSampleBmp(int nWidth, int nHeight, bool bPadded = false,
                                               const RgbPalette& pal = SamplePalette())
{
    RgbPalette palette = pal;
    CBmpData bmp;
    const auto w = static_cast<std::uint32_t>(nWidth);
    const auto h = static_cast<std::uint32_t>(nHeight);
    const std::uint32_t nStride = bPadded ? (w + 3) & ~3u : w;
    bmp.m_fileHeader.bfType = BMP_TYPE;
    bmp.m_fileHeader.bfSize = BMP_PIXEL_OFFSET + nStride * h;
    bmp.m_fileHeader.bfOffBits = BMP_PIXEL_OFFSET;
    bmp.m_infoHeader.biSize = BMP_INFO_HEADER_SIZE;
    bmp.m_infoHeader.biWidth = nWidth;
    bmp.m_infoHeader.biHeight = nHeight;
    bmp.m_infoHeader.biPlanes = 1;
    bmp.m_infoHeader.biBitCount = 8;
    bmp.m_infoHeader.biSizeImage = nStride * h;
    const std::vector<std::uint8_t> image = SampleImage(w, h);
    bmp.m_pBits = std::make_unique<std::uint8_t[]>(image.size() + 1);
    std::copy(image.begin(), image.end(), bmp.m_pBits.get());
    bmp.m_nBitsSize = image.size();
    bmp.m_pPalette = &palette;
    CMemStream out;
    if (bmp.WriteBmp(out) != FMT_OK)
        throw std::logic_error("MakeSampleBmp: record refused");
    return out.TakeData();
}

// An 8-bit TIM with a 256-colour CLUT; nWidthUnits counts pairs of pixels.
// The pixels in memory (after reading) are SamplePixel(x, y).
inline std::vector<std::uint8_t> MakeSampleTim(int nWidthUnits, int nHeight, const RgbPalette& pal = SamplePalette())
{
    RgbPalette palette = pal;
    CTimData tim;
    const std::uint64_t nWidth = 2 * static_cast<std::uint64_t>(nWidthUnits);
    const std::vector<std::uint8_t> image = SampleImage(nWidth, static_cast<std::uint64_t>(nHeight));
    tim.m_id = TIM_ID;
    tim.m_flags = TIM_MODE_8BIT_CLUT;
    tim.m_clutLength = TIM_CLUT_LENGTH;
    tim.m_clutWidth = 256;
    tim.m_clutHeight = 1;
    tim.m_imageLength = static_cast<std::uint32_t>(image.size() + TIM_BLOCK_HEADER_SIZE);
    tim.m_imageWidth = static_cast<std::uint16_t>(nWidthUnits);
    tim.m_imageHeight = static_cast<std::uint16_t>(nHeight);
    tim.m_pPixels = std::make_unique<std::uint8_t[]>(image.size() + 1);
    std::copy(image.begin(), image.end(), tim.m_pPixels.get());
    tim.m_nPixelsSize = image.size();
    tim.m_pPalette = &palette;
    CMemStream out;
    if (tim.WriteTim(out) != FMT_OK)
        throw std::logic_error("MakeSampleTim: record refused");
    return out.TakeData();
}

// Glyph g (0 = firstCode), row r (0 = top), column c of every sample sheet.
inline std::uint8_t SampleGlyphPixel(std::uint64_t g, std::uint64_t r, std::uint64_t c)
{
    return static_cast<std::uint8_t>(PAL_FIRST_IMAGE_COLOR + (g * 31 + r * 5 + c * 3) % PAL_IMAGE_COLORS);
}

inline BfntHeader SampleBfntHeader(int nGlyphWidth, int nGlyphHeight, int nFirst, int nLast, std::uint8_t format,
                                   std::uint16_t nExtension)
{
    BfntHeader h{};
    std::memcpy(h.magic, "BFNT", 4);
    h.unknown4 = 0x1A;
    h.format = format;
    h.unknown6 = 22;
    h.glyphWidth = static_cast<std::uint16_t>(nGlyphWidth);
    h.glyphHeight = static_cast<std::uint16_t>(nGlyphHeight);
    h.firstCode = static_cast<std::uint16_t>(nFirst);
    h.lastCode = static_cast<std::uint16_t>(nLast);
    h.extensionLength = nExtension;
    return h;
}

// A 256-colour sheet with a palette block and nExtension bytes of extension (i & 0xFF).
inline std::vector<std::uint8_t> MakeSampleBfnt(int nGlyphWidth, int nGlyphHeight, int nFirst, int nLast,
                                                std::uint16_t nExtension = 0, const RgbPalette& pal = SamplePalette())
{
    RgbPalette palette = pal;
    CBfntData bfnt;
    bfnt.m_header = SampleBfntHeader(nGlyphWidth, nGlyphHeight, nFirst, nLast, BFNT_PALETTE | BFNT_COLORS_256, nExtension);
    if (nExtension != 0)
    {
        bfnt.m_pExtension = std::make_unique<std::uint8_t[]>(nExtension);
        for (std::uint32_t i = 0; i < nExtension; ++i)
            bfnt.m_pExtension[i] = static_cast<std::uint8_t>(i);
        bfnt.m_nExtensionSize = nExtension;
    }
    const std::uint64_t nGlyphSize = static_cast<std::uint64_t>(nGlyphWidth) * static_cast<std::uint64_t>(nGlyphHeight);
    const std::uint64_t nCount = static_cast<std::uint64_t>(nLast - nFirst + 1);
    bfnt.m_pGlyphs = std::make_unique<std::uint8_t[]>(nGlyphSize * nCount + 1);
    bfnt.m_nGlyphsSize = nGlyphSize * nCount;
    for (std::uint64_t g = 0; g < nCount; ++g)
        for (std::uint64_t r = 0; r < static_cast<std::uint64_t>(nGlyphHeight); ++r)
            for (std::uint64_t c = 0; c < static_cast<std::uint64_t>(nGlyphWidth); ++c)
                bfnt.m_pGlyphs[g * nGlyphSize + r * static_cast<std::uint64_t>(nGlyphWidth) + c] = SampleGlyphPixel(g, r, c);
    bfnt.m_pPalette = &palette;
    CMemStream out;
    if (bfnt.WriteBfnt(out) != FMT_OK)
        throw std::logic_error("MakeSampleBfnt: record refused");
    return out.TakeData();
}

// A 16-colour sheet, built byte by byte: pixel k of the sheet has value k % 16,
// the first pixel in the high nibble. With bPalette, triple i is (b, r, g) = (i, 2i, 3i) x 8.
inline std::vector<std::uint8_t> MakeSampleBfnt16(int nGlyphWidth, int nGlyphHeight, int nFirst, int nLast,
                                                  bool bPalette = true)
{
    const BfntHeader h = SampleBfntHeader(nGlyphWidth, nGlyphHeight, nFirst, nLast,
                                          static_cast<std::uint8_t>((bPalette ? BFNT_PALETTE : 0) | BFNT_COLORS_16), 0);
    std::vector<std::uint8_t> out(BFNT_HEADER_SIZE);
    std::memcpy(out.data(), h.magic, 4);
    out[4] = h.unknown4;
    out[5] = h.format;
    out[6] = h.unknown6;
    PutLe16(out.data() + 8, h.glyphWidth);
    PutLe16(out.data() + 10, h.glyphHeight);
    PutLe16(out.data() + 12, h.firstCode);
    PutLe16(out.data() + 14, h.lastCode);
    if (bPalette)
        for (int i = 0; i < 16; ++i)
        {
            out.push_back(static_cast<std::uint8_t>(i * 8));
            out.push_back(static_cast<std::uint8_t>(i * 16));
            out.push_back(static_cast<std::uint8_t>(i * 24));
        }
    const std::uint64_t nPixels = static_cast<std::uint64_t>(nLast - nFirst + 1) *
                                  static_cast<std::uint64_t>(nGlyphWidth) * static_cast<std::uint64_t>(nGlyphHeight);
    for (std::uint64_t k = 0; k < nPixels; k += 2)
        out.push_back(static_cast<std::uint8_t>(((k % 16) << 4) | ((k + 1) % 16)));
    return out;
}

// A memory stream whose reads and writes throw once nFailAfter bytes have moved,
// like a file on a full or failing disk.
class CFaultyStream final : public IByteStream
{
public:
    CFaultyStream(std::vector<std::uint8_t> data, std::uint64_t nFailAfter)
        : m_mem(std::move(data)), m_nLeft(nFailAfter)
    {
    }

    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override
    {
        Spend(nCount);
        return m_mem.Read(pBuf, nCount);
    }
    void Write(const void* pBuf, std::uint32_t nCount) override
    {
        Spend(nCount);
        m_mem.Write(pBuf, nCount);
    }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override { return m_mem.Seek(lOff, nFrom); }
    std::uint64_t GetPosition() const override { return m_mem.GetPosition(); }
    std::uint64_t GetLength() const override { return m_mem.GetLength(); }

    const std::vector<std::uint8_t>& Data() const { return m_mem.Data(); }

private:
    void Spend(std::uint64_t nCount)
    {
        if (nCount > m_nLeft)
            throw std::runtime_error("CFaultyStream: I/O error");
        m_nLeft -= nCount;
    }

    CMemStream m_mem;
    std::uint64_t m_nLeft;
};
