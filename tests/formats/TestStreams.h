#pragma once
// Test-only streams: one that records request sizes, one that delivers less
// than its length claims (a file cut short while it is being read).

#include "formats/MemStream.h"

#include <cstdint>
#include <vector>

class CRecordingStream final : public IByteStream
{
public:
    explicit CRecordingStream(std::vector<std::uint8_t> data = {}) : m_mem(std::move(data)) {}

    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override
    {
        m_reads.push_back(nCount);
        return m_mem.Read(pBuf, nCount);
    }
    void Write(const void* pBuf, std::uint32_t nCount) override
    {
        m_writes.push_back(nCount);
        m_mem.Write(pBuf, nCount);
    }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override { return m_mem.Seek(lOff, nFrom); }
    std::uint64_t GetPosition() const override { return m_mem.GetPosition(); }
    std::uint64_t GetLength() const override { return m_mem.GetLength(); }

    CMemStream m_mem;
    std::vector<std::uint32_t> m_reads;
    std::vector<std::uint32_t> m_writes;
};

class CShortReadStream final : public IByteStream
{
public:
    CShortReadStream(std::vector<std::uint8_t> data, std::uint64_t nClaimedLength)
        : m_mem(std::move(data)), m_nClaimed(nClaimedLength)
    {
    }
    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override { return m_mem.Read(pBuf, nCount); }
    void Write(const void* pBuf, std::uint32_t nCount) override { m_mem.Write(pBuf, nCount); }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override { return m_mem.Seek(lOff, nFrom); }
    std::uint64_t GetPosition() const override { return m_mem.GetPosition(); }
    std::uint64_t GetLength() const override { return m_nClaimed; }

private:
    CMemStream m_mem;
    std::uint64_t m_nClaimed;
};
