#pragma once
// A byte stream over a growable memory buffer: PNG import writes a file into one when the
// caller wants it in memory, and tests, benchmarks and fuzzing read and write through it.

#include "formats/ByteStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CMemStream final : public IByteStream
{
public:
    CMemStream() = default;
    explicit CMemStream(std::vector<std::uint8_t> data);
    CMemStream(const void* pData, std::size_t nSize);

    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override;
    void Write(const void* pBuf, std::uint32_t nCount) override;
    // Seeking past the end is allowed; a later Write fills the gap with zeros.
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override;
    std::uint64_t GetPosition() const override { return m_nPos; }
    std::uint64_t GetLength() const override { return m_data.size(); }

    const std::vector<std::uint8_t>& Data() const { return m_data; }
    std::vector<std::uint8_t> TakeData();

private:
    std::vector<std::uint8_t> m_data;
    std::uint64_t m_nPos = 0;
};
