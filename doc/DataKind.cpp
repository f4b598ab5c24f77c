#include "DataKind.h"

#include "Bfnt.h"
#include "Bmp.h"
#include "Tim.h"

#include <cstring>

int DetectDataType(const std::uint8_t* pSig, std::size_t nSize)
{
    if (pSig == nullptr)
        return DATA_NONE;
    if (nSize >= 4 && std::memcmp(pSig, "BFNT", 4) == 0)
        return DATA_BFNT;
    if (nSize >= 2 && pSig[0] == 0x42 && pSig[1] == 0x4D)
        return DATA_BMP;
    if (nSize >= 1 && pSig[0] == TIM_ID)
        return DATA_TIM;
    return DATA_NONE;
}

std::string BfntStatusText(const CBfntData& bfnt)
{
    const BfntHeader& h = bfnt.m_header;
    return "size:" + std::to_string(h.glyphWidth) + "x" + std::to_string(h.glyphHeight) + "  no:" +
           std::to_string(h.firstCode) + "-" + std::to_string(h.lastCode);
}

std::string BmpStatusText(const CBmpData& bmp)
{
    return "size:" + std::to_string(bmp.m_infoHeader.biWidth) + "x" + std::to_string(bmp.m_infoHeader.biHeight);
}

std::string TimStatusText(const CTimData& tim)
{
    // The width field counts 16-bit units of two pixels each.
    return "size:" + std::to_string(2 * std::uint32_t{tim.m_imageWidth}) + "x" + std::to_string(tim.m_imageHeight);
}

const char* DataTypeName(int nDataType)
{
    switch (nDataType)
    {
    case DATA_BFNT: return "BFNT";
    case DATA_BMP: return "BMP";
    case DATA_TIM: return "TIM";
    default: return "no data";
    }
}
