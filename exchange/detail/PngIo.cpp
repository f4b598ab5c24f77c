#include "exchange/detail/PngIo.h"

#include <cstdio>

void OnPngError(png_structp png, png_const_charp pszMessage)
{
    auto* pState = static_cast<PngIoState*>(png_get_error_ptr(png));
    if (pState != nullptr && pState->szError[0] == '\0')
        std::snprintf(pState->szError, sizeof pState->szError, "%s", pszMessage);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

ExchangeResult LibpngFailure(const PngIoState& state, ExchangeCode code)
{
    if (state.bNoMemory)
        return Refuse(XCH_NO_MEMORY);
    ExchangeResult result = Refuse(code);
    result.strDetail = state.szError[0] != '\0' ? std::string(state.szError) : std::string("unknown error");
    return result;
}
