// Writes the sample files in samples/: an 8-bit BMP, an 8-bit TIM, a 256-colour BFNT sheet
// (all three through the program's own writers) and a 16-colour BFNT sheet, which the program
// never writes, laid out byte by byte.
// Usage: vellum_make_samples <output folder>

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/ByteOrder.h"
#include "formats/MemStream.h"
#include "formats/RgbPalette.h"
#include "formats/Tim.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

constexpr int IMAGE_FIRST = 10;   // image colours sit at 10..245 of the surface
constexpr int IMAGE_COLORS = 236;

// A 5x7 dot-matrix face: seven rows per character, bit 4 is the leftmost column.
struct Glyph5x7
{
    char ch;
    std::uint8_t rows[7];
};

constexpr Glyph5x7 kFace[] = {
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
};

bool FaceDot(int code, int col, int row)
{
    if (col < 0 || col >= 5 || row < 0 || row >= 7)
        return false;
    for (const auto& g : kFace)
        if (g.ch == code)
            return (g.rows[row] >> (4 - col)) & 1;
    return false;
}

std::uint8_t Clamp8(double v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A smooth colour wheel over the image entries; components are multiples of 8 so the
// colours also survive a TIM's 15-bit table.
RgbPalette WheelPalette(double dPhase)
{
    RgbPalette pal{};
    for (int i = 0; i < IMAGE_COLORS; ++i)
    {
        const double t = 2.0 * M_PI * i / IMAGE_COLORS + dPhase;
        std::uint8_t* p = pal.rgb + 3 * (IMAGE_FIRST + i);
        p[0] = Clamp8(128 + 127 * std::sin(t)) & 0xF8;
        p[1] = Clamp8(128 + 127 * std::sin(t + 2.0 * M_PI / 3)) & 0xF8;
        p[2] = Clamp8(128 + 127 * std::sin(t + 4.0 * M_PI / 3)) & 0xF8;
    }
    return pal;
}

std::uint8_t WheelIndex(double v)  // v in any range, wrapped onto the wheel
{
    const double f = v - std::floor(v);
    return static_cast<std::uint8_t>(IMAGE_FIRST + static_cast<int>(f * IMAGE_COLORS) % IMAGE_COLORS);
}

Bytes TakeOrThrow(CMemStream& out, int nResult, const char* pszWhat)
{
    if (nResult != FMT_OK)
    {
        std::fprintf(stderr, "vellum_make_samples: the %s writer refused the record (%d)\n", pszWhat, nResult);
        std::exit(1);
    }
    return out.TakeData();
}

// 128 x 96 plasma, 8 bits per pixel.
Bytes MakeBmp()
{
    constexpr int W = 128, H = 96;
    RgbPalette pal = WheelPalette(0.0);
    CBmpData bmp;
    bmp.m_fileHeader.bfType = BMP_TYPE;
    bmp.m_fileHeader.bfSize = BMP_PIXEL_OFFSET + W * H;
    bmp.m_fileHeader.bfOffBits = BMP_PIXEL_OFFSET;
    bmp.m_infoHeader.biSize = BMP_INFO_HEADER_SIZE;
    bmp.m_infoHeader.biWidth = W;
    bmp.m_infoHeader.biHeight = H;
    bmp.m_infoHeader.biPlanes = 1;
    bmp.m_infoHeader.biBitCount = 8;
    bmp.m_infoHeader.biSizeImage = W * H;
    bmp.m_pBits = std::make_unique<std::uint8_t[]>(W * H);
    bmp.m_nBitsSize = W * H;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
        {
            const double v = std::sin(x / 11.0) + std::sin(y / 7.0) + std::sin((x + y) / 16.0) +
                             std::sin(std::hypot(x - 64.0, y - 48.0) / 6.0);
            bmp.m_pBits[y * W + x] = WheelIndex(v / 4.0);
        }
    bmp.m_pPalette = &pal;
    CMemStream out;
    const int nResult = bmp.WriteBmp(out);
    return TakeOrThrow(out, nResult, "BMP");
}

// 96 x 64 rings around two centres, 8 bits per pixel with a 256-colour table.
Bytes MakeTim()
{
    constexpr int W = 96, H = 64;
    // The TIM record holds its colours and pixels ten places up, like the surface.
    RgbPalette pal = WheelPalette(1.0);
    CTimData tim;
    tim.m_id = TIM_ID;
    tim.m_flags = TIM_MODE_8BIT_CLUT;
    tim.m_clutLength = TIM_CLUT_LENGTH;
    tim.m_clutWidth = 256;
    tim.m_clutHeight = 1;
    tim.m_imageLength = W * H + TIM_BLOCK_HEADER_SIZE;
    tim.m_imageWidth = W / 2;
    tim.m_imageHeight = H;
    tim.m_pPixels = std::make_unique<std::uint8_t[]>(W * H);
    tim.m_nPixelsSize = W * H;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
        {
            const double a = std::hypot(x - 30.0, y - 24.0);
            const double b = std::hypot(x - 70.0, y - 42.0);
            tim.m_pPixels[y * W + x] = WheelIndex((a + b) / 48.0);
        }
    tim.m_pPalette = &pal;
    CMemStream out;
    const int nResult = tim.WriteTim(out);
    return TakeOrThrow(out, nResult, "TIM");
}

// Codes 32 to 90 in 16 x 16 cells: each dot of the face drawn 2 x 2, shaded top to bottom,
// on a dark cell with a faint frame.
Bytes MakeBfnt256()
{
    constexpr int CELL = 16, FIRST = 32, LAST = 90, COUNT = LAST - FIRST + 1;
    RgbPalette pal{};
    constexpr int BACK = IMAGE_FIRST, FRAME = IMAGE_FIRST + 1, INK = IMAGE_FIRST + 2;
    const std::uint8_t back[3] = {16, 24, 48}, frame[3] = {40, 56, 96};
    std::memcpy(pal.rgb + 3 * BACK, back, 3);
    std::memcpy(pal.rgb + 3 * FRAME, frame, 3);
    for (int r = 0; r < CELL; ++r)  // ink: yellow at the top to orange at the bottom
    {
        std::uint8_t* p = pal.rgb + 3 * (INK + r);
        p[0] = 255;
        p[1] = static_cast<std::uint8_t>(240 - 8 * r);
        p[2] = static_cast<std::uint8_t>(96 - 5 * r);
    }

    CBfntData bfnt;
    std::memcpy(bfnt.m_header.magic, "BFNT", 4);
    bfnt.m_header.unknown4 = 0x1A;
    bfnt.m_header.format = BFNT_PALETTE | BFNT_COLORS_256;
    bfnt.m_header.unknown6 = 22;
    bfnt.m_header.glyphWidth = CELL;
    bfnt.m_header.glyphHeight = CELL;
    bfnt.m_header.firstCode = FIRST;
    bfnt.m_header.lastCode = LAST;
    bfnt.m_nGlyphsSize = COUNT * CELL * CELL;
    bfnt.m_pGlyphs = std::make_unique<std::uint8_t[]>(bfnt.m_nGlyphsSize);
    for (int g = 0; g < COUNT; ++g)
        for (int r = 0; r < CELL; ++r)
            for (int c = 0; c < CELL; ++c)
            {
                const bool bFrame = r == 0 || c == 0;
                const bool bDot = FaceDot(FIRST + g, (c - 3) / 2, (r - 1) / 2) && c >= 3 && r >= 1;
                bfnt.m_pGlyphs[(g * CELL + r) * CELL + c] =
                    static_cast<std::uint8_t>(bDot ? INK + r : bFrame ? FRAME : BACK);
            }
    bfnt.m_pPalette = &pal;
    CMemStream out;
    const int nResult = bfnt.WriteBfnt(out);
    return TakeOrThrow(out, nResult, "BFNT");
}

// Codes 48 to 90 in 8 x 8 cells, 16 colours, with a 16-entry palette block.
Bytes MakeBfnt16()
{
    constexpr int CELL = 8, FIRST = 48, LAST = 90, COUNT = LAST - FIRST + 1;
    Bytes out(BFNT_HEADER_SIZE, 0);
    std::memcpy(out.data(), "BFNT", 4);
    out[4] = 0x1A;
    out[5] = BFNT_PALETTE | BFNT_COLORS_16;
    out[6] = 22;
    PutLe16(out.data() + 8, CELL);
    PutLe16(out.data() + 10, CELL);
    PutLe16(out.data() + 12, FIRST);
    PutLe16(out.data() + 14, LAST);
    // Value 0 is the background, 1 to 7 the ink from top to bottom (white to green).
    for (int v = 0; v < 16; ++v)
    {
        const std::uint8_t r = v == 0 ? 0 : static_cast<std::uint8_t>(v <= 7 ? 255 - 32 * v : 0);
        const std::uint8_t g = v == 0 ? 32 : static_cast<std::uint8_t>(v <= 7 ? 255 : 0);
        const std::uint8_t b = v == 0 ? 0 : static_cast<std::uint8_t>(v <= 7 ? 255 - 36 * v : 0);
        out.push_back(b);  // the file keeps blue, red, green
        out.push_back(r);
        out.push_back(g);
    }
    std::vector<std::uint8_t> pixels;
    for (int g = 0; g < COUNT; ++g)
        for (int r = 0; r < CELL; ++r)
            for (int c = 0; c < CELL; ++c)
                pixels.push_back(FaceDot(FIRST + g, c - 1, r) ? static_cast<std::uint8_t>(1 + r) : 0);
    for (std::size_t i = 0; i < pixels.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(pixels[i] << 4 | pixels[i + 1]));
    return out;
}

bool WriteFile(const std::string& strPath, const Bytes& data)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    file.close();
    if (!file)
    {
        std::fprintf(stderr, "vellum_make_samples: cannot write %s\n", strPath.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: vellum_make_samples <output folder>\n");
        return 2;
    }
    const std::string strDir = std::string(argv[1]) + "/";
    const bool bOk = WriteFile(strDir + "picture.bmp", MakeBmp()) &&
                     WriteFile(strDir + "picture.tim", MakeTim()) &&
                     WriteFile(strDir + "font256.fnt", MakeBfnt256()) &&
                     WriteFile(strDir + "font16.fnt", MakeBfnt16());
    return bOk ? 0 : 1;
}
