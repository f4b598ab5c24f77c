// A BFNT sheet that reads the way the driver reads it (256 colours, else again from
// the start as 16 colours), saved as each kind and on through further saves.
#include "FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBfntData bfnt;
    bfnt.m_pPalette = &palette;
    CMemStream in(pData, nSize);
    int nResult = bfnt.ReadBfnt256(in);
    if (nResult == FMT_BFNT_NOT_256)
    {
        in.Seek(0, STREAM_BEGIN);
        nResult = bfnt.ReadBfnt(in, 1);
    }
    if (nResult == FMT_OK)
        RunChainsFromBfnt(bfnt);
    return 0;
}
