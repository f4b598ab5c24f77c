// A BFNT sheet that reads the way the driver reads it (256 colours, else again from
// the start as 16 colours), saved as each kind and on through further saves.
#include "fuzz/FuzzLimits.h"
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    CMemStream in(pData, nSize);
    if (FindDataKind(DATA_BFNT)->pfnRead(DataRecords{bmp, tim, bfnt}, in, palette).nFailure == LOAD_OK &&
        !fuzzlim::LargeSheetPicture(bfnt.m_header.glyphWidth, bfnt.m_header.glyphHeight, bfnt.GlyphCount()))
        RunChainsFromBfnt(bfnt);
    return 0;
}
