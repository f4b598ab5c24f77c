#pragma once
// What a file is, from its first bytes: its format and depth, and, when the program's 8-bit
// reader refuses files like it, the detail that makes it refuse and which reader takes such
// a file instead. The converter adds this to a refusal, so a user learns the way on.
// Pure: it looks only at the bytes given.

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes enough for every header looked at: a BMP's file header and the start of its info
// header, a TIM's file header, a sheet's header, a PNG's signature.
constexpr std::size_t EXPLAIN_HEADER_SIZE = 64;

enum class EFileFamily
{
    Unknown,
    Empty,
    Bmp,
    Tim,
    Bfnt,
    Png,
    Other,  // a picture format the project does not read at all (GIF, JPEG)
};

// Who reads a file like this one.
enum class EFileReader
{
    Window,   // the 8-bit reader every form shares, or nothing is known: nothing to explain
    Export,   // the PNG export, which reads every depth and layout
    Import,   // the PNG import
    Nothing,  // no part of the project
};

struct FileExplanation
{
    EFileFamily family = EFileFamily::Unknown;
    unsigned nBits = 0;        // bits per pixel where the header says so, else 0
    bool bIndexed = false;     // pixels are indices into a palette or CLUT the file holds
    std::string strKind;       // "an 8-bit BMP", "a 4-bit TIM", "a PNG"; empty when unknown
    // Why the 8-bit reader refuses files like this, as a noun phrase ("an RLE8-compressed
    // BMP"); empty when it reads them.
    std::string strCause;
    EFileReader reader = EFileReader::Window;
    bool bDepth = false;       // the cause is the depth alone
};

// The explanation of a file that starts with the nSize bytes at p (fewer than
// EXPLAIN_HEADER_SIZE when the file is shorter).
FileExplanation ExplainFile(const std::uint8_t* p, std::size_t nSize);
