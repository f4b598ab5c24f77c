#pragma once
// The byte stream every reader and writer works on: the open file of the
// document's archive, or a memory buffer in tests and benchmarks.

#include <cstdint>

enum : int
{
    STREAM_BEGIN = 0,    // Seek origin: from the start of the stream
    STREAM_CURRENT = 1,  // Seek origin: from the current position
};

class IByteStream
{
public:
    virtual ~IByteStream() = default;

    // Reads up to nCount bytes; returns how many arrived (fewer only at the end).
    virtual std::uint32_t Read(void* pBuf, std::uint32_t nCount) = 0;
    // Writes all nCount bytes. A file stream throws on failure (disk full, I/O error),
    // so callers keep their buffers in RAII owners.
    virtual void Write(const void* pBuf, std::uint32_t nCount) = 0;
    // Moves the position; returns the new position. Seeking before the start throws.
    virtual std::uint64_t Seek(std::int64_t lOff, int nFrom) = 0;
    virtual std::uint64_t GetPosition() const = 0;
    // Total length in bytes, so readers can check sizes before they allocate.
    virtual std::uint64_t GetLength() const = 0;
};
