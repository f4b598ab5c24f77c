// ExportToPng on any bytes made to start like a BMP file: a refusal changes nothing;
// an accepted file's PNG imports back to a BMP whose export shows the same picture.
#include "fuzz/FuzzExchange.h"
#include "fuzz/FuzzLimits.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // The signature is written over the first bytes, so every input reaches the BMP reader.
    std::vector<std::uint8_t> file(pData, pData + nSize);
    if (file.size() < 2)
        file.resize(2);
    std::memcpy(file.data(), "BM", 2);
    if (fuzzlim::LargeRleBitmap(file.data(), file.size()))
        return 0;
    fuzzex::CheckExport(file.data(), file.size());
    return 0;
}
