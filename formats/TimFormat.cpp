#include "formats/TimFormat.h"

#include "formats/ByteOrder.h"

void ParseTimFileHeader(const std::uint8_t* p, TimFileHeader& h)
{
    h.id = p[0];
    h.version = p[1];
    h.reserved = GetLe16(p + 2);
    h.flags = GetLe32(p + 4);
}

void ParseTimBlockHeader(const std::uint8_t* p, TimBlockHeader& h)
{
    h.length = GetLe32(p);
    h.x = GetLe16(p + 4);
    h.y = GetLe16(p + 6);
    h.width = GetLe16(p + 8);
    h.height = GetLe16(p + 10);
}

void WriteTimFileHeader(IByteStream& file, const TimFileHeader& h)
{
    std::uint8_t bytes[TIM_FILE_HEADER_SIZE];
    bytes[0] = h.id;
    bytes[1] = h.version;
    PutLe16(bytes + 2, h.reserved);
    PutLe32(bytes + 4, h.flags);
    file.Write(bytes, sizeof bytes);
}

void WriteTimBlockHeader(IByteStream& file, const TimBlockHeader& h)
{
    std::uint8_t bytes[TIM_BLOCK_HEADER_SIZE];
    PutLe32(bytes, h.length);
    PutLe16(bytes + 4, h.x);
    PutLe16(bytes + 6, h.y);
    PutLe16(bytes + 8, h.width);
    PutLe16(bytes + 10, h.height);
    file.Write(bytes, sizeof bytes);
}
