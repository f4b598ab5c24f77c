// ReadTim on any bytes: a refused file leaves the record and the colours as they
// were; an accepted one holds every pixel its header names and reads back the same.
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CTimData tim;
    PreloadTim(tim);
    tim.m_pPalette = &palette;
    const Bytes before = Snapshot(tim);

    // Without pixels the image header and the pixels stay those of the earlier image.
    CMemStream peek(pData, nSize);
    if (tim.ReadTim(peek, false) == FMT_OK)
    {
        CTimData earlier;
        PreloadTim(earlier);
        FUZZ_CHECK(tim.m_imageWidth == earlier.m_imageWidth && tim.m_imageHeight == earlier.m_imageHeight);
        FUZZ_CHECK(tim.m_nPixelsSize == earlier.m_nPixelsSize &&
                   std::memcmp(tim.m_pPixels.get(), earlier.m_pPixels.get(), tim.m_nPixelsSize) == 0);
    }
    PreloadTim(tim);
    palette = MarkerPalette();

    CMemStream in(pData, nSize);
    const int nResult = tim.ReadTim(in, true);
    if (nResult != FMT_OK)
    {
        FUZZ_CHECK(nResult == FMT_TIM_ID || nResult == FMT_TIM_NOT_8BIT || nResult == FMT_TIM_VERSION ||
                   nResult == FMT_TIM_TRUNCATED);
        FUZZ_CHECK(Snapshot(tim) == before && SamePalette(palette, MarkerPalette()));
        return 0;
    }
    FUZZ_CHECK(tim.m_nPixelsSize == tim.PixelByteCount() && tim.m_pPixels);
    CheckTimRoundTrip(tim);
    return 0;
}
