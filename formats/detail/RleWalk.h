#pragma once
// How a BMP's RLE8 and RLE4 codes are walked, written once: the decoder puts the pixels,
// the reach of a file needs only where the codes end, and the two must agree on both.
// Private to the formats library.

#include <algorithm>
#include <cstdint>

enum class ERleWalk
{
    Done,     // an end-of-bitmap code, or every row reached
    Cut,      // the data ends first, or inside a delta or an absolute run
    PastRow,  // a run, absolute run or delta reaches past the end of its row
};

// Walks the codes from position i on, for a picture w pixels wide and h rows high.
// byteAt(k, v) gives the byte at position k, false past nEnd. run(x, y, nCount, nValue) is
// an encoded run that starts at (x, y) and fits its row; literal(x, y, nAt, nPixels) is
// nPixels absolute pixels whose bytes start at nAt. i ends just past the last code taken.
// A delta past the last row ends the picture, as an end-of-bitmap; codes that wrap into the next row do not
// follow the format, and readers place them differently, so they are refused.
template <class ByteAt, class Run, class Literal>
ERleWalk WalkRle(ByteAt byteAt, std::uint64_t nEnd, std::uint64_t& i, std::uint64_t w, std::uint64_t h, bool b4,
                 Run run, Literal literal)
{
    std::uint64_t x = 0, y = 0;  // y counts rows from the first one stored
    unsigned nCount = 0, nValue = 0;
    while (y < h)
    {
        if (!byteAt(i, nCount) || !byteAt(i + 1, nValue))
            return y + 1 == h && x == w ? ERleWalk::Done : ERleWalk::Cut;
        i += 2;
        if (nCount != 0)
        {
            if (nCount > w - x)
                return ERleWalk::PastRow;
            run(x, y, nCount, nValue);
            x += nCount;
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
                return ERleWalk::Cut;
            i += 2;
            if (dy >= h - y)
                break;  // past the last row: the picture ends there
            if (dx > w - x)
                return ERleWalk::PastRow;
            x += dx;
            y += dy;
        }
        else
        {
            const std::uint64_t nBytes = b4 ? (nValue + 1) / 2 : nValue;
            const std::uint64_t nPadded = (nBytes + 1) & ~std::uint64_t{1};
            if (nEnd - i < nBytes)
                return ERleWalk::Cut;
            if (nValue > w - x)
                return ERleWalk::PastRow;
            literal(x, y, i, nValue);
            x += nValue;
            i += std::min(nPadded, nEnd - i);
        }
    }
    return ERleWalk::Done;
}
