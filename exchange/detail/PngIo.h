#pragma once
// What the PNG encoder and decoder share in their dealings with libpng: the state its
// callbacks touch and the error handler that jumps out. Private to the exchange library.

#include "exchange/ExchangeResult.h"

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Everything the libpng callbacks touch: plain data, so a longjmp over it skips no destructor.
struct PngIoState
{
    std::vector<std::uint8_t>* pOut;  // encoding
    const std::uint8_t* pIn;          // decoding
    std::size_t nIn;
    std::size_t nPos;
    bool bNoMemory;
    char szError[160];
};

// Keeps libpng's first message in the state and jumps back to the frame's setjmp.
void OnPngError(png_structp png, png_const_charp pszMessage);
void OnPngWarning(png_structp png, png_const_charp pszMessage);

// What a failed frame reports: not enough memory, or the code with libpng's words for the
// failure ("unknown error" when it gave none).
ExchangeResult LibpngFailure(const PngIoState& state, ExchangeCode code);
