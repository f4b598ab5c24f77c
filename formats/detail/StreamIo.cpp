#include "formats/detail/StreamIo.h"

#include <cstddef>
#include <limits>
#include <new>

namespace
{
// The stream counts in 32 bits; a "single request" larger than this is split.
constexpr std::uint64_t MAX_REQUEST = 0x80000000u;
}

std::uint64_t BytesLeft(const IByteStream& file)
{
    const std::uint64_t nLength = file.GetLength();
    const std::uint64_t nPos = file.GetPosition();
    return nLength > nPos ? nLength - nPos : 0;
}

bool ReadExact(IByteStream& file, void* pBuf, std::uint64_t nCount)
{
    auto* p = static_cast<std::uint8_t*>(pBuf);
    while (nCount != 0)
    {
        const auto nPart = static_cast<std::uint32_t>(nCount < MAX_REQUEST ? nCount : MAX_REQUEST);
        if (file.Read(p, nPart) != nPart)
            return false;
        p += nPart;
        nCount -= nPart;
    }
    return true;
}

bool ReadPiecewise(IByteStream& file, std::uint8_t* pBuf, std::uint64_t nCount)
{
    while (nCount != 0)
    {
        const auto nPart = static_cast<std::uint32_t>(nCount < FMT_PIECE_SIZE ? nCount : FMT_PIECE_SIZE);
        if (file.Read(pBuf, nPart) != nPart)
            return false;
        pBuf += nPart;
        nCount -= nPart;
    }
    return true;
}

void WriteExact(IByteStream& file, const void* pBuf, std::uint64_t nCount)
{
    const auto* p = static_cast<const std::uint8_t*>(pBuf);
    while (nCount != 0)
    {
        const auto nPart = static_cast<std::uint32_t>(nCount < MAX_REQUEST ? nCount : MAX_REQUEST);
        file.Write(p, nPart);
        p += nPart;
        nCount -= nPart;
    }
}

void WritePiecewise(IByteStream& file, const std::uint8_t* pBuf, std::uint64_t nCount)
{
    while (nCount != 0)
    {
        const auto nPart = static_cast<std::uint32_t>(nCount < FMT_PIECE_SIZE ? nCount : FMT_PIECE_SIZE);
        file.Write(pBuf, nPart);
        pBuf += nPart;
        nCount -= nPart;
    }
}

std::unique_ptr<std::uint8_t[]> TryAllocBytes(std::uint64_t nCount)
{
    if (nCount > std::numeric_limits<std::size_t>::max() / 2)
        return nullptr;
    // A zero-byte request still yields a distinct non-null pointer.
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(nCount)]);
}
