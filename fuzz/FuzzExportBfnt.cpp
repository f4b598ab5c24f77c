// ExportToPng on any bytes made to start like a BFNT file: a refusal changes nothing;
// an accepted file's PNG imports back to a BFNT whose export shows the same picture.
#include "fuzz/FuzzExchange.h"
#include "fuzz/FuzzLimits.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // The signature is written over the first bytes, so every input reaches the BFNT reader.
    std::vector<std::uint8_t> file(pData, pData + nSize);
    if (file.size() < 4)
        file.resize(4);
    std::memcpy(file.data(), "BFNT", 4);
    if (fuzzlim::LargeSheetGrid(file.data(), file.size(), ExportOptions{}.nColumns))
        return 0;
    fuzzex::CheckExport(file.data(), file.size());
    return 0;
}
