// ReadBmp on any bytes: a refused file leaves the record and the colours as they
// were; an accepted one describes its own buffer and reads back the same after a write.
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    PreloadBmp(bmp);
    bmp.m_pPalette = &palette;
    const Bytes before = Snapshot(bmp);

    // Without pixels only the headers and the colours change.
    CMemStream peek(pData, nSize);
    if (bmp.ReadBmp(peek, false) == FMT_OK)
    {
        CBmpData earlier;
        PreloadBmp(earlier);
        FUZZ_CHECK(bmp.m_nBitsSize == earlier.m_nBitsSize &&
                   std::memcmp(bmp.m_pBits.get(), earlier.m_pBits.get(), bmp.m_nBitsSize) == 0);
    }
    PreloadBmp(bmp);
    palette = MarkerPalette();

    CMemStream in(pData, nSize);
    const int nResult = bmp.ReadBmp(in, true);
    if (nResult != FMT_OK)
    {
        FUZZ_CHECK(nResult == FMT_BMP_OFFSET || nResult == FMT_BMP_TYPE || nResult == FMT_BMP_NOT_8BIT ||
                   nResult == FMT_BMP_TRUNCATED || nResult == FMT_BMP_COMPRESSED);
        FUZZ_CHECK(Snapshot(bmp) == before && SamePalette(palette, MarkerPalette()));
        return 0;
    }
    FUZZ_CHECK(bmp.HasCompleteImage());
    CheckBmpRoundTrip(bmp);
    return 0;
}
