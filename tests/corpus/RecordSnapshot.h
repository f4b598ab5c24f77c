#pragma once
// Byte snapshots of whole format records, so "nothing changed" and "read back the
// same" are one comparison each. Shared by the corpus tests and the fuzz harnesses.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/Tim.h"

#include <cstdint>
#include <cstring>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Colours no reader produces by chance, to see whether a read touched the palette.
inline RgbPalette MarkerPalette()
{
    RgbPalette pal;
    for (int i = 0; i < 768; ++i)
        pal.rgb[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return pal;
}

inline bool SamePalette(const RgbPalette& a, const RgbPalette& b)
{
    return std::memcmp(a.rgb, b.rgb, sizeof a.rgb) == 0;
}

namespace snapshot_detail
{
inline void Put(Bytes& out, std::uint64_t v, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutBuf(Bytes& out, const std::uint8_t* p, std::size_t n)
{
    Put(out, n, 8);
    if (p)
        out.insert(out.end(), p, p + n);
    else
        out.push_back(0xEE);  // null differs from an empty buffer
}
}  // namespace snapshot_detail

// Everything a record holds except the palette pointer.
inline Bytes Snapshot(const CBmpData& r)
{
    using namespace snapshot_detail;
    Bytes s;
    // One allocation: a picture-sized vector that grows copies and faults in every page again.
    // Sizes count only beside a buffer: a test may pair a null one with any size.
    s.reserve(64 + (r.m_pBits ? r.m_nBitsSize : 0));
    const BmpFileHeader& f = r.m_fileHeader;
    const BmpInfoHeader& i = r.m_infoHeader;
    Put(s, f.bfType, 2); Put(s, f.bfSize, 4); Put(s, f.bfReserved1, 2); Put(s, f.bfReserved2, 2); Put(s, f.bfOffBits, 4);
    Put(s, i.biSize, 4); Put(s, static_cast<std::uint32_t>(i.biWidth), 4); Put(s, static_cast<std::uint32_t>(i.biHeight), 4);
    Put(s, i.biPlanes, 2); Put(s, i.biBitCount, 2); Put(s, i.biCompression, 4); Put(s, i.biSizeImage, 4);
    Put(s, static_cast<std::uint32_t>(i.biXPelsPerMeter), 4); Put(s, static_cast<std::uint32_t>(i.biYPelsPerMeter), 4);
    Put(s, i.biClrUsed, 4); Put(s, i.biClrImportant, 4);
    PutBuf(s, r.m_pBits.get(), r.m_nBitsSize);
    return s;
}

// bKeepClutLength false leaves out the CLUT block length, which the writer
// always writes as 524 whatever was read.
inline Bytes Snapshot(const CTimData& r, bool bKeepClutLength = true)
{
    using namespace snapshot_detail;
    Bytes s;
    s.reserve(64 + (r.m_pPixels ? r.m_nPixelsSize : 0));
    Put(s, r.m_id, 1); Put(s, r.m_version, 1); Put(s, r.m_reserved, 2); Put(s, r.m_flags, 4);
    Put(s, bKeepClutLength ? r.m_clutLength : 0, 4);
    Put(s, r.m_clutX, 2); Put(s, r.m_clutY, 2); Put(s, r.m_clutWidth, 2); Put(s, r.m_clutHeight, 2);
    Put(s, r.m_imageLength, 4); Put(s, r.m_imageX, 2); Put(s, r.m_imageY, 2);
    Put(s, r.m_imageWidth, 2); Put(s, r.m_imageHeight, 2);
    PutBuf(s, r.m_pPixels.get(), r.m_nPixelsSize);
    return s;
}

// bKeepPaletteFlag false leaves out BFNT_PALETTE, which the writer always sets.
inline Bytes Snapshot(const CBfntData& r, bool bKeepPaletteFlag = true)
{
    using namespace snapshot_detail;
    Bytes s;
    s.reserve(64 + (r.m_pExtension ? r.m_nExtensionSize : 0) + (r.m_pGlyphs ? r.m_nGlyphsSize : 0));
    const BfntHeader& h = r.m_header;
    s.insert(s.end(), h.magic, h.magic + 4);
    Put(s, h.unknown4, 1); Put(s, bKeepPaletteFlag ? h.format : (h.format & BFNT_COLOR_MASK), 1);
    Put(s, h.unknown6, 1); Put(s, h.unknown7, 1);
    Put(s, h.glyphWidth, 2); Put(s, h.glyphHeight, 2); Put(s, h.firstCode, 2); Put(s, h.lastCode, 2);
    s.insert(s.end(), h.unknown16, h.unknown16 + 12);
    Put(s, h.extensionLength, 2);
    s.insert(s.end(), h.unknown30, h.unknown30 + 2);
    PutBuf(s, r.m_pExtension.get(), r.m_nExtensionSize);
    PutBuf(s, r.m_pGlyphs.get(), r.m_nGlyphsSize);
    Put(s, static_cast<std::uint32_t>(r.m_nRowOrder), 4);
    return s;
}
