#pragma once
// The 8-bit Windows bitmap: one colour-table layout (256 entries directly after
// a 40-byte info header), read into and written from a top-down pixel buffer.

#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/PixelBuffer.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CTimData;
class CBfntData;

// Bytes 0 to 13 of the file.
struct BmpFileHeader
{
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};

// Bytes 14 to 53 of the file.
struct BmpInfoHeader
{
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

enum : std::uint32_t
{
    BMP_TYPE = 0x4D42,          // 'B' 'M'
    BMP_FILE_HEADER_SIZE = 14,
    BMP_INFO_HEADER_SIZE = 40,
    BMP_COLOR_TABLE_SIZE = 1024,
    BMP_PIXEL_OFFSET = 1078,    // 14 + 40 + 1024
};

class CBmpData
{
public:
    CBmpData();
    ~CBmpData();
    CBmpData(const CBmpData&) = delete;
    CBmpData& operator=(const CBmpData&) = delete;

    // bReadPixels false stops after the colours and leaves the pixel buffer alone.
    [[nodiscard]] int ReadBmp(IByteStream& file, bool bReadPixels);
    [[nodiscard]] int WriteBmp(IByteStream& file);

    [[nodiscard]] int BmpToTim(CTimData& tim);
    [[nodiscard]] int BmpToBfnt(CBfntData& bfnt, int cellSize);

    // Bytes one row occupies in the file: biWidth, or biWidth rounded up to 4
    // when the header's pixel byte count says the rows are padded.
    std::uint64_t FileRowLength() const;
    // True when the pixel buffer holds at least biWidth x biHeight bytes.
    bool HasCompleteImage() const;

    BmpFileHeader m_fileHeader;
    BmpInfoHeader m_infoHeader;
    RgbPalette* m_pPalette;                 // not owned
    // Top row first, biWidth bytes per row without padding; then any bytes the
    // file held after the image, kept so they are written back.
    PixelBuffer m_pBits;
    std::size_t m_nBitsSize;
};
