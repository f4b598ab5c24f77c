#include "formats/TimImage.h"

#include "formats/ByteOrder.h"
#include "formats/detail/StreamIo.h"

#include <algorithm>
#include <limits>
#include <vector>

std::uint32_t TimImage::PaletteCount() const
{
    const std::uint64_t nSize = PaletteSize();
    return nSize == 0 ? 0u : static_cast<std::uint32_t>((clut.size() + nSize - 1) / nSize);
}

int TimModeBpp(std::uint32_t nMode)
{
    static const int s_bpp[4] = {4, 8, 16, 24};
    return nMode <= TIM_MODE_24BIT ? s_bpp[nMode] : 0;
}

FormatResult ParseTimImage(const std::uint8_t* pData, std::size_t nSize, TimImage& out)
{
    out = TimImage{};
    if (nSize < 1 || pData[0] != TIM_ID)
        return FMT_TIM_ID;
    if (nSize < TIM_FILE_HEADER_SIZE)
        return FMT_TIM_TRUNCATED;
    ParseTimFileHeader(pData, out.header);
    if (out.header.version != 0)
        return FMT_TIM_VERSION;
    out.nBpp = TimModeBpp(out.header.flags & TIM_FLAG_MODE_MASK);
    if (out.nBpp == 0)
        return FMT_TIM_MODE;
    // 4 and 8 bits without a CLUT are textures whose colours are in another file.
    std::uint64_t nPos = TIM_FILE_HEADER_SIZE;
    if (out.HasClut())
    {
        if (nSize - nPos < TIM_BLOCK_HEADER_SIZE)
            return FMT_TIM_CLUT_CUT;
        ParseTimBlockHeader(pData + nPos, out.clutBlock);
        const std::uint64_t nLength = out.clutBlock.length;
        if (nLength < TIM_BLOCK_HEADER_SIZE)
            return FMT_TIM_CLUT_LENGTH;
        if (nLength > nSize - nPos)
            return FMT_TIM_CLUT_CUT;
        const std::uint8_t* pColours = pData + nPos + TIM_BLOCK_HEADER_SIZE;
        out.clut.resize(static_cast<std::size_t>((nLength - TIM_BLOCK_HEADER_SIZE) / 2));
        for (std::size_t i = 0; i < out.clut.size(); ++i)
            out.clut[i] = GetLe16(pColours + 2 * i);
        nPos += nLength;
        if (out.nBpp <= 8 && out.clut.empty())
            return FMT_TIM_CLUT_EMPTY;
    }

    if (nSize - nPos < TIM_BLOCK_HEADER_SIZE)
        return FMT_TIM_IMAGE_CUT;
    ParseTimBlockHeader(pData + nPos, out.imageBlock);
    nPos += TIM_BLOCK_HEADER_SIZE;
    if (out.RowBytes() * out.imageBlock.height > nSize - nPos)
        return FMT_TIM_IMAGE_CUT;
    const std::uint32_t nUnits = out.imageBlock.width;
    const int nBpp = out.nBpp;
    out.nPixelWidth = nBpp == 4 ? 4 * nUnits : (nBpp == 8 ? 2 * nUnits : (nBpp == 16 ? nUnits : 2 * nUnits / 3));
    if (out.nPixelWidth == 0 || out.imageBlock.height == 0)
        return FMT_TIM_EMPTY;
    out.pPixels = pData + nPos;
    return FMT_OK;
}

namespace
{
// Everything before the pixels; FMT_TIM_TOO_LARGE, with nothing written, when a length does not fit.
FormatResult WriteTimHeaders(IByteStream& file, const TimImage& tim)
{
    constexpr std::uint64_t MAX_LENGTH = std::numeric_limits<std::uint32_t>::max();
    const std::uint64_t nPixels = tim.RowBytes() * tim.imageBlock.height;
    const std::uint64_t nClutBytes = tim.HasClut() ? TIM_BLOCK_HEADER_SIZE + 2 * std::uint64_t{tim.clut.size()} : 0;
    if (nClutBytes > MAX_LENGTH || nPixels + TIM_BLOCK_HEADER_SIZE > MAX_LENGTH)
        return FMT_TIM_TOO_LARGE;

    WriteTimFileHeader(file, tim.header);
    if (tim.HasClut())
    {
        TimBlockHeader clutBlock = tim.clutBlock;
        clutBlock.length = static_cast<std::uint32_t>(nClutBytes);
        WriteTimBlockHeader(file, clutBlock);
        std::vector<std::uint8_t> colours(2 * tim.clut.size());
        for (std::size_t i = 0; i < tim.clut.size(); ++i)
            PutLe16(colours.data() + 2 * i, tim.clut[i]);
        WriteExact(file, colours.data(), colours.size());
    }
    TimBlockHeader imageBlock = tim.imageBlock;
    imageBlock.length = static_cast<std::uint32_t>(nPixels + TIM_BLOCK_HEADER_SIZE);
    WriteTimBlockHeader(file, imageBlock);
    return FMT_OK;
}
}  // namespace

FormatResult WriteTimImage(IByteStream& file, const TimImage& tim)
{
    if (const FormatResult nResult = WriteTimHeaders(file, tim); nResult != FMT_OK)
        return nResult;
    WriteExact(file, tim.pPixels, tim.RowBytes() * tim.imageBlock.height);
    return FMT_OK;
}

FormatResult WriteTimImage(IByteStream& file, const TimImage& tim,
                           const std::function<void(std::uint32_t, std::uint8_t*)>& fnRow)
{
    if (const FormatResult nResult = WriteTimHeaders(file, tim); nResult != FMT_OK)
        return nResult;
    // Rows gathered into pieces of about a MiB: few writes, little memory.
    const std::size_t nRow = static_cast<std::size_t>(tim.RowBytes());
    const std::uint32_t nHeight = tim.imageBlock.height;
    const std::uint32_t nRowsAtOnce = nRow == 0 ? 1 : static_cast<std::uint32_t>(std::max<std::size_t>(1, (std::size_t{1} << 20) / nRow));
    std::vector<std::uint8_t> piece;
    for (std::uint32_t y = 0; y < nHeight; y += nRowsAtOnce)
    {
        const std::uint32_t nRows = std::min(nRowsAtOnce, nHeight - y);
        piece.assign(nRow * nRows, 0);
        for (std::uint32_t r = 0; r < nRows; ++r)
            fnRow(y + r, piece.data() + nRow * r);
        WriteExact(file, piece.data(), piece.size());
    }
    return FMT_OK;
}
