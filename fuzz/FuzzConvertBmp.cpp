// A BMP that reads, saved as each kind and on through further saves: every
// conversion keeps the pixels, refuses without side effects, and every file written
// reads back the same.
#include "FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    bmp.m_pPalette = &palette;
    CMemStream in(pData, nSize);
    if (bmp.ReadBmp(in, true) == FMT_OK)
        RunChainsFromBmp(bmp);
    return 0;
}
