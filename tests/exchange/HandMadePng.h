#pragma once
// PNG files put together chunk by chunk with zlib, without libpng: for decoding
// tests of every colour type and for hostile files that no encoder would write.
// Header-only; link ZLIB::ZLIB.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace handpng
{
using Bytes = std::vector<std::uint8_t>;

struct Chunk
{
    std::string type;
    Bytes data;
};

inline std::uint32_t GetBe32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void PutBe32(Bytes& b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}

inline std::vector<Chunk> Chunks(const Bytes& png)
{
    std::vector<Chunk> chunks;
    for (std::size_t pos = 8; pos + 12 <= png.size();)
    {
        const std::uint32_t n = GetBe32(&png[pos]);
        const auto at = png.begin() + static_cast<std::ptrdiff_t>(pos);
        chunks.push_back({std::string(at + 4, at + 8), Bytes(at + 8, at + 8 + n)});
        pos += 12 + n;
    }
    return chunks;
}

// A chunk with its length and CRC; bBadCrc spoils the CRC.
inline void AddChunk(Bytes& png, const std::string& type, const Bytes& data, bool bBadCrc = false)
{
    PutBe32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t at = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    const auto nCrc = static_cast<std::uint32_t>(crc32(0, png.data() + at, static_cast<uInt>(png.size() - at)));
    PutBe32(png, bBadCrc ? ~nCrc : nCrc);
}

inline Bytes Ihdr(std::uint32_t w, std::uint32_t h, int nDepth, int nType, int nInterlace = 0)
{
    Bytes ihdr;
    PutBe32(ihdr, w);
    PutBe32(ihdr, h);
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(nDepth), static_cast<std::uint8_t>(nType), 0, 0,
                             static_cast<std::uint8_t>(nInterlace)});
    return ihdr;
}

inline Bytes Deflate(const Bytes& raw)
{
    uLongf nZ = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(nZ);
    compress2(z.data(), &nZ, raw.data(), static_cast<uLong>(raw.size()), 9);
    z.resize(nZ);
    return z;
}

// Signature, IHDR, the chunks given, one IDAT of the raw rows (filter bytes included), IEND.
inline Bytes Make(std::uint32_t w, std::uint32_t h, int nDepth, int nType, const Bytes& rawRows,
                  const std::vector<Chunk>& beforeIdat = {})
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    AddChunk(png, "IHDR", Ihdr(w, h, nDepth, nType));
    for (const Chunk& c : beforeIdat)
        AddChunk(png, c.type, c.data);
    AddChunk(png, "IDAT", Deflate(rawRows));
    AddChunk(png, "IEND", {});
    return png;
}
}  // namespace handpng
