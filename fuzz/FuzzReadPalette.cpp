// The palette readers on any bytes: every file kind refuses with a reason or reads colours
// that its writer writes back to the same colours; and when the bytes are a picture with a
// palette, its colours written back into it change no byte, and other colours change only
// the palette's bytes.
#include "formats/DataKinds.h"
#include "formats/PaletteFile.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzLimits.h"

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    for (EPaletteFile kind : {EPaletteFile::Gpl, EPaletteFile::Act, EPaletteFile::Pal})
    {
        PaletteColours pal;
        pal.strName = "untouched";
        std::string strError;
        if (!ReadPaletteFile(kind, pData, nSize, pal, strError))
        {
            FUZZ_CHECK(!strError.empty() && pal.strName == "untouched" && pal.colours.empty());
            continue;
        }
        FUZZ_CHECK(!pal.colours.empty() && pal.colours.size() <= PALETTE_MAX_COLOURS);
        const std::vector<std::uint8_t> again = WritePaletteFile(kind, pal);
        PaletteColours back;
        FUZZ_CHECK(ReadPaletteFile(kind, again.data(), again.size(), back, strError));
        FUZZ_CHECK(back.colours.size() == pal.colours.size());
        for (std::size_t i = 0; i < pal.colours.size(); ++i)
            FUZZ_CHECK(back.colours[i].r == pal.colours[i].r && back.colours[i].g == pal.colours[i].g &&
                       back.colours[i].b == pal.colours[i].b);
    }

    if (fuzzlim::LargeRleBitmap(pData, nSize))
        return 0;
    // The row matters to TIMs only; the other kinds are read once (an RLE bitmap is decoded).
    for (std::uint32_t nClut = 0; nClut < 3; ++nClut)
    {
        ImagePalette where;
        const EImagePaletteResult nResult = FindImagePalette(pData, nSize, nClut, where);
        if (nResult == EImagePaletteResult::NoSuchRow)
            break;
        if (nResult != EImagePaletteResult::Ok)
        {
            if (where.nDataType != DATA_TIM)
                break;
            continue;
        }
        FUZZ_CHECK(where.nCount > 0 && where.nCount <= 256);
        const std::size_t nEntry = where.coding == EImagePaletteCoding::Tim15 ? 2 : (where.coding == EImagePaletteCoding::BmpQuad ? 4 : 3);
        FUZZ_CHECK(where.nAt <= nSize && nEntry * where.nCount <= nSize - where.nAt);
        std::vector<std::uint8_t> file(pData, pData + nSize);
        const std::vector<PaletteRgb> colours = ReadImagePalette(file.data(), where);
        ReplaceImagePalette(file.data(), where, colours);
        FUZZ_CHECK(std::equal(file.begin(), file.end(), pData));
        std::vector<PaletteRgb> other(colours.size(), PaletteRgb{1, 2, 3});
        ReplaceImagePalette(file.data(), where, other);
        for (std::size_t k = 0; k < nSize; ++k)
            FUZZ_CHECK(file[k] == pData[k] || (k >= where.nAt && k < where.nAt + nEntry * where.nCount));
        if (where.nDataType != DATA_TIM)
            break;
    }
    return 0;
}
