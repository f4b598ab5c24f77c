#pragma once
// Transfer helpers shared by the readers and writers. Private to the formats library: nothing
// outside formats/ includes it.

#include "formats/ByteStream.h"

#include <cstdint>
#include <memory>

// Pixel data of BMP and 256-colour BFNT moves in pieces of at most this many bytes.
constexpr std::uint32_t FMT_PIECE_SIZE = 61440;

// Bytes between the current position and the end of the stream.
std::uint64_t BytesLeft(const IByteStream& file);

// One request where the count fits; returns false if fewer bytes arrived.
bool ReadExact(IByteStream& file, void* pBuf, std::uint64_t nCount);
bool ReadPiecewise(IByteStream& file, std::uint8_t* pBuf, std::uint64_t nCount);
void WriteExact(IByteStream& file, const void* pBuf, std::uint64_t nCount);
void WritePiecewise(IByteStream& file, const std::uint8_t* pBuf, std::uint64_t nCount);

// Null when the buffer cannot be had; the caller turns that into FMT_NO_MEMORY.
std::unique_ptr<std::uint8_t[]> TryAllocBytes(std::uint64_t nCount);
