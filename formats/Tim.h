#pragma once
// The TIM image with an 8-bit CLUT. File colours and pixel values count from 0;
// in memory they sit PAL_FIRST_IMAGE_COLOR places higher, where the surface keeps
// image colours.

#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/PixelBuffer.h"
#include "formats/RgbPalette.h"
#include "formats/TimFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CBmpData;
class CBfntData;

// Adds nShift (mod 256) to every byte; written so the compiler vectorises it.
void ShiftPixels(std::uint8_t* pPixels, std::size_t nCount, std::uint8_t nShift);
// Same, from one buffer into another, separate one of at least nCount bytes.
void ShiftPixelsTo(std::uint8_t* __restrict pDst, const std::uint8_t* __restrict pSrc, std::size_t nCount,
                   std::uint8_t nShift);

class CTimData
{
public:
    CTimData();
    ~CTimData();
    CTimData(const CTimData&) = delete;
    CTimData& operator=(const CTimData&) = delete;

    // bReadPixels false stops after the colours; image header and pixels stay as they were.
    [[nodiscard]] FormatResult ReadTim(IByteStream& file, bool bReadPixels);
    // Writes one CLUT row of 256 colours: its header says 524 bytes, keeps x and y, and keeps
    // the width and height only when they make 256 colours (else 256 x 1).
    [[nodiscard]] FormatResult WriteTim(IByteStream& file);

    [[nodiscard]] FormatResult TimToBmp(CBmpData& bmp);
    [[nodiscard]] FormatResult TimToBfnt(CBfntData& bfnt, int cellSize);

    // 2 x image width x image height: the bytes the image header describes.
    std::uint64_t PixelByteCount() const;

    // First 8 bytes of the file.
    std::uint8_t m_id;
    std::uint8_t m_version;
    std::uint16_t m_reserved;
    std::uint32_t m_flags;
    // CLUT block header.
    std::uint32_t m_clutLength;
    std::uint16_t m_clutX;
    std::uint16_t m_clutY;
    std::uint16_t m_clutWidth;
    std::uint16_t m_clutHeight;
    // Image block header; the width counts 16-bit units of two pixels.
    std::uint32_t m_imageLength;
    std::uint16_t m_imageX;
    std::uint16_t m_imageY;
    std::uint16_t m_imageWidth;
    std::uint16_t m_imageHeight;

    RgbPalette* m_pPalette;  // not owned
    // Top row first, 2 x m_imageWidth bytes per row, each value the file's plus 10.
    PixelBuffer m_pPixels;
    std::size_t m_nPixelsSize;
};
