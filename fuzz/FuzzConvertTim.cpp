// A TIM that reads, saved as each kind and on through further saves: every
// conversion keeps the pixels, refuses without side effects, and every file written
// reads back the same.
#include "FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CTimData tim;
    tim.m_pPalette = &palette;
    CMemStream in(pData, nSize);
    if (tim.ReadTim(in, true) == FMT_OK)
        RunChainsFromTim(tim);
    return 0;
}
