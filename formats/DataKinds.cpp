#include "formats/DataKinds.h"

#include <cstring>

namespace
{
LoadOutcome Outcome(int nDataType, FormatResult nResult, int nFailure)
{
    return {nDataType, nResult, nResult == FMT_OK ? LOAD_OK : nFailure};
}

std::string SizeText(std::int64_t nWidth, std::int64_t nHeight)
{
    return "size:" + std::to_string(nWidth) + "x" + std::to_string(nHeight);
}

// ---- BFNT -------------------------------------------------------------------------------

bool MatchesBfnt(const std::uint8_t* pSig, std::size_t nSize)
{
    return nSize >= 4 && std::memcmp(pSig, "BFNT", 4) == 0;
}

LoadOutcome ReadBfntSheet(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.bfnt.m_pPalette = &palette;
    const FormatResult nResult = rec.bfnt.ReadBfnt256(file);
    if (nResult != FMT_BFNT_NOT_256)
        return Outcome(DATA_BFNT, nResult, LOAD_ERROR);
    // Perhaps a 16-colour sheet: the general reader starts from the top again.
    file.Seek(0, STREAM_BEGIN);
    return Outcome(DATA_BFNT, rec.bfnt.ReadBfnt(file, 1), LOAD_NOT_256_OR_16);
}

FormatResult WriteBfntSheet(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.bfnt.m_pPalette = &palette;
    return rec.bfnt.WriteBfnt(file);
}

std::string BfntStatusText(const DataRecords& rec)
{
    const BfntHeader& h = rec.bfnt.m_header;
    return SizeText(h.glyphWidth, h.glyphHeight) + "  no:" + std::to_string(h.firstCode) + "-" +
           std::to_string(h.lastCode);
}

FormatResult BfntToBmp(const DataRecords& rec)
{
    return rec.bfnt.BfntToBmp(rec.bmp);
}

// There is no direct way: the BMP record keeps the intermediate image.
FormatResult BfntToTim(const DataRecords& rec)
{
    const FormatResult nResult = rec.bfnt.BfntToBmp(rec.bmp);
    return nResult != FMT_OK ? nResult : rec.bmp.BmpToTim(rec.tim);
}

DataLayout BfntLayout(const DataRecords& rec)
{
    return {&rec.bfnt, {}};
}

// ---- BMP --------------------------------------------------------------------------------

bool MatchesBmp(const std::uint8_t* pSig, std::size_t nSize)
{
    return nSize >= 2 && pSig[0] == 0x42 && pSig[1] == 0x4D;
}

LoadOutcome ReadBmpRecord(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.bmp.m_pPalette = &palette;
    const FormatResult nResult = rec.bmp.ReadBmp(file, true);
    return Outcome(DATA_BMP, nResult, nResult == FMT_BMP_NOT_8BIT ? LOAD_NOT_256 : LOAD_ERROR);
}

FormatResult WriteBmpRecord(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.bmp.m_pPalette = &palette;
    return rec.bmp.WriteBmp(file);
}

std::string BmpStatusText(const DataRecords& rec)
{
    return SizeText(rec.bmp.m_infoHeader.biWidth, rec.bmp.m_infoHeader.biHeight);
}

FormatResult BmpToBfnt(const DataRecords& rec)
{
    return rec.bmp.BmpToBfnt(rec.bfnt, DATA_SHEET_CELL_SIZE);
}

FormatResult BmpToTim(const DataRecords& rec)
{
    return rec.bmp.BmpToTim(rec.tim);
}

DataLayout BmpLayout(const DataRecords& rec)
{
    const CBmpData& bmp = rec.bmp;
    const std::uint8_t* p = bmp.m_pBits.get();
    return {nullptr, {p, p != nullptr ? bmp.m_nBitsSize : 0, bmp.m_infoHeader.biWidth, bmp.m_infoHeader.biHeight}};
}

// ---- TIM --------------------------------------------------------------------------------

bool MatchesTim(const std::uint8_t* pSig, std::size_t nSize)
{
    return nSize >= 1 && pSig[0] == TIM_ID;
}

LoadOutcome ReadTimRecord(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.tim.m_pPalette = &palette;
    const FormatResult nResult = rec.tim.ReadTim(file, true);
    return Outcome(DATA_TIM, nResult, nResult == FMT_TIM_NOT_8BIT ? LOAD_NOT_256 : LOAD_ERROR);
}

FormatResult WriteTimRecord(const DataRecords& rec, IByteStream& file, RgbPalette& palette)
{
    rec.tim.m_pPalette = &palette;
    return rec.tim.WriteTim(file);
}

// The width field counts 16-bit units of two pixels each.
std::int64_t TimWidth(const CTimData& tim)
{
    return 2 * std::int64_t{tim.m_imageWidth};
}

std::string TimStatusText(const DataRecords& rec)
{
    return SizeText(TimWidth(rec.tim), rec.tim.m_imageHeight);
}

FormatResult TimToBfnt(const DataRecords& rec)
{
    return rec.tim.TimToBfnt(rec.bfnt, DATA_SHEET_CELL_SIZE);
}

FormatResult TimToBmp(const DataRecords& rec)
{
    return rec.tim.TimToBmp(rec.bmp);
}

DataLayout TimLayout(const DataRecords& rec)
{
    const CTimData& tim = rec.tim;
    const std::uint8_t* p = tim.m_pPixels.get();
    return {nullptr, {p, p != nullptr ? tim.m_nPixelsSize : 0, TimWidth(tim), tim.m_imageHeight}};
}

// In the order the loader tests the signatures.
const DataKind DATA_KINDS[] = {
    {DATA_BFNT, "BFNT", nullptr, MatchesBfnt, ReadBfntSheet, WriteBfntSheet, BfntStatusText,
     {nullptr, nullptr, BfntToBmp, BfntToTim}, BfntLayout},
    {DATA_BMP, "BMP", ".bmp", MatchesBmp, ReadBmpRecord, WriteBmpRecord, BmpStatusText,
     {nullptr, BmpToBfnt, nullptr, BmpToTim}, BmpLayout},
    {DATA_TIM, "TIM", ".tim", MatchesTim, ReadTimRecord, WriteTimRecord, TimStatusText,
     {nullptr, TimToBfnt, TimToBmp, nullptr}, TimLayout},
};

// The kind the last four characters of a save path, in lower case, choose.
int SaveTypeFromExtension(const char* pszLowerExt)
{
    int nOther = DATA_NONE;
    for (const DataKind& kind : DATA_KINDS)
    {
        if (kind.pszSaveExtension == nullptr)
            nOther = kind.nDataType;
        else if (pszLowerExt != nullptr && std::strcmp(pszLowerExt, kind.pszSaveExtension) == 0)
            return kind.nDataType;
    }
    return nOther;
}
}  // namespace

const DataKind* FindDataKind(int nDataType)
{
    for (const DataKind& kind : DATA_KINDS)
        if (kind.nDataType == nDataType)
            return &kind;
    return nullptr;
}

int DetectDataType(const std::uint8_t* pSig, std::size_t nSize)
{
    if (pSig == nullptr)
        return DATA_NONE;
    for (const DataKind& kind : DATA_KINDS)
        if (kind.pfnMatches(pSig, nSize))
            return kind.nDataType;
    return DATA_NONE;
}

LoadOutcome LoadData(IByteStream& file, const DataRecords& rec, RgbPalette& palette)
{
    // A file shorter than the signature is classed by the bytes it has.
    std::uint8_t signature[DATA_SIGNATURE_SIZE] = {};
    const std::uint32_t nGot = file.Read(signature, static_cast<std::uint32_t>(DATA_SIGNATURE_SIZE));
    file.Seek(0, STREAM_BEGIN);
    const DataKind* pKind = FindDataKind(DetectDataType(signature, nGot));
    if (pKind == nullptr)
        return {DATA_NONE, FMT_OK, LOAD_UNKNOWN_FORMAT};
    return pKind->pfnRead(rec, file, palette);
}

FormatResult ConvertData(const DataRecords& rec, int nFrom, int nTo)
{
    const DataKind* pFrom = FindDataKind(nFrom);
    if (pFrom == nullptr || nTo < 0 || nTo >= DATA_KIND_COUNT || pFrom->pfnConvertTo[nTo] == nullptr)
        return FMT_OK;
    return pFrom->pfnConvertTo[nTo](rec);
}

FormatResult WriteData(const DataRecords& rec, int nDataType, IByteStream& file, RgbPalette& palette)
{
    const DataKind* pKind = FindDataKind(nDataType);
    return pKind != nullptr ? pKind->pfnWrite(rec, file, palette) : FMT_BAD_RECORD;
}

int SaveTypeFromPath(std::string_view strPath)
{
    const std::string_view strTail = strPath.substr(strPath.size() > 4 ? strPath.size() - 4 : 0);
    char szExt[5] = {};
    for (std::size_t i = 0; i < strTail.size(); ++i)
    {
        const char ch = strTail[i];
        szExt[i] = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return SaveTypeFromExtension(szExt);
}

const char* DataTypeName(int nDataType)
{
    const DataKind* pKind = FindDataKind(nDataType);
    return pKind != nullptr ? pKind->pszName : "no data";
}
