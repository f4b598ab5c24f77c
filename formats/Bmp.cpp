#include "formats/Bmp.h"

#include "formats/detail/StreamIo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace
{
std::uint64_t AbsHeight(std::int32_t nHeight)
{
    const std::int64_t l = nHeight;
    return static_cast<std::uint64_t>(l < 0 ? -l : l);
}

// Where the bytes of the file's pixel data belong in the top-down buffer.
struct BmpLayout
{
    std::uint64_t nWidth;      // bytes per row in memory
    std::uint64_t nHeight;     // rows
    std::uint64_t nStride;     // bytes per row in the file
    std::uint64_t nFileImage;  // nStride x nHeight; file bytes after this are kept as they are
    std::uint64_t nDataSize;   // bfSize - bfOffBits
    bool bBottomUp;

    std::uint64_t BufferSize() const { return nWidth * nHeight + (nDataSize - nFileImage); }

    // Where a piece can be read straight into the buffer: unpadded rows, and
    // for bottom-up files a piece of whole rows, whose rows are then reversed
    // in place while they are still in cache. Null when the piece needs the bounce buffer.
    template <class T>
    T* DirectTarget(T* pBits, std::uint64_t nFileOff, std::uint64_t nCount) const
    {
        if (nStride != nWidth || nWidth == 0 || nFileOff + nCount > nFileImage)
            return nullptr;
        if (!bBottomUp)
            return pBits + nFileOff;
        if (nFileOff % nWidth != 0 || nCount % nWidth != 0)
            return nullptr;
        const std::uint64_t nFirstRow = nFileOff / nWidth;
        const std::uint64_t nRows = nCount / nWidth;
        return pBits + (nHeight - nFirstRow - nRows) * nWidth;
    }

    void FixDirectPiece(std::uint8_t* p, std::uint64_t nCount) const
    {
        if (!bBottomUp)
            return;
        const std::uint64_t nRows = nCount / nWidth;
        for (std::uint64_t r = 0; r < nRows / 2; ++r)
            std::swap_ranges(p + r * nWidth, p + (r + 1) * nWidth, p + (nRows - 1 - r) * nWidth);
    }

    // Calls fn(file offset within the piece, buffer offset, count) for each run of
    // image or trailing bytes in [nFileOff, nFileOff + nCount); padding is skipped.
    template <class Fn>
    void ForEachRun(std::uint64_t nFileOff, std::uint64_t nCount, Fn fn) const
    {
        std::uint64_t nDone = 0;
        while (nDone < nCount)
        {
            const std::uint64_t f = nFileOff + nDone;
            if (f < nFileImage)
            {
                const std::uint64_t nRow = f / nStride;
                const std::uint64_t nCol = f % nStride;
                const std::uint64_t nTake = std::min(nCount - nDone, nStride - nCol);
                if (nCol < nWidth)
                {
                    const std::uint64_t nMemRow = bBottomUp ? nHeight - 1 - nRow : nRow;
                    fn(nDone, nMemRow * nWidth + nCol, std::min(nTake, nWidth - nCol));
                }
                nDone += nTake;
            }
            else
            {
                fn(nDone, nWidth * nHeight + (f - nFileImage), nCount - nDone);
                nDone = nCount;
            }
        }
    }
};

// False when the header cannot describe a pixel buffer.
bool MakeLayout(const BmpFileHeader& fh, const BmpInfoHeader& ih, BmpLayout& layout)
{
    if (fh.bfSize < fh.bfOffBits || ih.biWidth < 0)
        return false;
    layout.nWidth = static_cast<std::uint64_t>(ih.biWidth);
    layout.nHeight = AbsHeight(ih.biHeight);
    layout.nDataSize = fh.bfSize - fh.bfOffBits;
    layout.nStride = layout.nWidth;
    // Rows of exactly biWidth bytes unless the pixel byte count says they are padded: the
    // program's earlier files have unpadded rows, and each file is written back as it came.
    const std::uint64_t nPadded = BmpPaddedRow(layout.nWidth, 8);
    if (nPadded != layout.nWidth && nPadded * layout.nHeight == layout.nDataSize)
        layout.nStride = nPadded;
    layout.nFileImage = layout.nStride * layout.nHeight;
    layout.bBottomUp = ih.biHeight > 0;
    return layout.nFileImage <= layout.nDataSize;
}
}  // namespace

CBmpData::CBmpData() : m_fileHeader{}, m_infoHeader{}, m_pPalette(nullptr), m_nBitsSize(0) {}

CBmpData::~CBmpData() = default;

std::uint64_t CBmpData::FileRowLength() const
{
    BmpLayout layout{};
    return MakeLayout(m_fileHeader, m_infoHeader, layout) ? layout.nStride : 0;
}

bool CBmpData::HasCompleteImage() const
{
    if (m_infoHeader.biWidth < 0)
        return false;
    const std::uint64_t nImage = static_cast<std::uint64_t>(m_infoHeader.biWidth) * AbsHeight(m_infoHeader.biHeight);
    return nImage == 0 || (m_pBits && nImage <= m_nBitsSize);
}

FormatResult CBmpData::ReadBmp(IByteStream& file, bool bReadPixels)
{
    try
    {
        const std::uint64_t nStart = file.GetPosition();

        std::uint8_t fileBytes[BMP_FILE_HEADER_SIZE] = {};
        const std::uint32_t nGot = file.Read(fileBytes, sizeof fileBytes);
        BmpFileHeader fileHeader{};
        ParseBmpFileHeader(fileBytes, fileHeader);
        if (nGot < 2 || fileHeader.bfType != BMP_TYPE)
            return FMT_BMP_TYPE;
        if (nGot < sizeof fileBytes)
            return FMT_BMP_TRUNCATED;

        std::uint8_t infoBytes[BMP_INFO_HEADER_SIZE] = {};
        if (file.Read(infoBytes, sizeof infoBytes) != sizeof infoBytes)
            return FMT_BMP_TRUNCATED;
        BmpInfoHeader infoHeader{};
        ParseBmpInfoHeader(infoBytes, infoHeader);
        if (infoHeader.biBitCount != 8)
            return FMT_BMP_NOT_8BIT;

        std::uint8_t table[BMP_COLOR_TABLE_SIZE];
        if (file.Read(table, sizeof table) != sizeof table)
            return FMT_BMP_TRUNCATED;
        RgbPalette palette;
        ParseBmpColorTable(table, 256, palette);

        if (!bReadPixels)
        {
            m_fileHeader = fileHeader;
            m_infoHeader = infoHeader;
            if (m_pPalette)
                *m_pPalette = palette;
            return FMT_OK;
        }

        if (file.GetPosition() - nStart != fileHeader.bfOffBits)
            return FMT_BMP_OFFSET;
        if (infoHeader.biCompression != 0)
            return FMT_BMP_COMPRESSED;

        BmpLayout layout{};
        if (!MakeLayout(fileHeader, infoHeader, layout) || layout.nDataSize > BytesLeft(file))
            return FMT_BMP_TRUNCATED;

        const std::uint64_t nBufSize = layout.BufferSize();
        PixelBuffer pBits = TryAllocPixels(nBufSize);
        if (!pBits)
            return FMT_NO_MEMORY;

        // Each piece lands in a small bounce buffer that stays in cache and is
        // scattered to its rows from there, so the pixels cross memory once.
        std::vector<std::uint8_t> piece(std::min<std::uint64_t>(layout.nDataSize, FMT_PIECE_SIZE));
        for (std::uint64_t nOff = 0; nOff < layout.nDataSize;)
        {
            const auto nPart = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout.nDataSize - nOff, FMT_PIECE_SIZE));
            std::uint8_t* pDirect = layout.DirectTarget(pBits.get(), nOff, nPart);
            if (pDirect)
            {
                if (file.Read(pDirect, nPart) != nPart)
                    return FMT_BMP_TRUNCATED;
                layout.FixDirectPiece(pDirect, nPart);
                nOff += nPart;
                continue;
            }
            if (file.Read(piece.data(), nPart) != nPart)
                return FMT_BMP_TRUNCATED;
            layout.ForEachRun(nOff, nPart, [&](std::uint64_t nSrc, std::uint64_t nDst, std::uint64_t nCount) {
                std::memcpy(pBits.get() + nDst, piece.data() + nSrc, static_cast<std::size_t>(nCount));
            });
            nOff += nPart;
        }

        // A top-down file is held like any other: rows top first in memory, and
        // a positive height so that it is written back in the usual order.
        infoHeader.biHeight = static_cast<std::int32_t>(layout.nHeight);
        m_fileHeader = fileHeader;
        m_infoHeader = infoHeader;
        m_pBits = std::move(pBits);
        m_nBitsSize = static_cast<std::size_t>(nBufSize);
        if (m_pPalette)
            *m_pPalette = palette;
        return FMT_OK;
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }
}

FormatResult CBmpData::WriteBmp(IByteStream& file)
{
    return WriteBmp(file, m_pBits.get(), m_nBitsSize);
}

FormatResult CBmpData::WriteBmp(IByteStream& file, const std::uint8_t* pBits, std::uint64_t nBitsSize) const
{
    BmpLayout layout{};
    if (!m_pPalette || !MakeLayout(m_fileHeader, m_infoHeader, layout))
        return FMT_BAD_RECORD;
    const std::uint64_t nBufSize = layout.BufferSize();
    if (nBufSize > nBitsSize || (nBufSize != 0 && pBits == nullptr))
        return FMT_BAD_RECORD;

    std::vector<std::uint8_t> piece;
    try
    {
        piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(layout.nDataSize, FMT_PIECE_SIZE)));
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }

    std::uint8_t headers[BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE];
    StoreBmpFileHeader(headers, m_fileHeader);
    StoreBmpInfoHeader(headers + BMP_FILE_HEADER_SIZE, m_infoHeader);
    file.Write(headers, BMP_FILE_HEADER_SIZE);
    file.Write(headers + BMP_FILE_HEADER_SIZE, BMP_INFO_HEADER_SIZE);

    std::uint8_t table[BMP_COLOR_TABLE_SIZE] = {};
    StoreBmpColorTable(table, 256, *m_pPalette);
    file.Write(table, sizeof table);

    for (std::uint64_t nOff = 0; nOff < layout.nDataSize;)
    {
        const auto nPart = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout.nDataSize - nOff, FMT_PIECE_SIZE));
        // Whole rows are gathered walking the buffer forwards, which the
        // prefetcher follows; the generic path walks it backwards row by row.
        if (const std::uint8_t* pRegion = layout.DirectTarget(pBits, nOff, nPart))
        {
            const std::uint8_t* pOut = pRegion;
            if (layout.bBottomUp)
            {
                const std::uint64_t nRows = nPart / layout.nWidth;
                for (std::uint64_t r = 0; r < nRows; ++r)
                    std::memcpy(piece.data() + (nRows - 1 - r) * layout.nWidth, pRegion + r * layout.nWidth,
                                static_cast<std::size_t>(layout.nWidth));
                pOut = piece.data();
            }
            file.Write(pOut, nPart);
            nOff += nPart;
            continue;
        }
        if (layout.nStride != layout.nWidth)
            std::memset(piece.data(), 0, nPart);  // row padding
        layout.ForEachRun(nOff, nPart, [&](std::uint64_t nDst, std::uint64_t nSrc, std::uint64_t nCount) {
            std::memcpy(piece.data() + nDst, pBits + nSrc, static_cast<std::size_t>(nCount));
        });
        file.Write(piece.data(), nPart);
        nOff += nPart;
    }
    return FMT_OK;
}
