#pragma once
// How a BMP's RLE8 and RLE4 codes are walked, written once: the decoder puts the pixels,
// the reach of a file needs only where the codes end, and the two must agree on both.
// Private to the formats library.

#include <algorithm>
#include <cstdint>

// Walks the codes from position i on, for a picture w pixels wide and h rows high.
// byteAt(k, v) gives the byte at position k, false past nEnd. run(x, y, nCount, nValue) is
// an encoded run that starts at (x, y) with x < w; literal(x, y, nAt, nPixels) is nPixels
// absolute pixels whose bytes start at nAt. The walk ends at the end-of-bitmap code, past
// the last row or at the end of the data, with i just past the last code taken: true, or
// false when a delta or an absolute run is cut short.
template <class ByteAt, class Run, class Literal>
bool WalkRle(ByteAt byteAt, std::uint64_t nEnd, std::uint64_t& i, std::uint64_t w, std::uint64_t h, bool b4, Run run,
             Literal literal)
{
    std::uint64_t x = 0, y = 0;  // y counts rows from the first one stored
    unsigned nCount = 0, nValue = 0;
    while (y < h && byteAt(i, nCount) && byteAt(i + 1, nValue))
    {
        i += 2;
        if (nCount != 0)
        {
            // Pixels past the end of a row are dropped.
            if (x < w)
            {
                run(x, y, nCount, nValue);
                x = std::min<std::uint64_t>(x + nCount, w);
            }
            continue;
        }
        if (nValue == 0)
        {
            x = 0;
            ++y;
        }
        else if (nValue == 1)
        {
            break;
        }
        else if (nValue == 2)
        {
            unsigned dx = 0, dy = 0;
            if (!byteAt(i, dx) || !byteAt(i + 1, dy))
                return false;
            x += dx;
            y += dy;
            i += 2;
        }
        else
        {
            const std::uint64_t nBytes = b4 ? (nValue + 1) / 2 : nValue;
            const std::uint64_t nPadded = (nBytes + 1) & ~std::uint64_t{1};
            if (nEnd - i < nBytes)
                return false;
            literal(x, y, i, nValue);
            x += nValue;
            i += std::min(nPadded, nEnd - i);
        }
    }
    return true;
}
