// A BMP that reads, saved as each kind and on through further saves: every
// conversion keeps the pixels, refuses without side effects, and every file written
// reads back the same.
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    CMemStream in(pData, nSize);
    if (FindDataKind(DATA_BMP)->pfnRead(DataRecords{bmp, tim, bfnt}, in, palette).nFailure == LOAD_OK)
        RunChainsFromBmp(bmp);
    return 0;
}
