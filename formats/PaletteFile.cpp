#include "formats/PaletteFile.h"

#include "formats/BfntImage.h"
#include "formats/BmpImage.h"
#include "formats/ByteOrder.h"
#include "formats/DataKinds.h"
#include "formats/TimImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace
{

constexpr std::string_view GPL_SIGNATURE = "GIMP Palette";
constexpr std::string_view JASC_SIGNATURE = "JASC-PAL";
constexpr std::string_view JASC_VERSION = "0100";
constexpr std::uint32_t ACT_NO_TRANSPARENT = 0xFFFF;
constexpr std::uint8_t UTF8_BOM[3] = {0xEF, 0xBB, 0xBF};

// The text's lines, without their line feeds, carriage returns and a leading byte-order mark.
std::vector<std::string_view> SplitLines(const std::uint8_t* p, std::size_t n)
{
    std::string_view text(reinterpret_cast<const char*>(p), n);
    if (text.size() >= 3 && std::memcmp(text.data(), UTF8_BOM, 3) == 0)
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty())
    {
        const std::size_t nEnd = text.find('\n');
        std::string_view line = text.substr(0, nEnd);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nEnd == std::string_view::npos)
            break;
        text.remove_prefix(nEnd + 1);
    }
    return lines;
}

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// A decimal number of at most nDigits digits at the start of s, which it leaves after it.
bool TakeNumber(std::string_view& s, std::size_t nDigits, std::uint32_t& nValue)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    std::size_t i = 0;
    std::uint32_t n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    {
        if (i == nDigits)
            return false;
        n = n * 10 + static_cast<std::uint32_t>(s[i] - '0');
        ++i;
    }
    if (i == 0)
        return false;
    s.remove_prefix(i);
    nValue = n;
    return true;
}

// "R G B" with each from 0 to 255, then either the end or blanks and a name (when bName).
bool ParseColourLine(std::string_view s, bool bName, PaletteRgb& rgb)
{
    std::uint32_t v[3] = {};
    for (std::uint32_t& x : v)
        if (!TakeNumber(s, 3, x) || x > 255)
            return false;
    if (!s.empty() && !IsSpace(s.front()))
        return false;
    if (!bName && !Trim(s).empty())
        return false;
    rgb = PaletteRgb{static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]), static_cast<std::uint8_t>(v[2])};
    return true;
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool Fail(std::string& strError, std::string strWhy)
{
    strError = std::move(strWhy);
    return false;
}

std::string LineError(std::size_t nLine, const char* pszWhat)
{
    return "line " + std::to_string(nLine) + ": " + pszWhat;
}

bool ReadGpl(const std::uint8_t* p, std::size_t n, PaletteColours& out, std::string& strError)
{
    const std::vector<std::string_view> lines = SplitLines(p, n);
    if (lines.empty() || Trim(lines[0]) != GPL_SIGNATURE)
        return Fail(strError, "not a GIMP palette: the first line is not \"GIMP Palette\".");
    PaletteColours pal;
    for (std::size_t i = 1; i < lines.size(); ++i)
    {
        const std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == '#')
            continue;
        if (StartsWith(line, "Name:"))
        {
            pal.strName = std::string(Trim(line.substr(5)));
            continue;
        }
        if (StartsWith(line, "Columns:"))
        {
            std::string_view rest = line.substr(8);
            std::uint32_t nColumns = 0;
            if (!TakeNumber(rest, 3, nColumns) || nColumns > 256 || !Trim(rest).empty())
                return Fail(strError, LineError(i + 1, "expected \"Columns:\" and 0 to 256."));
            continue;
        }
        PaletteRgb rgb{};
        if (!ParseColourLine(line, true, rgb))
            return Fail(strError, LineError(i + 1, "expected red, green and blue from 0 to 255, and a name."));
        if (pal.colours.size() == PALETTE_MAX_COLOURS)
            return Fail(strError, "the palette has more than " + std::to_string(PALETTE_MAX_COLOURS) + " colours.");
        pal.colours.push_back(rgb);
    }
    if (pal.colours.empty())
        return Fail(strError, "the palette has no colours.");
    out = std::move(pal);
    return true;
}

bool ReadJascPal(const std::uint8_t* p, std::size_t n, PaletteColours& out, std::string& strError)
{
    const std::vector<std::string_view> lines = SplitLines(p, n);
    if (lines.empty() || Trim(lines[0]) != JASC_SIGNATURE)
        return Fail(strError, "not a JASC palette: the first line is not \"JASC-PAL\".");
    if (lines.size() < 2 || Trim(lines[1]) != JASC_VERSION)
        return Fail(strError, "line 2: expected the version 0100.");
    std::uint32_t nCount = 0;
    std::string_view countLine = lines.size() >= 3 ? Trim(lines[2]) : std::string_view();
    if (!TakeNumber(countLine, 5, nCount) || !countLine.empty() || nCount == 0 || nCount > PALETTE_MAX_COLOURS)
        return Fail(strError, "line 3: expected the number of colours, 1 to " + std::to_string(PALETTE_MAX_COLOURS) + ".");
    PaletteColours pal;
    std::size_t i = 3;
    for (; i < lines.size() && pal.colours.size() < nCount; ++i)
    {
        PaletteRgb rgb{};
        if (!ParseColourLine(Trim(lines[i]), false, rgb))
            return Fail(strError, LineError(i + 1, "expected red, green and blue from 0 to 255."));
        pal.colours.push_back(rgb);
    }
    if (pal.colours.size() < nCount)
        return Fail(strError, "the palette announces " + std::to_string(nCount) + " colours and holds " +
                                  std::to_string(pal.colours.size()) + ".");
    for (; i < lines.size(); ++i)
        if (!Trim(lines[i]).empty())
            return Fail(strError, LineError(i + 1, "more colours than the palette announces."));
    out = std::move(pal);
    return true;
}

bool ReadAct(const std::uint8_t* p, std::size_t n, PaletteColours& out, std::string& strError)
{
    if (n != ACT_SIZE && n != ACT_SIZE_WITH_COUNT)
        return Fail(strError, "not an Adobe colour table: it has " + std::to_string(n) + " bytes, not 768 or 772.");
    std::uint32_t nCount = 256;
    std::uint32_t nTransparent = ACT_NO_TRANSPARENT;
    if (n == ACT_SIZE_WITH_COUNT)
    {
        nCount = (std::uint32_t{p[768]} << 8) | p[769];
        nTransparent = (std::uint32_t{p[770]} << 8) | p[771];
        if (nCount == 0 || nCount > 256)
            return Fail(strError, "the colour table says it holds " + std::to_string(nCount) + " colours; 1 to 256 fit.");
        if (nTransparent != ACT_NO_TRANSPARENT && nTransparent >= nCount)
            return Fail(strError, "the transparent colour " + std::to_string(nTransparent) + " is not one of the " +
                                      std::to_string(nCount) + " colours.");
    }
    PaletteColours pal;
    for (std::uint32_t i = 0; i < nCount; ++i)
        pal.colours.push_back(PaletteRgb{p[3 * i], p[3 * i + 1], p[3 * i + 2]});
    pal.nTransparent = nTransparent == ACT_NO_TRANSPARENT ? -1 : static_cast<int>(nTransparent);
    out = std::move(pal);
    return true;
}

void AppendText(std::vector<std::uint8_t>& out, const std::string& s)
{
    out.insert(out.end(), s.begin(), s.end());
}

std::string ColourText(const char* pszFormat, const PaletteRgb& c, std::size_t i)
{
    char sz[64];
    std::snprintf(sz, sizeof sz, pszFormat, unsigned{c.r}, unsigned{c.g}, unsigned{c.b}, i);
    return sz;
}

}  // namespace

bool PaletteFileFromPath(const std::string& strPath, EPaletteFile& kind)
{
    const std::size_t nDot = strPath.rfind('.');
    const std::size_t nSlash = strPath.rfind('/');
    if (nDot == std::string::npos || (nSlash != std::string::npos && nDot < nSlash))
        return false;
    std::string ext = strPath.substr(nDot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char ch) {
        return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    });
    if (ext == ".gpl")
        kind = EPaletteFile::Gpl;
    else if (ext == ".act")
        kind = EPaletteFile::Act;
    else if (ext == ".pal")
        kind = EPaletteFile::Pal;
    else
        return false;
    return true;
}

bool PaletteFileFromContent(const std::uint8_t* p, std::size_t n, EPaletteFile& kind)
{
    // Only the first line matters, and it is short.
    const std::vector<std::string_view> first = SplitLines(p, std::min<std::size_t>(n, 64));
    if (first.empty())
        return false;
    const std::string_view line = Trim(first[0]);
    if (line == GPL_SIGNATURE)
        kind = EPaletteFile::Gpl;
    else if (line == JASC_SIGNATURE)
        kind = EPaletteFile::Pal;
    else
        return false;
    return true;
}

std::vector<std::uint8_t> WritePaletteFile(EPaletteFile kind, const PaletteColours& pal)
{
    std::vector<std::uint8_t> out;
    if (kind == EPaletteFile::Act)
    {
        const std::size_t nCount = std::min<std::size_t>(pal.colours.size(), 256);
        out.assign(nCount < 256 ? ACT_SIZE_WITH_COUNT : ACT_SIZE, 0);
        for (std::size_t i = 0; i < nCount; ++i)
        {
            out[3 * i] = pal.colours[i].r;
            out[3 * i + 1] = pal.colours[i].g;
            out[3 * i + 2] = pal.colours[i].b;
        }
        if (nCount < 256)
        {
            const std::uint32_t nTransparent = pal.nTransparent >= 0 && static_cast<std::size_t>(pal.nTransparent) < nCount
                                                   ? static_cast<std::uint32_t>(pal.nTransparent)
                                                   : ACT_NO_TRANSPARENT;
            out[768] = static_cast<std::uint8_t>(nCount >> 8);
            out[769] = static_cast<std::uint8_t>(nCount);
            out[770] = static_cast<std::uint8_t>(nTransparent >> 8);
            out[771] = static_cast<std::uint8_t>(nTransparent);
        }
        return out;
    }
    if (kind == EPaletteFile::Gpl)
    {
        std::string strName = pal.strName;
        for (char& ch : strName)
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
                ch = ' ';
        AppendText(out, "GIMP Palette\nName: " + strName + "\nColumns: 16\n#\n");
        for (std::size_t i = 0; i < pal.colours.size(); ++i)
            AppendText(out, ColourText("%3u %3u %3u\tIndex %zu\n", pal.colours[i], i));
        return out;
    }
    AppendText(out, "JASC-PAL\r\n0100\r\n" + std::to_string(pal.colours.size()) + "\r\n");
    for (std::size_t i = 0; i < pal.colours.size(); ++i)
        AppendText(out, ColourText("%u %u %u\r\n", pal.colours[i], i));
    return out;
}

bool ReadPaletteFile(EPaletteFile kind, const std::uint8_t* p, std::size_t n, PaletteColours& out,
                     std::string& strError)
{
    switch (kind)
    {
    case EPaletteFile::Gpl:
        return ReadGpl(p, n, out, strError);
    case EPaletteFile::Act:
        return ReadAct(p, n, out, strError);
    case EPaletteFile::Pal:
        break;
    }
    return ReadJascPal(p, n, out, strError);
}

// ---- Palettes inside image files -----------------------------------------------------

namespace
{
// As the PNG export takes bitmaps: no side above 2^24 pixels, at most 256 Mi decoded pixels,
// at most 1024 of them per byte of the file.
constexpr BmpImageLimits PALETTE_BMP_LIMITS{std::uint32_t{1} << 24, std::uint64_t{256} << 20,
                                            BMP_RLE_MAX_PIXELS_PER_BYTE, 0};

EImagePaletteResult Damaged(ImagePalette& out, FormatResult nResult)
{
    out.nValue = static_cast<std::uint32_t>(nResult);
    return EImagePaletteResult::Damaged;
}
}  // namespace

EImagePaletteResult FindImagePalette(const std::uint8_t* p, std::size_t n, std::uint32_t nClut, ImagePalette& out,
                                     std::uint64_t nFileSize)
{
    ImagePalette pal;
    pal.nDataType = DetectDataType(p, n);
    if (pal.nDataType == DATA_TIM)
    {
        TimImage tim;
        if (const FormatResult nResult = ParseTimImage(p, n, tim); nResult != FMT_OK)
            return Damaged(out, nResult);
        pal.nDepth = static_cast<std::uint32_t>(tim.nBpp);
        pal.coding = EImagePaletteCoding::Tim15;
        const std::uint32_t nRows = tim.PaletteCount();
        if (nRows == 0)
        {
            out = pal;
            return EImagePaletteResult::NoPalette;
        }
        if (nClut >= nRows)
        {
            pal.nValue = nRows;
            out = pal;
            return EImagePaletteResult::NoSuchRow;
        }
        const std::uint64_t nFirst = std::uint64_t{nClut} * tim.PaletteSize();
        pal.nAt = static_cast<std::size_t>(TIM_FILE_HEADER_SIZE + TIM_BLOCK_HEADER_SIZE + 2 * nFirst);
        pal.nCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(tim.PaletteSize(), tim.clut.size() - nFirst));
    }
    else if (pal.nDataType == DATA_BMP)
    {
        BmpImage bmp;
        BmpImageLimits limits = PALETTE_BMP_LIMITS;
        limits.nFileSize = nFileSize;
        if (const FormatResult nResult = ParseBmpImage(p, n, limits, bmp); nResult != FMT_OK)
            return Damaged(out, nResult);
        // An OS/2 1.x table of triples is not one the palette verbs read or write.
        if (bmp.info.biSize == 12)
            return Damaged(out, FMT_BMP_HEADER_SIZE);
        pal.nDepth = bmp.info.biBitCount;
        pal.coding = EImagePaletteCoding::BmpQuad;
        if (pal.nDepth > 8)
        {
            out = pal;
            return EImagePaletteResult::NoPalette;
        }
        // The reader's own count of the table (it may show more colours, black, when pixels
        // reach past the table).
        const std::uint32_t nMax = 1u << pal.nDepth;
        pal.nAt = BMP_FILE_HEADER_SIZE + bmp.info.biSize;
        pal.nCount = bmp.info.biClrUsed != 0 && bmp.info.biClrUsed < nMax ? bmp.info.biClrUsed : nMax;
    }
    else if (pal.nDataType == DATA_BFNT)
    {
        BfntImage bfnt;
        if (const FormatResult nResult = ParseBfntImage(p, n, bfnt); nResult != FMT_OK)
            return Damaged(out, nResult);
        pal.nDepth = bfnt.b16 ? 4 : 8;
        pal.coding = EImagePaletteCoding::BfntTriple;
        if (!bfnt.bPalette)
        {
            out = pal;
            return EImagePaletteResult::NoPalette;
        }
        pal.nAt = BFNT_HEADER_SIZE + std::size_t{bfnt.header.extensionLength};
        pal.nCount = bfnt.PaletteColors();
    }
    else
    {
        return EImagePaletteResult::NotAnImage;
    }
    out = pal;
    return EImagePaletteResult::Ok;
}

std::vector<PaletteRgb> ReadImagePalette(const std::uint8_t* p, const ImagePalette& pal)
{
    std::vector<PaletteRgb> colours(pal.nCount);
    for (std::uint32_t i = 0; i < pal.nCount; ++i)
    {
        PaletteRgb& c = colours[i];
        switch (pal.coding)
        {
        case EImagePaletteCoding::Tim15:
        {
            const std::uint16_t v = GetLe16(p + pal.nAt + 2 * std::size_t{i});
            c = PaletteRgb{TimWiden5(v & 31u), TimWiden5((v >> 5) & 31u), TimWiden5((v >> 10) & 31u)};
            break;
        }
        case EImagePaletteCoding::BmpQuad:
        {
            const std::uint8_t* q = p + pal.nAt + 4 * std::size_t{i};
            c = PaletteRgb{q[2], q[1], q[0]};
            break;
        }
        case EImagePaletteCoding::BfntTriple:
        {
            std::uint8_t rgb[3];
            BfntTripleToRgb(p + pal.nAt + 3 * std::size_t{i}, rgb);
            c = PaletteRgb{rgb[0], rgb[1], rgb[2]};
            break;
        }
        }
    }
    return colours;
}

int ImagePaletteTransparent(const std::uint8_t* p, const ImagePalette& pal)
{
    if (pal.coding != EImagePaletteCoding::Tim15)
        return -1;
    for (std::uint32_t i = 0; i < pal.nCount; ++i)
        if (GetLe16(p + pal.nAt + 2 * std::size_t{i}) == 0)
            return static_cast<int>(i);
    return -1;
}

void ReplaceImagePalette(std::uint8_t* p, const ImagePalette& pal, const std::vector<PaletteRgb>& colours)
{
    const std::size_t nCount = std::min<std::size_t>(colours.size(), pal.nCount);
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const PaletteRgb& c = colours[i];
        switch (pal.coding)
        {
        case EImagePaletteCoding::Tim15:
        {
            std::uint8_t* q = p + pal.nAt + 2 * i;
            const std::uint16_t nOld = GetLe16(q);
            auto nNew = static_cast<std::uint16_t>(TimNarrow5Nearest(c.r) | (TimNarrow5Nearest(c.g) << 5) |
                                                   (TimNarrow5Nearest(c.b) << 10) | (nOld & TIM_COLOR_STP));
            if (nNew == 0 && nOld != 0)
                nNew = TIM_COLOR_STP;
            PutLe16(q, nNew);
            break;
        }
        case EImagePaletteCoding::BmpQuad:
        {
            std::uint8_t* q = p + pal.nAt + 4 * i;
            q[0] = c.b;
            q[1] = c.g;
            q[2] = c.r;
            break;
        }
        case EImagePaletteCoding::BfntTriple:
        {
            const std::uint8_t rgb[3] = {c.r, c.g, c.b};
            BfntRgbToTriple(rgb, p + pal.nAt + 3 * i);
            break;
        }
        }
    }
}
