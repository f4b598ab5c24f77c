// A decoded PNG as the palette indices and colours an indexed file holds.

#include "exchange/detail/ExchangeKinds.h"

#include <algorithm>
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

ExchangeResult ToIndexed(const PngPicture& pic, int nBits, Indexed& out)
{
    const std::size_t nMax = std::size_t{1} << nBits;
    const std::size_t nPixels = std::size_t{pic.nWidth} * pic.nHeight;
    if (pic.bIndexed)
    {
        if (pic.palette.size() > nMax)
            return Refuse(XCH_PALETTE_TOO_LARGE, pic.palette.size(), nBits, nMax);
        if (ExchangeResult result = IndicesFit(pic); !result.Ok())
            return result;
        out.pIndices = pic.pixels.data();
        out.palette = pic.palette;
        return {};
    }
    std::unordered_map<std::uint32_t, std::uint8_t> seen;
    out.own.resize(nPixels);
    const std::uint8_t* p = pic.pixels.data();
    for (std::size_t i = 0; i < nPixels; ++i, p += 4)
    {
        const std::uint32_t c = Packed(p);
        auto it = seen.find(c);
        if (it == seen.end())
        {
            if (seen.size() == nMax)
            {
                std::vector<std::uint32_t> all(nPixels);
                for (std::size_t k = 0; k < nPixels; ++k)
                    all[k] = Packed(pic.pixels.data() + 4 * k);
                std::sort(all.begin(), all.end());
                const auto nCount = std::unique(all.begin(), all.end()) - all.begin();
                return Refuse(XCH_TOO_MANY_COLOURS, nCount, nBits, nMax);
            }
            it = seen.emplace(c, static_cast<std::uint8_t>(seen.size())).first;
            out.palette.push_back(PngColor{p[0], p[1], p[2], p[3]});
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
