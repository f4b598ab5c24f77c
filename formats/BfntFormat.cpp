#include "formats/BfntFormat.h"

#include "formats/ByteOrder.h"

#include <cstring>

void ParseBfntHeader(const std::uint8_t* p, BfntHeader& h)
{
    std::memcpy(h.magic, p, 4);
    h.unknown4 = p[4];
    h.format = p[5];
    h.unknown6 = p[6];
    h.unknown7 = p[7];
    h.glyphWidth = GetLe16(p + 8);
    h.glyphHeight = GetLe16(p + 10);
    h.firstCode = GetLe16(p + 12);
    h.lastCode = GetLe16(p + 14);
    std::memcpy(h.unknown16, p + 16, 12);
    h.extensionLength = GetLe16(p + 28);
    std::memcpy(h.unknown30, p + 30, 2);
}

void StoreBfntHeader(std::uint8_t* p, const BfntHeader& h)
{
    std::memcpy(p, h.magic, 4);
    p[4] = h.unknown4;
    p[5] = h.format;
    p[6] = h.unknown6;
    p[7] = h.unknown7;
    PutLe16(p + 8, h.glyphWidth);
    PutLe16(p + 10, h.glyphHeight);
    PutLe16(p + 12, h.firstCode);
    PutLe16(p + 14, h.lastCode);
    std::memcpy(p + 16, h.unknown16, 12);
    PutLe16(p + 28, h.extensionLength);
    std::memcpy(p + 30, h.unknown30, 2);
}

BfntHeader NewBfntHeader(std::uint16_t nGlyphWidth, std::uint16_t nGlyphHeight)
{
    BfntHeader h{};
    std::memcpy(h.magic, BFNT_MAGIC, 4);
    h.unknown4 = 0x1A;
    h.format = BFNT_PALETTE | BFNT_COLORS_256;
    h.unknown6 = 22;
    h.glyphWidth = nGlyphWidth;
    h.glyphHeight = nGlyphHeight;
    return h;
}

std::uint64_t BfntGlyphBytes(const BfntHeader& h)
{
    if (h.lastCode < h.firstCode)
        return 0;
    return (std::uint64_t{h.lastCode} - h.firstCode + 1) * h.glyphWidth * h.glyphHeight;
}
