#include "formats/Tim.h"

#include "formats/ByteOrder.h"
#include "formats/detail/StreamIo.h"

#include <cstring>
#include <new>

namespace
{
// A fixed-length inner loop vectorises even under -O2's cheap cost model.
constexpr std::size_t SHIFT_BLOCK = 64;

void ToRgb(std::uint16_t c, std::uint8_t* pRgb)
{
    pRgb[0] = static_cast<std::uint8_t>((c & 31) * 8);
    pRgb[1] = static_cast<std::uint8_t>(((c >> 5) & 31) * 8);
    pRgb[2] = static_cast<std::uint8_t>(((c >> 10) & 31) * 8);
}

std::uint16_t FromRgb(const std::uint8_t* pRgb)
{
    return static_cast<std::uint16_t>(((pRgb[2] >> 3) << 10) | ((pRgb[1] >> 3) << 5) | (pRgb[0] >> 3));
}
}  // namespace

void ShiftPixelsTo(std::uint8_t* __restrict pDst, const std::uint8_t* __restrict pSrc, std::size_t nCount,
                   std::uint8_t nShift)
{
    std::size_t i = 0;
    for (; i + SHIFT_BLOCK <= nCount; i += SHIFT_BLOCK)
        for (std::size_t k = 0; k < SHIFT_BLOCK; ++k)
            pDst[i + k] = static_cast<std::uint8_t>(pSrc[i + k] + nShift);
    for (; i < nCount; ++i)
        pDst[i] = static_cast<std::uint8_t>(pSrc[i] + nShift);
}

// Its own loop rather than ShiftPixelsTo(p, p): one pointer cannot alias, so
// the compiler vectorises without a runtime overlap check.
void ShiftPixels(std::uint8_t* pPixels, std::size_t nCount, std::uint8_t nShift)
{
    std::size_t i = 0;
    for (; i + SHIFT_BLOCK <= nCount; i += SHIFT_BLOCK)
        for (std::size_t k = 0; k < SHIFT_BLOCK; ++k)
            pPixels[i + k] = static_cast<std::uint8_t>(pPixels[i + k] + nShift);
    for (; i < nCount; ++i)
        pPixels[i] = static_cast<std::uint8_t>(pPixels[i] + nShift);
}

CTimData::CTimData()
    : m_id(0), m_version(0), m_reserved(0), m_flags(0), m_clutLength(0), m_clutX(0), m_clutY(0),
      m_clutWidth(0), m_clutHeight(0), m_imageLength(0), m_imageX(0), m_imageY(0), m_imageWidth(0),
      m_imageHeight(0), m_pPalette(nullptr), m_nPixelsSize(0)
{
}

CTimData::~CTimData() = default;

std::uint64_t CTimData::PixelByteCount() const
{
    return 2 * std::uint64_t{m_imageWidth} * m_imageHeight;
}

FormatResult CTimData::ReadTim(IByteStream& file, bool bReadPixels)
{
    try
    {
        std::uint8_t head[TIM_FILE_HEADER_SIZE] = {};
        const std::uint32_t nGot = file.Read(head, sizeof head);
        if (nGot < 1 || head[0] != TIM_ID)
            return FMT_TIM_ID;
        if (nGot < 2 || head[1] != 0)
            return FMT_TIM_VERSION;
        // A file cut before its mode byte is short, not of another colour depth.
        if (nGot < 5)
            return FMT_TIM_TRUNCATED;
        if (head[4] != TIM_MODE_8BIT_CLUT)
            return FMT_TIM_NOT_8BIT;
        if (nGot < sizeof head)
            return FMT_TIM_TRUNCATED;
        TimFileHeader fileHeader{};
        ParseTimFileHeader(head, fileHeader);

        std::uint8_t clutHead[TIM_BLOCK_HEADER_SIZE];
        if (file.Read(clutHead, sizeof clutHead) != sizeof clutHead)
            return FMT_TIM_TRUNCATED;
        TimBlockHeader clut{};
        ParseTimBlockHeader(clutHead, clut);
        if (clut.length < TIM_BLOCK_HEADER_SIZE)
            return FMT_TIM_TRUNCATED;

        // Only the first 256 colours are used; further tables are passed over.
        const std::uint32_t nColorBytes = clut.length - TIM_BLOCK_HEADER_SIZE;
        const std::uint32_t nTake = nColorBytes < 512 ? nColorBytes : 512;
        const std::uint32_t nSkip = nColorBytes - nTake;
        if (nColorBytes > BytesLeft(file))
            return FMT_TIM_TRUNCATED;
        std::uint8_t table[512] = {};
        if (file.Read(table, nTake) != nTake)
            return FMT_TIM_TRUNCATED;
        if (nSkip != 0)
            file.Seek(nSkip, STREAM_CURRENT);

        RgbPalette palette;
        for (std::uint32_t i = 0; i < 256; ++i)
            ToRgb(GetLe16(table + 2 * i), palette.rgb + 3 * ((i + PAL_FIRST_IMAGE_COLOR) % 256));

        TimBlockHeader image{};
        PixelBuffer pPixels;
        std::uint64_t nPixels = 0;
        if (bReadPixels)
        {
            std::uint8_t imageHead[TIM_BLOCK_HEADER_SIZE];
            if (file.Read(imageHead, sizeof imageHead) != sizeof imageHead)
                return FMT_TIM_TRUNCATED;
            ParseTimBlockHeader(imageHead, image);
            nPixels = 2 * std::uint64_t{image.width} * image.height;
            if (nPixels > BytesLeft(file))
                return FMT_TIM_TRUNCATED;
            pPixels = TryAllocPixels(nPixels);
            if (!pPixels)
                return FMT_NO_MEMORY;
            if (!ReadExact(file, pPixels.get(), nPixels))
                return FMT_TIM_TRUNCATED;
            ShiftPixels(pPixels.get(), static_cast<std::size_t>(nPixels), PAL_FIRST_IMAGE_COLOR);
        }

        m_id = fileHeader.id;
        m_version = fileHeader.version;
        m_reserved = fileHeader.reserved;
        m_flags = fileHeader.flags;
        m_clutLength = clut.length;
        m_clutX = clut.x;
        m_clutY = clut.y;
        m_clutWidth = clut.width;
        m_clutHeight = clut.height;
        if (bReadPixels)
        {
            m_imageLength = image.length;
            m_imageX = image.x;
            m_imageY = image.y;
            m_imageWidth = image.width;
            m_imageHeight = image.height;
            m_pPixels = std::move(pPixels);
            m_nPixelsSize = static_cast<std::size_t>(nPixels);
        }
        if (m_pPalette)
            *m_pPalette = palette;
        return FMT_OK;
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }
}

FormatResult CTimData::WriteTim(IByteStream& file)
{
    const std::uint64_t nPixels = PixelByteCount();
    if (!m_pPalette || nPixels > m_nPixelsSize || (nPixels != 0 && !m_pPixels))
        return FMT_BAD_RECORD;

    WriteTimFileHeader(file, TimFileHeader{m_id, m_version, m_reserved, m_flags});
    // Exactly 256 colours follow, so the length written says so whatever was read, and so
    // do the width and height: those of a block of several rows or of 16 colours would
    // describe colours that are not there.
    const bool bKeepSize = std::uint32_t{m_clutWidth} * m_clutHeight == 256;
    const std::uint16_t nClutWidth = bKeepSize ? m_clutWidth : std::uint16_t{256};
    const std::uint16_t nClutHeight = bKeepSize ? m_clutHeight : std::uint16_t{1};
    WriteTimBlockHeader(file, TimBlockHeader{TIM_CLUT_LENGTH, m_clutX, m_clutY, nClutWidth, nClutHeight});
    std::uint8_t table[512];
    for (std::uint32_t i = 0; i < 256; ++i)
        PutLe16(table + 2 * i, FromRgb(m_pPalette->rgb + 3 * ((i + PAL_FIRST_IMAGE_COLOR) % 256)));
    file.Write(table, sizeof table);
    WriteTimBlockHeader(file, TimBlockHeader{m_imageLength, m_imageX, m_imageY, m_imageWidth, m_imageHeight});

    // The file's values are shifted down in place and back afterwards, even when the write
    // throws: a second full-size buffer would cost as much memory as the image itself.
    struct CShiftBack
    {
        std::uint8_t* p;
        std::size_t n;
        ~CShiftBack() { ShiftPixels(p, n, PAL_FIRST_IMAGE_COLOR); }
    };
    const std::size_t nCount = static_cast<std::size_t>(nPixels);
    ShiftPixels(m_pPixels.get(), nCount, static_cast<std::uint8_t>(256 - PAL_FIRST_IMAGE_COLOR));
    const CShiftBack shiftBack{m_pPixels.get(), nCount};
    WriteExact(file, m_pPixels.get(), nPixels);
    return FMT_OK;
}
