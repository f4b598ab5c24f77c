// ExportToPng on any bytes made to start like a TIM file: a refusal changes nothing;
// an accepted file's PNG imports back to a TIM whose export shows the same picture.
#include "fuzz/FuzzExchange.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // The signature is written over the first bytes, so every input reaches the TIM reader.
    std::vector<std::uint8_t> file(pData, pData + nSize);
    if (file.size() < 1)
        file.resize(1);
    std::memcpy(file.data(), "\x10", 1);
    fuzzex::CheckExport(file.data(), file.size());
    return 0;
}
