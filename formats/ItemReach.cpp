#include "formats/ItemReach.h"

#include "formats/BfntFormat.h"
#include "formats/BmpFormat.h"
#include "formats/BmpImage.h"
#include "formats/ByteOrder.h"
#include "formats/DataKinds.h"
#include "formats/TimFormat.h"
#include "formats/detail/RleWalk.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
constexpr std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// n bytes at nOffset, all of them or false.
bool ReadExactAt(const ReachReader& read, std::uint8_t* p, std::size_t n, std::uint64_t nOffset, std::uint64_t nFileSize)
{
    return nOffset <= nFileSize && n <= nFileSize - nOffset && read(p, n, nOffset) == n;
}

std::uint64_t TimReach(const ReachReader& read, const std::uint8_t* pHead, std::size_t nHead, std::uint64_t nFileSize)
{
    if (nHead < TIM_FILE_HEADER_SIZE)
        return nHead;
    std::uint64_t nPos = TIM_FILE_HEADER_SIZE;
    if ((GetLe32(pHead + 4) & TIM_FLAG_CLUT) != 0)
    {
        std::uint8_t block[TIM_BLOCK_HEADER_SIZE];
        if (!ReadExactAt(read, block, sizeof block, nPos, nFileSize))
            return nFileSize;
        nPos += std::max<std::uint64_t>(GetLe32(block), TIM_BLOCK_HEADER_SIZE);
    }
    std::uint8_t block[TIM_BLOCK_HEADER_SIZE];
    if (!ReadExactAt(read, block, sizeof block, nPos, nFileSize))
        return nFileSize;
    return nPos + TIM_BLOCK_HEADER_SIZE + 2 * std::uint64_t{GetLe16(block + 8)} * GetLe16(block + 10);
}

std::uint64_t BfntReach(const std::uint8_t* pHead, std::size_t nHead)
{
    if (nHead < BFNT_HEADER_SIZE)
        return nHead;
    BfntHeader h;
    ParseBfntHeader(pHead, h);
    const bool b16 = (h.format & BFNT_COLOR_MASK) == BFNT_COLORS_16;
    const std::uint64_t nColours = (h.format & BFNT_PALETTE) == 0 ? 0 : (b16 ? 16 : 256);
    const std::uint64_t nPixels = BfntGlyphBytes(h);
    // A 16-colour sheet's odd last pixel may have a byte of its own.
    return BFNT_HEADER_SIZE + std::uint64_t{h.extensionLength} + 3 * nColours + (b16 ? nPixels / 2 + 1 : nPixels);
}

// The bytes an RLE decode takes from nAt on: the codes are walked as the decoder walks them,
// up to the end-of-bitmap code, the last row, or the end of the file.
std::uint64_t RleLength(const ReachReader& read, std::uint64_t nAt, std::uint64_t nFileSize, std::uint64_t w,
                        std::uint64_t h, bool b4)
{
    std::vector<std::uint8_t> buf(std::size_t{64} << 10);
    std::uint64_t nBufAt = nAt;
    std::size_t nBuf = 0;
    std::uint64_t i = nAt;  // position in the file
    // The byte at position k, or false past the end of the file.
    auto byteAt = [&](std::uint64_t k, unsigned& v) {
        if (k < nBufAt || k >= nBufAt + nBuf)
        {
            nBufAt = k;
            nBuf = k < nFileSize ? read(buf.data(), static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), nFileSize - k)), k) : 0;
            if (nBuf == 0)
                return false;
        }
        v = buf[static_cast<std::size_t>(k - nBufAt)];
        return true;
    };
    auto nothing = [](auto...) {};
    if (WalkRle(byteAt, nFileSize, i, w, h, b4, nothing, nothing) != ERleWalk::Done)
        return nFileSize;  // refused: the decoder says why from what the file has
    return std::min(i, nFileSize);
}

std::uint64_t BmpReach(const ReachReader& read, const std::uint8_t* pHead, std::size_t nHead, std::uint64_t nFileSize)
{
    BmpFileHeader fh;
    BmpInfoHeader ih;
    if (nHead < BMP_FILE_HEADER_SIZE + 12)
        return nHead;
    ParseBmpFileHeader(pHead, fh);
    if (!ReadBmpInfoHeader(pHead + BMP_FILE_HEADER_SIZE, nHead - BMP_FILE_HEADER_SIZE, ih))
        return nHead;
    // The info header (the reader takes 124 bytes at most), bit fields and the largest colour table.
    const std::uint64_t nTables = BMP_FILE_HEADER_SIZE + std::min<std::uint64_t>(ih.biSize, 124) + 12 + 4 * 256;
    fh.bfOffBits = static_cast<std::uint32_t>(std::min<std::uint64_t>(BmpPixelStart(fh, ih), UINT32_MAX));
    const std::uint64_t nBits = ih.biBitCount;
    const std::int64_t lWidth = ih.biWidth, lHeight = ih.biHeight;
    if (lWidth < 0)
        return nTables;
    const std::uint64_t w = static_cast<std::uint64_t>(lWidth);
    const std::uint64_t h = static_cast<std::uint64_t>(lHeight < 0 ? -lHeight : lHeight);
    std::uint64_t nPixels = 0;
    if (ih.biCompression == BMP_RGB || ih.biCompression == 3)  // 3: bit fields
        nPixels = BmpPaddedRow(w, nBits) * h;  // padded rows are the longer reading
    else if (ih.biCompression == BMP_RLE8 || ih.biCompression == BMP_RLE4)
        nPixels = RleLength(read, fh.bfOffBits, nFileSize, w, h, ih.biCompression == BMP_RLE4) -
                  std::min<std::uint64_t>(fh.bfOffBits, nFileSize);
    return std::max(nTables, std::uint64_t{fh.bfOffBits} + nPixels);
}

// Up to the end of the IEND chunk; past a chunk that runs out of the file, the whole file.
std::uint64_t PngReach(const ReachReader& read, std::uint64_t nFileSize)
{
    std::uint64_t nPos = sizeof PNG_SIGNATURE;
    std::uint8_t chunk[8];
    while (ReadExactAt(read, chunk, sizeof chunk, nPos, nFileSize))
    {
        nPos += 12 + std::uint64_t{GetBe32(chunk)};
        if (std::memcmp(chunk + 4, "IEND", 4) == 0 || nPos >= nFileSize)
            return nPos;
    }
    return nFileSize;
}
}  // namespace

ItemReach FindItemReach(const ReachReader& read, std::uint64_t nFileSize)
{
    std::uint8_t head[ITEM_HEAD_SIZE];
    const std::size_t nHead = read(head, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, nFileSize)), 0);
    ItemReach out;
    std::uint64_t nReach = nFileSize;
    if (nHead >= sizeof PNG_SIGNATURE && std::memcmp(head, PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0)
    {
        out.kind = EItemKind::Png;
        nReach = PngReach(read, nFileSize);
    }
    else
        switch (DetectDataType(head, nHead))
        {
        case DATA_TIM:
            out.kind = EItemKind::Tim;
            nReach = TimReach(read, head, nHead, nFileSize);
            break;
        case DATA_BMP:
            out.kind = EItemKind::Bmp;
            nReach = BmpReach(read, head, nHead, nFileSize);
            break;
        case DATA_BFNT:
            out.kind = EItemKind::Bfnt;
            nReach = BfntReach(head, nHead);
            break;
        default: break;
        }
    out.nReach = std::min(std::max<std::uint64_t>(nReach, nHead), nFileSize);
    return out;
}
