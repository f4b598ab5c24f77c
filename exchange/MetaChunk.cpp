#include "exchange/MetaChunk.h"

#include "formats/ByteOrder.h"

#include <cstring>

namespace
{
void Append16(std::vector<std::uint8_t>& v, std::uint16_t n)
{
    v.push_back(static_cast<std::uint8_t>(n));
    v.push_back(static_cast<std::uint8_t>(n >> 8));
}

void Append32(std::vector<std::uint8_t>& v, std::uint32_t n)
{
    Append16(v, static_cast<std::uint16_t>(n));
    Append16(v, static_cast<std::uint16_t>(n >> 16));
}

bool Damaged(std::string& strError)
{
    strError = std::string("the PNG's ") + META_CHUNK_TYPE + " chunk is damaged.";
    return false;
}
}  // namespace

std::vector<std::uint8_t> BuildMetaChunk(const MetaChunk& meta)
{
    std::vector<std::uint8_t> v;
    v.push_back(META_LAYOUT);
    v.push_back(meta.nKind);
    Append16(v, 0);
    Append32(v, meta.nWidth);
    Append32(v, meta.nHeight);
    if (meta.nKind == META_KIND_TIM)
    {
        const TimMeta& t = meta.tim;
        Append32(v, t.nFlags);
        Append16(v, t.nReserved);
        Append16(v, t.nClutX);
        Append16(v, t.nClutY);
        Append16(v, t.nClutWidth);
        Append16(v, t.nClutHeight);
        Append16(v, t.nImageX);
        Append16(v, t.nImageY);
        Append16(v, t.nShownRow);
        Append32(v, static_cast<std::uint32_t>(t.clut.size()));
        for (std::uint16_t c : t.clut)
            Append16(v, c);
    }
    else if (meta.nKind == META_KIND_BMP)
    {
        const BmpMeta& b = meta.bmp;
        Append32(v, b.nCompression);
        Append32(v, b.nInfoSize);
        Append16(v, b.nBitCount);
        Append16(v, b.nReserved1);
        Append16(v, b.nReserved2);
        Append16(v, b.bPadded ? 1 : 0);
        Append32(v, b.nSizeImage);
        Append32(v, static_cast<std::uint32_t>(b.nXPelsPerMeter));
        Append32(v, static_cast<std::uint32_t>(b.nYPelsPerMeter));
        Append32(v, b.nClrUsed);
        Append32(v, b.nClrImportant);
    }
    else if (meta.nKind == META_KIND_BFNT)
    {
        v.insert(v.end(), meta.bfnt.header, meta.bfnt.header + META_BFNT_HEADER_SIZE);
        v.insert(v.end(), meta.bfnt.extension.begin(), meta.bfnt.extension.end());
    }
    return v;
}

bool ParseMetaChunk(const std::vector<std::uint8_t>& data, MetaChunk& meta, std::string& strError)
{
    const std::size_t n = data.size();
    const std::uint8_t* p = data.data();
    if (n < META_COMMON_SIZE)
        return Damaged(strError);
    if (p[0] != META_LAYOUT)
    {
        strError = std::string("the PNG's ") + META_CHUNK_TYPE + " chunk has layout " + std::to_string(p[0]) +
                   ", which this version does not know.";
        return false;
    }
    MetaChunk m;
    m.nKind = p[1];
    m.nWidth = GetLe32(p + 4);
    m.nHeight = GetLe32(p + 8);
    p += META_COMMON_SIZE;
    const std::size_t nRest = n - META_COMMON_SIZE;
    if (m.nKind == META_KIND_TIM)
    {
        if (nRest < META_TIM_FIXED_SIZE)
            return Damaged(strError);
        TimMeta& t = m.tim;
        t.nFlags = GetLe32(p);
        t.nReserved = GetLe16(p + 4);
        t.nClutX = GetLe16(p + 6);
        t.nClutY = GetLe16(p + 8);
        t.nClutWidth = GetLe16(p + 10);
        t.nClutHeight = GetLe16(p + 12);
        t.nImageX = GetLe16(p + 14);
        t.nImageY = GetLe16(p + 16);
        t.nShownRow = GetLe16(p + 18);
        const std::uint64_t nColours = GetLe32(p + 20);
        if (2 * nColours != nRest - META_TIM_FIXED_SIZE)
            return Damaged(strError);
        t.clut.resize(static_cast<std::size_t>(nColours));
        for (std::size_t i = 0; i < t.clut.size(); ++i)
            t.clut[i] = GetLe16(p + META_TIM_FIXED_SIZE + 2 * i);
    }
    else if (m.nKind == META_KIND_BMP)
    {
        if (nRest != META_BMP_SIZE)
            return Damaged(strError);
        BmpMeta& b = m.bmp;
        b.nCompression = GetLe32(p);
        b.nInfoSize = GetLe32(p + 4);
        b.nBitCount = GetLe16(p + 8);
        b.nReserved1 = GetLe16(p + 10);
        b.nReserved2 = GetLe16(p + 12);
        b.bPadded = GetLe16(p + 14) != 0;
        b.nSizeImage = GetLe32(p + 16);
        b.nXPelsPerMeter = GetLeS32(p + 20);
        b.nYPelsPerMeter = GetLeS32(p + 24);
        b.nClrUsed = GetLe32(p + 28);
        b.nClrImportant = GetLe32(p + 32);
    }
    else if (m.nKind == META_KIND_BFNT)
    {
        if (nRest < META_BFNT_HEADER_SIZE)
            return Damaged(strError);
        std::memcpy(m.bfnt.header, p, META_BFNT_HEADER_SIZE);
        const std::size_t nExtension = GetLe16(p + 28);
        if (nRest - META_BFNT_HEADER_SIZE != nExtension)
            return Damaged(strError);
        m.bfnt.extension.assign(p + META_BFNT_HEADER_SIZE, p + nRest);
    }
    else
    {
        return Damaged(strError);
    }
    meta = std::move(m);
    return true;
}
