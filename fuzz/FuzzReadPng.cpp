// DecodePng on any bytes: a refusal leaves the picture alone; an accepted PNG gives
// exactly one index or four samples per pixel, and a palette of at most 256 colours.
#include "exchange/Png.h"
#include "fuzz/FuzzCheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    PngPicture pic;
    pic.nWidth = 7;
    std::string strError;
    if (!DecodePng(pData, nSize, "vlMD", pic, strError))
    {
        FUZZ_CHECK(pic.nWidth == 7 && pic.pixels.empty() && !strError.empty());
        return 0;
    }
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    FUZZ_CHECK(pic.nWidth != 0 && pic.nHeight != 0);
    FUZZ_CHECK(pic.pixels.size() == nPixels * (pic.bIndexed ? 1 : 4));
    FUZZ_CHECK(pic.bIndexed ? (!pic.palette.empty() && pic.palette.size() <= 256) : pic.palette.empty());
    FUZZ_CHECK(pic.bPrivate || pic.privateData.empty());
    return 0;
}
