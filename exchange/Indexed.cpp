// A decoded PNG as the palette indices and colours an indexed file holds.

#include "exchange/detail/ExchangeKinds.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace
{
std::uint32_t Packed(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
}  // namespace

ExchangeResult IndicesFit(const PngPicture& pic)
{
    const std::uint8_t nTop = *std::max_element(pic.pixels.begin(), pic.pixels.end());
    if (nTop < pic.palette.size())
        return {};
    return Refuse(XCH_INDEX_PAST_PALETTE, nTop, pic.palette.size());
}

std::size_t UsedIndexCount(const PngPicture& pic, std::size_t nEnough)
{
    std::array<bool, 256> used{};
    std::size_t nUsed = 0;
    for (const std::uint8_t v : pic.pixels)
        if (!used[v])
        {
            used[v] = true;
            if (++nUsed > nEnough)
                break;
        }
    return nUsed;
}

std::size_t FitIndexed(const PngPicture& pic, std::size_t nMax, Indexed& out)
{
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    out.pIndices = pic.pixels.data();
    if (pic.palette.size() <= nMax)
    {
        out.palette = pic.palette;
        return 0;
    }
    // Editors keep or add palette entries no pixel uses, so only the used ones count.
    // Indices that all fit keep their values, so an edited 4-bit export maps back
    // onto its own palette; otherwise the used colours are packed in order of first use.
    if (*std::max_element(pic.pixels.begin(), pic.pixels.end()) < nMax)
    {
        out.palette.assign(pic.palette.begin(), pic.palette.begin() + static_cast<std::ptrdiff_t>(nMax));
        return 0;
    }
    if (const std::size_t nUsed = UsedIndexCount(pic); nUsed > nMax)
    {
        out.pIndices = nullptr;
        return nUsed;
    }
    std::array<int, 256> packed;
    packed.fill(-1);
    out.own.resize(nPixels);
    for (std::size_t i = 0; i < nPixels; ++i)
    {
        const std::uint8_t v = pic.pixels[i];
        if (packed[v] < 0)
        {
            packed[v] = static_cast<int>(out.palette.size());
            out.palette.push_back(pic.palette[v]);
        }
        out.own[i] = static_cast<std::uint8_t>(packed[v]);
    }
    out.pIndices = out.own.data();
    return 0;
}

ExchangeResult ToIndexed(const PngPicture& pic, int nBits, EAlpha alpha, Indexed& out)
{
    const std::size_t nMax = std::size_t{1} << nBits;
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    if (pic.bIndexed)
    {
        if (ExchangeResult result = IndicesFit(pic); !result.Ok())
            return result;
        if (const std::size_t nUsed = FitIndexed(pic, nMax, out); nUsed != 0)
            return Refuse(XCH_PALETTE_TOO_LARGE, nUsed, nBits, nMax);
        return {};
    }
    // Alpha dropped is alpha 255: the colour the file will hold.
    const std::uint32_t nOpaque = alpha == EAlpha::Dropped ? 0xFF000000u : 0;
    std::unordered_map<std::uint32_t, std::uint8_t> seen;
    out.own.resize(nPixels);
    const std::uint8_t* p = pic.pixels.data();
    for (std::size_t i = 0; i < nPixels; ++i, p += 4)
    {
        const std::uint32_t c = Packed(p) | nOpaque;
        auto it = seen.find(c);
        if (it == seen.end())
        {
            if (seen.size() == nMax)
            {
                std::vector<std::uint32_t> all(nPixels);
                for (std::size_t k = 0; k < nPixels; ++k)
                    all[k] = Packed(pic.pixels.data() + 4 * k) | nOpaque;
                std::sort(all.begin(), all.end());
                const auto nCount = std::unique(all.begin(), all.end()) - all.begin();
                return Refuse(XCH_TOO_MANY_COLOURS, nCount, nBits, nMax);
            }
            it = seen.emplace(c, static_cast<std::uint8_t>(seen.size())).first;
            out.palette.push_back(PngColor{p[0], p[1], p[2], static_cast<std::uint8_t>(p[3] | (nOpaque >> 24))});
        }
        out.own[i] = it->second;
    }
    out.pIndices = out.own.data();
    return {};
}

RgbPalette ToRgbPalette(const std::vector<PngColor>& colours)
{
    RgbPalette palette{};
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        palette.rgb[3 * i + 0] = colours[i].r;
        palette.rgb[3 * i + 1] = colours[i].g;
        palette.rgb[3 * i + 2] = colours[i].b;
    }
    return palette;
}
