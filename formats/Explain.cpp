#include "formats/Explain.h"

#include "formats/BfntFormat.h"
#include "formats/BmpFormat.h"
#include "formats/BmpImage.h"
#include "formats/ByteOrder.h"
#include "formats/TimFormat.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr std::uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// "a 4-bit", "an 8-bit": the article goes by how the number is said.
std::string Bits(unsigned nBits)
{
    const std::string strDigits = std::to_string(nBits);
    const bool bAn = strDigits[0] == '8' || nBits == 11 || nBits == 18;
    return (bAn ? "an " : "a ") + strDigits + "-bit";
}

FileExplanation Refused(FileExplanation e, std::string strCause, EFileReader reader, bool bDepth = false)
{
    e.strCause = std::move(strCause);
    e.reader = reader;
    e.bDepth = bDepth;
    return e;
}

FileExplanation ExplainBmp(const std::uint8_t* p, std::size_t nSize)
{
    FileExplanation e;
    e.family = EFileFamily::Bmp;
    e.strKind = "a BMP";
    // The file header and the info header's size; a shorter file is cut, not of another kind.
    if (nSize < BMP_FILE_HEADER_SIZE + 4)
        return e;
    BmpFileHeader fh{};
    BmpInfoHeader ih{};
    ParseBmpFileHeader(p, fh);
    // The head read may stop inside a large header; the fields judged here are in its first 40 bytes.
    const std::uint32_t nInfoSize = GetLe32(p + BMP_FILE_HEADER_SIZE);
    if (nSize < BMP_FILE_HEADER_SIZE + std::min<std::uint32_t>(nInfoSize, BMP_INFO_HEADER_SIZE))
        return e;
    std::uint8_t info[124] = {};
    std::memcpy(info, p + BMP_FILE_HEADER_SIZE, std::min<std::size_t>(nSize - BMP_FILE_HEADER_SIZE, sizeof info));
    if (!ReadBmpInfoHeader(info, sizeof info, ih))
    {
        if (nSize < BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE)
            return e;
        return Refused(e, "a BMP with a " + std::to_string(ih.biSize) + "-byte header", EFileReader::Nothing);
    }
    const unsigned nBits = ih.biBitCount;
    const bool bOs2 = ih.biSize == 12 || ih.biSize == 16 || ih.biSize == 64;
    e.nBits = nBits;
    e.bIndexed = nBits <= 8;
    e.strKind = Bits(nBits) + " BMP";
    switch (ih.biCompression)
    {
    case BMP_RGB:
    case BMP_RLE8:
    case BMP_RLE4: break;
    case 3:
        if ((nBits == 16 || nBits == 32) && !bOs2)
            return Refused(e, "a BMP with bit fields", EFileReader::Export);
        return Refused(e, "a BMP with bit fields", EFileReader::Nothing);
    case 6: return Refused(e, "a BMP with bit fields", EFileReader::Nothing);
    case 4: return Refused(e, "a BMP holding a JPEG", EFileReader::Nothing);
    case 5: return Refused(e, "a BMP holding a PNG", EFileReader::Nothing);
    default:
        return Refused(e, "a BMP of compression " + std::to_string(ih.biCompression), EFileReader::Nothing);
    }
    const bool bWide = (nBits == 16 || nBits == 32) && ih.biSize != 12;
    if (nBits != 1 && nBits != 4 && nBits != 8 && nBits != 24 && !bWide)
        return Refused(e, e.strKind, EFileReader::Nothing, nBits != 0);
    if ((ih.biCompression == BMP_RLE8 && nBits != 8) || (ih.biCompression == BMP_RLE4 && nBits != 4))
        return Refused(e, "a BMP whose compression does not match its depth", EFileReader::Nothing);
    if (ih.biCompression == BMP_RLE4)
        return Refused(e, "an RLE4-compressed BMP", EFileReader::Export);
    if (nBits != 8)
        return Refused(e, e.strKind, EFileReader::Export, true);
    if (ih.biCompression == BMP_RLE8)
        return Refused(e, "an RLE8-compressed BMP", EFileReader::Export);
    if (bOs2)
        return Refused(e, "an OS/2 BMP (" + std::to_string(ih.biSize) + "-byte header)", EFileReader::Export);
    if (ih.biSize != BMP_INFO_HEADER_SIZE)
        return Refused(e, "a BMP with a " + std::to_string(ih.biSize) + "-byte (" + (ih.biSize == 124 ? "V5" : ih.biSize == 108 ? "V4" : ih.biSize == 56 ? "V3" : "V2") +
                              ") header",
                       EFileReader::Export);
    if (fh.bfOffBits != BMP_PIXEL_OFFSET)
    {
        // A table of biClrUsed entries with the pixels right after it, as Pillow writes one.
        const std::uint64_t nShortTable = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE + 4 * std::uint64_t{ih.biClrUsed};
        if (ih.biClrUsed > 0 && ih.biClrUsed < 256 && fh.bfOffBits == nShortTable)
            return Refused(e, "a BMP with a " + std::to_string(ih.biClrUsed) + "-entry colour table",
                           EFileReader::Export);
        return Refused(e, "a BMP whose pixels start at byte " + std::to_string(fh.bfOffBits) + ", not 1078",
                       EFileReader::Export);
    }
    return e;
}

FileExplanation ExplainTim(const std::uint8_t* p, std::size_t nSize)
{
    FileExplanation e;
    e.family = EFileFamily::Tim;
    e.strKind = "a TIM";
    if (nSize < 5)
        return e;
    if (p[1] != 0)
        return Refused(e, "a TIM of version " + std::to_string(p[1]), EFileReader::Nothing);
    const unsigned nMode = p[4] & TIM_FLAG_MODE_MASK;
    const bool bClut = (p[4] & TIM_FLAG_CLUT) != 0;
    static constexpr unsigned MODE_BITS[] = {4, 8, 16, 24};
    if (nMode > TIM_MODE_24BIT)
    {
        e.strKind = nMode == 4 ? "a mixed-mode TIM" : "a TIM of pixel mode " + std::to_string(nMode);
        return Refused(e, e.strKind, EFileReader::Nothing);
    }
    e.nBits = MODE_BITS[nMode];
    e.bIndexed = nMode <= TIM_MODE_8BIT;
    e.strKind = Bits(e.nBits) + " TIM";
    if (e.bIndexed && !bClut)
        return Refused(e, e.strKind + " without a CLUT", EFileReader::Export);
    if (nMode != TIM_MODE_8BIT)
        return Refused(e, e.strKind, EFileReader::Export, true);
    return e;
}

FileExplanation ExplainBfnt(const std::uint8_t* p, std::size_t nSize)
{
    FileExplanation e;
    e.family = EFileFamily::Bfnt;
    e.strKind = "a BFNT sheet";
    e.bIndexed = true;
    if (nSize < 6)
        return e;
    const unsigned nType = p[5] & BFNT_COLOR_MASK;
    if (nType == BFNT_COLORS_256 || nType == BFNT_COLORS_16)
    {
        e.nBits = nType == BFNT_COLORS_256 ? 8 : 4;
        e.strKind = nType == BFNT_COLORS_256 ? "a 256-colour BFNT sheet" : "a 16-colour BFNT sheet";
        return e;
    }
    return Refused(e, "a BFNT sheet of colour type " + std::to_string(nType), EFileReader::Nothing);
}

}  // namespace

FileExplanation ExplainFile(const std::uint8_t* p, std::size_t nSize)
{
    FileExplanation e;
    if (nSize == 0 || p == nullptr)
    {
        e.family = EFileFamily::Empty;
        e.strKind = "an empty file";
        return Refused(e, e.strKind, EFileReader::Nothing);
    }
    // In the order the program tests its own signatures, then the others.
    if (nSize >= 4 && std::memcmp(p, BFNT_MAGIC, 4) == 0)
        return ExplainBfnt(p, nSize);
    if (nSize >= 2 && p[0] == 'B' && p[1] == 'M')
        return ExplainBmp(p, nSize);
    if (p[0] == TIM_ID)
        return ExplainTim(p, nSize);
    if (nSize >= sizeof PNG_SIGNATURE && std::memcmp(p, PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0)
    {
        e.family = EFileFamily::Png;
        e.strKind = "a PNG";
        return Refused(e, e.strKind, EFileReader::Import);
    }
    e.family = EFileFamily::Other;
    if (nSize >= 4 && std::memcmp(p, "GIF8", 4) == 0)
        e.strKind = "a GIF";
    else if (nSize >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        e.strKind = "a JPEG";
    else
        e.family = EFileFamily::Unknown;
    if (e.strKind.empty())
        return e;
    return Refused(e, e.strKind, EFileReader::Nothing);
}
