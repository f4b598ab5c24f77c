#pragma once
// What the document knows without the framework: the kinds of data, how a file's first
// bytes name its kind, and the status texts.
// Kept free of windows so it can be tested and reused on plain buffers.

#include <cstddef>
#include <cstdint>
#include <string>

class CBfntData;
class CBmpData;
class CTimData;

enum : int
{
    DATA_NONE = 0,
    DATA_BFNT = 1,
    DATA_BMP = 2,
    DATA_TIM = 3,
};

// Bytes the loader reads to recognise a format.
constexpr std::size_t DOC_SIGNATURE_SIZE = 6;

// The kind named by the first bytes of a file, tested BFNT, BMP, TIM in that order;
// DATA_NONE when none matches. Only the nSize bytes given are looked at, so a short
// file is classed by what it has: "BFNT" needs four bytes, "BM" two, 0x10 one.
int DetectDataType(const std::uint8_t* pSig, std::size_t nSize);

// "size:WxH" and, for sheets, "  no:F-L".
std::string BfntStatusText(const CBfntData& bfnt);
std::string BmpStatusText(const CBmpData& bmp);
std::string TimStatusText(const CTimData& tim);

// "BFNT", "BMP" or "TIM", for messages.
const char* DataTypeName(int nDataType);
