#pragma once
// The 8-bit Windows bitmap: one colour-table layout (256 entries directly after
// a 40-byte info header), read into and written from a top-down pixel buffer.

#include "formats/BmpFormat.h"
#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/PixelBuffer.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class CTimData;
class CBfntData;

class CBmpData
{
public:
    CBmpData();
    ~CBmpData();
    CBmpData(const CBmpData&) = delete;
    CBmpData& operator=(const CBmpData&) = delete;

    // bReadPixels false stops after the colours and leaves the pixel buffer alone.
    [[nodiscard]] FormatResult ReadBmp(IByteStream& file, bool bReadPixels);
    [[nodiscard]] FormatResult WriteBmp(IByteStream& file);
    // The same with the pixels at pBits (nBitsSize bytes, laid out as m_pBits) instead of
    // m_pBits, so a caller that has them elsewhere need not copy them in.
    [[nodiscard]] FormatResult WriteBmp(IByteStream& file, const std::uint8_t* pBits, std::uint64_t nBitsSize) const;

    [[nodiscard]] FormatResult BmpToTim(CTimData& tim);
    [[nodiscard]] FormatResult BmpToBfnt(CBfntData& bfnt, int cellSize);

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
