// ImportFromPng on any bytes, to each of the three kinds: a refusal leaves the output
// alone and says why; an accepted PNG gives a file that export reads again.
#include "fuzz/FuzzExchange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    for (int kind : {DATA_BMP, DATA_TIM, DATA_BFNT})
    {
        ImportOptions opt;
        opt.kind = kind;
        std::vector<std::uint8_t> out = fuzzex::SENTINEL;
        std::string strError;
        if (!ImportFromPng(pData, nSize, opt, out, strError))
        {
            FUZZ_CHECK(out == fuzzex::SENTINEL && !strError.empty());
            continue;
        }
        FUZZ_CHECK(DetectDataType(out.data(), out.size()) == kind);
        ExportOptions eo;
        eo.nZlibLevel = 1;
        std::vector<std::uint8_t> png;
        FUZZ_CHECK(ExportToPng(out.data(), out.size(), eo, png, strError));
    }
    return 0;
}
