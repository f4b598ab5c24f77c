#pragma once
// The TIM file's layout, for every reader and writer of it: an 8-byte file header, then a
// CLUT block when the flags say so, then the image block. Both blocks open with the same
// 12-byte header, whose length counts the header itself. Little-endian throughout.

#include "formats/ByteStream.h"

#include <cstdint>

enum : std::uint32_t
{
    TIM_ID = 0x10,
    TIM_FILE_HEADER_SIZE = 8,
    TIM_BLOCK_HEADER_SIZE = 12,
    // The flags: the pixel mode in the low three bits, and whether a CLUT block follows.
    TIM_FLAG_MODE_MASK = 0x07,
    TIM_FLAG_CLUT = 0x08,
    TIM_MODE_4BIT = 0,
    TIM_MODE_8BIT = 1,
    TIM_MODE_16BIT = 2,
    TIM_MODE_24BIT = 3,
    TIM_MODE_8BIT_CLUT = TIM_FLAG_CLUT | TIM_MODE_8BIT,  // low byte of the flags of the 8-bit record
    TIM_CLUT_LENGTH = 524,      // 12 header bytes + 256 colours of 2 bytes
};

// A CLUT colour or 16-bit pixel: red in the low five bits, then green and blue, and the
// semi-transparency bit on top.
enum : std::uint16_t
{
    TIM_COLOR_STP = 0x8000,
};

// A 5-bit component as 8 bits: the top bits repeat in the low ones, so 31 gives 255.
inline std::uint8_t TimWiden5(unsigned nComponent)
{
    return static_cast<std::uint8_t>((nComponent << 3) | (nComponent >> 2));
}

// An 8-bit component as the nearest 5-bit one (halves round up): 255 gives 31, and
// TimWiden5's value for each component gives that component back.
inline unsigned TimNarrow5Nearest(unsigned nComponent)
{
    return (nComponent * 31 + 127) / 255;
}

struct TimFileHeader
{
    std::uint8_t id;
    std::uint8_t version;
    std::uint16_t reserved;  // bytes 2 and 3
    std::uint32_t flags;
};

// The header of the CLUT block and of the image block alike. The image block's width
// counts 16-bit units.
struct TimBlockHeader
{
    std::uint32_t length;  // header and data
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t width;
    std::uint16_t height;
};

void ParseTimFileHeader(const std::uint8_t* p, TimFileHeader& h);
void ParseTimBlockHeader(const std::uint8_t* p, TimBlockHeader& h);

// Each is one write of the header's bytes.
void WriteTimFileHeader(IByteStream& file, const TimFileHeader& h);
void WriteTimBlockHeader(IByteStream& file, const TimBlockHeader& h);
