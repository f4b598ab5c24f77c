#include "exchange/TimFile.h"

#include "formats/ByteOrder.h"

#include <algorithm>
#include <new>

namespace
{
bool Fail(std::string& strError, std::string strMessage)
{
    strError = std::move(strMessage);
    return false;
}
}  // namespace

std::uint32_t TimImage::PaletteCount() const
{
    const std::uint64_t nSize = PaletteSize();
    return nSize == 0 ? 0u : static_cast<std::uint32_t>((clut.size() + nSize - 1) / nSize);
}

bool ParseTim(const std::uint8_t* pData, std::size_t nSize, TimImage& out, std::string& strError)
{
    const char* const pszCut = "the TIM file is cut short.";
    if (nSize < 1 || pData[0] != 0x10)
        return Fail(strError, "not a TIM file.");
    if (nSize < TIM_FILE_HEADER_SIZE)
        return Fail(strError, pszCut);
    if (pData[1] != 0)
        return Fail(strError, "TIM version " + std::to_string(pData[1]) + " is not supported.");
    TimImage t;
    t.nReserved = GetLe16(pData + 2);
    t.nFlags = GetLe32(pData + 4);
    const std::uint32_t nMode = t.nFlags & TIM_FLAG_MODE_MASK;
    if (nMode > TIM_MODE_24BIT)
        return Fail(strError, "TIM with pixel mode " + std::to_string(nMode) +
                                  (nMode == 4 ? " (mixed)" : "") + " is not supported.");
    static const int s_bpp[4] = {4, 8, 16, 24};
    t.nBpp = s_bpp[nMode];
    if (t.nBpp <= 8 && !t.HasClut())
        return Fail(strError, "a TIM with " + std::to_string(t.nBpp) + " bits per pixel needs a CLUT; this one has none.");

    std::uint64_t nPos = TIM_FILE_HEADER_SIZE;
    if (t.HasClut())
    {
        if (nSize - nPos < TIM_BLOCK_HEAD_SIZE)
            return Fail(strError, pszCut);
        const std::uint64_t nLength = GetLe32(pData + nPos);
        if (nLength < TIM_BLOCK_HEAD_SIZE)
            return Fail(strError, "the TIM's CLUT block length " + std::to_string(nLength) + " is below 12.");
        if (nLength > nSize - nPos)
            return Fail(strError, "the TIM's CLUT block is cut short.");
        t.nClutX = GetLe16(pData + nPos + 4);
        t.nClutY = GetLe16(pData + nPos + 6);
        t.nClutWidth = GetLe16(pData + nPos + 8);
        t.nClutHeight = GetLe16(pData + nPos + 10);
        const std::uint8_t* pColours = pData + nPos + TIM_BLOCK_HEAD_SIZE;
        t.clut.resize(static_cast<std::size_t>((nLength - TIM_BLOCK_HEAD_SIZE) / 2));
        for (std::size_t i = 0; i < t.clut.size(); ++i)
            t.clut[i] = GetLe16(pColours + 2 * i);
        nPos += nLength;
        if (t.nBpp <= 8 && t.clut.empty())
            return Fail(strError, "the TIM's CLUT holds no colours.");
    }

    if (nSize - nPos < TIM_BLOCK_HEAD_SIZE)
        return Fail(strError, pszCut);
    t.nImageX = GetLe16(pData + nPos + 4);
    t.nImageY = GetLe16(pData + nPos + 6);
    t.nImageUnits = GetLe16(pData + nPos + 8);
    t.nImageHeight = GetLe16(pData + nPos + 10);
    nPos += TIM_BLOCK_HEAD_SIZE;
    if (t.RowBytes() * t.nImageHeight > nSize - nPos)
        return Fail(strError, "the TIM's image block is cut short.");
    const std::uint32_t nUnits = t.nImageUnits;
    t.nPixelWidth = t.nBpp == 4 ? 4 * nUnits : (t.nBpp == 8 ? 2 * nUnits : (t.nBpp == 16 ? nUnits : 2 * nUnits / 3));
    if (t.nPixelWidth == 0 || t.nImageHeight == 0)
        return Fail(strError, "the TIM holds no pixels (" + std::to_string(t.nPixelWidth) + " x " +
                                  std::to_string(t.nImageHeight) + ").");
    t.pPixels = pData + nPos;
    out = std::move(t);
    return true;
}

bool WriteTimFile(const TimImage& tim, std::vector<std::uint8_t>& out, std::string& strError)
{
    const std::uint64_t nPixels = tim.RowBytes() * tim.nImageHeight;
    const std::uint64_t nClutBytes = tim.HasClut() ? TIM_BLOCK_HEAD_SIZE + 2 * std::uint64_t{tim.clut.size()} : 0;
    if (nClutBytes > 0xFFFFFFFFu || nPixels + TIM_BLOCK_HEAD_SIZE > 0xFFFFFFFFu)
        return Fail(strError, "the picture is too large for a TIM.");
    std::vector<std::uint8_t> bytes;
    try
    {
        bytes.resize(static_cast<std::size_t>(TIM_FILE_HEADER_SIZE + nClutBytes + TIM_BLOCK_HEAD_SIZE + nPixels));
    }
    catch (const std::bad_alloc&)
    {
        return Fail(strError, "not enough memory.");
    }
    std::uint8_t* p = bytes.data();
    p[0] = 0x10;
    PutLe16(p + 2, tim.nReserved);
    PutLe32(p + 4, tim.nFlags);
    p += TIM_FILE_HEADER_SIZE;
    if (tim.HasClut())
    {
        PutLe32(p, static_cast<std::uint32_t>(nClutBytes));
        PutLe16(p + 4, tim.nClutX);
        PutLe16(p + 6, tim.nClutY);
        PutLe16(p + 8, tim.nClutWidth);
        PutLe16(p + 10, tim.nClutHeight);
        p += TIM_BLOCK_HEAD_SIZE;
        for (std::uint16_t c : tim.clut)
        {
            PutLe16(p, c);
            p += 2;
        }
    }
    PutLe32(p, static_cast<std::uint32_t>(nPixels + TIM_BLOCK_HEAD_SIZE));
    PutLe16(p + 4, tim.nImageX);
    PutLe16(p + 6, tim.nImageY);
    PutLe16(p + 8, tim.nImageUnits);
    PutLe16(p + 10, tim.nImageHeight);
    p += TIM_BLOCK_HEAD_SIZE;
    if (nPixels != 0)
        std::copy(tim.pPixels, tim.pPixels + nPixels, p);
    out.swap(bytes);
    return true;
}
