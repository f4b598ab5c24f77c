#include "display/WinGSurface.h"

#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdlib>

// WinG reads the colour table straight after the header.
static_assert(offsetof(CWinGSurface, m_bmiColors) ==
              offsetof(CWinGSurface, m_bmiHeader) + sizeof(BITMAPINFOHEADER));

namespace
{

constexpr WORD PALETTE_VERSION = 0x300;
// Entries below the image colours and from their end on are the system's.
constexpr int STATIC_LOW_END = PAL_FIRST_IMAGE_COLOR;
constexpr int STATIC_HIGH_START = PAL_FIRST_IMAGE_COLOR + PAL_IMAGE_COLORS;

} // namespace

CWinGSurface::CWinGSurface()
    : m_hDC(nullptr), m_bits{0, 0, 1, nullptr}, m_pReserved(nullptr), m_bmiHeader{}, m_bmiColors{},
      m_hOldBitmap(nullptr), m_hPalette(nullptr), m_logPalette{}
{
}

CWinGSurface::~CWinGSurface()
{
    Destroy();
}

void CWinGSurface::MakeEmpty()
{
    m_bits.width = 0;
    m_bits.height = 0;
    m_bits.bits = nullptr;
}

void CWinGSurface::SetSize(std::int32_t width, std::int32_t height)
{
    if (width == m_bits.width && height == m_bits.height)
        return;
    if (width <= 0 || height <= 0)
        return;

    void* pBits = nullptr;
    if (m_hDC != nullptr)
    {
        m_bmiHeader.biWidth = width;
        m_bmiHeader.biHeight = m_bits.orientation * height;
        HBITMAP hBitmap = WinGCreateBitmap(m_hDC, &m_bmiHeader, &pBits);
        if (hBitmap == nullptr)
        {
            // Give the old bitmap up too: an empty surface is better than one whose size
            // disagrees with what the caller asked for.
            if (m_bits.bits != nullptr)
                DeleteObject(SelectObject(m_hDC, m_hOldBitmap));
            MakeEmpty();
            return;
        }
        HGDIOBJ hPrevious = SelectObject(m_hDC, hBitmap);
        if (hPrevious != m_hOldBitmap)
            DeleteObject(hPrevious);
    }
    else
    {
        if (WinGRecommendDIBFormat(&m_bmiHeader))
        {
            m_bmiHeader.biCompression = 0;
            m_bmiHeader.biBitCount = 8;
            // A zero height would give a bitmap with no rows; treat it as bottom-up.
            m_bits.orientation = m_bmiHeader.biHeight < 0 ? -1 : 1;
        }
        else
        {
            m_bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            m_bmiHeader.biPlanes = 1;
            m_bmiHeader.biBitCount = 8;
            m_bmiHeader.biCompression = 0;
            m_bmiHeader.biSizeImage = 0;
            m_bmiHeader.biClrUsed = 0;
            m_bmiHeader.biClrImportant = 0;
            m_bmiHeader.biXPelsPerMeter = 0;
            m_bmiHeader.biYPelsPerMeter = 0;
        }
        m_bmiHeader.biWidth = width;
        m_bmiHeader.biHeight = m_bits.orientation * height;
        if (m_hPalette == nullptr)
            SetColors(nullptr, 0, 0);

        m_hDC = WinGCreateDC();
        if (m_hDC == nullptr)
        {
            MakeEmpty();
            return;
        }
        HBITMAP hBitmap = WinGCreateBitmap(m_hDC, &m_bmiHeader, &pBits);
        if (hBitmap == nullptr)
        {
            DeleteDC(m_hDC);
            m_hDC = nullptr;
            MakeEmpty();
            return;
        }
        m_hOldBitmap = static_cast<HBITMAP>(SelectObject(m_hDC, hBitmap));
    }

    m_bits.bits = static_cast<std::uint8_t*>(pBits);
    m_bits.width = m_bmiHeader.biWidth;
    m_bits.height = m_bmiHeader.biHeight > 0 ? m_bmiHeader.biHeight : -m_bmiHeader.biHeight;
}

void CWinGSurface::SetColors(const std::uint8_t* rgb, std::int32_t first, std::int32_t count)
{
    std::int64_t nEnd = std::int64_t{first} + count;
    if (nEnd > 256)
        nEnd = 256;
    // Entries below 0 are skipped like those above 255; a missing source writes nothing.
    const std::int64_t nBegin = first < 0 ? 0 : first;
    if (rgb == nullptr)
        nEnd = nBegin;

    if (m_hPalette == nullptr)
    {
        m_logPalette.palVersion = PALETTE_VERSION;
        m_logPalette.palNumEntries = 256;
        HDC hScreen = GetDC(nullptr);
        GetSystemPaletteEntries(hScreen, 0, 256, m_logPalette.palPalEntry);
        ReleaseDC(nullptr, hScreen);
        for (int i = 0; i < 256; ++i)
        {
            PALETTEENTRY& entry = m_logPalette.palPalEntry[i];
            m_bmiColors[i] = RGBQUAD{entry.peBlue, entry.peGreen, entry.peRed, 0};
            entry.peFlags = (i < STATIC_LOW_END || i >= STATIC_HIGH_START) ? BYTE{0} : BYTE{PC_NOCOLLAPSE};
        }
    }

    for (std::int64_t i = nBegin; i < nEnd; ++i)
    {
        const std::uint8_t* pTriple = rgb + 3 * (i - first);
        m_logPalette.palPalEntry[i] = PALETTEENTRY{pTriple[0], pTriple[1], pTriple[2], PC_NOCOLLAPSE};
        m_bmiColors[i] = RGBQUAD{pTriple[2], pTriple[1], pTriple[0], 0};
    }

    if (m_hPalette != nullptr)
        DeleteObject(m_hPalette);
    m_hPalette = CreatePalette(&m_logPalette);

    if (m_hDC != nullptr && nBegin < nEnd)
        WinGSetDIBColorTable(m_hDC, static_cast<UINT>(nBegin), static_cast<UINT>(nEnd - nBegin),
                             &m_bmiColors[nBegin]);
}

void CWinGSurface::GetColors(std::uint8_t* rgb, std::int32_t first, std::int32_t count) const
{
    if (rgb == nullptr)
        return;
    std::int64_t nEnd = std::int64_t{first} + count;
    if (nEnd > 256)
        nEnd = 256;
    for (std::int64_t i = first < 0 ? 0 : first; i < nEnd; ++i)
    {
        std::uint8_t* pTriple = rgb + 3 * (i - first);
        pTriple[0] = m_bmiColors[i].rgbRed;
        pTriple[1] = m_bmiColors[i].rgbGreen;
        pTriple[2] = m_bmiColors[i].rgbBlue;
    }
}

BOOL CWinGSurface::BlitTo(HDC dc)
{
    if (m_hDC == nullptr || m_bits.bits == nullptr)
        return 0;
    return WinGBitBlt(dc, 0, 0, m_bits.width, m_bits.height, m_hDC, 0, 0);
}

void CWinGSurface::Destroy()
{
    if (m_hDC != nullptr)
    {
        if (m_hOldBitmap != nullptr)
        {
            HGDIOBJ hSurface = SelectObject(m_hDC, m_hOldBitmap);
            if (hSurface != m_hOldBitmap)
                DeleteObject(hSurface);
            m_hOldBitmap = nullptr;
        }
        DeleteDC(m_hDC);
        m_hDC = nullptr;
    }
    if (m_hPalette != nullptr)
    {
        DeleteObject(m_hPalette);
        m_hPalette = nullptr;
    }
    if (m_pReserved != nullptr)
    {
        std::free(m_pReserved);
        m_pReserved = nullptr;
    }
    // The pixels went with the bitmap; leave nothing for a late draw to write through.
    MakeEmpty();
}

void CWinGSurface::NoteBitsChanged()
{
    WinGNoteBitsChanged(m_hDC);
}

void CWinGSurface::FillRect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                            std::uint8_t colour)
{
    ::FillRect(m_bits, x0, y0, x1, y1, colour);
    NoteBitsChanged();
}

void CWinGSurface::DrawCell(const std::uint8_t* cells, std::int32_t x, std::int32_t y, std::int32_t n,
                            std::int32_t index)
{
    ::DrawCell(m_bits, cells, x, y, n, index);
    NoteBitsChanged();
}

void CWinGSurface::DrawCell(const std::uint8_t* cells, std::size_t nCellsSize, std::int32_t x,
                            std::int32_t y, std::int32_t n, std::int32_t index)
{
    ::DrawCell(m_bits, cells, nCellsSize, x, y, n, index);
    NoteBitsChanged();
}

void CWinGSurface::DrawCellRect(const std::uint8_t* cells, std::size_t nCellsSize, std::int32_t x,
                                std::int32_t y, std::int32_t cellWidth, std::int32_t cellHeight,
                                std::int32_t index)
{
    ::DrawCellRect(m_bits, cells, nCellsSize, x, y, cellWidth, cellHeight, index);
    NoteBitsChanged();
}

void CWinGSurface::DrawRow(std::int32_t x, std::int32_t y, std::int32_t count, std::uint32_t step,
                           const std::uint8_t* src)
{
    ::DrawRow(m_bits, x, y, count, step, src);
    NoteBitsChanged();
}

void CWinGSurface::DrawRow(std::int32_t x, std::int32_t y, std::int32_t count, std::uint32_t step,
                           const std::uint8_t* src, std::size_t nSrcSize)
{
    ::DrawRow(m_bits, x, y, count, step, src, nSrcSize);
    NoteBitsChanged();
}
