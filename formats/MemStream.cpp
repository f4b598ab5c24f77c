#include "formats/MemStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

CMemStream::CMemStream(std::vector<std::uint8_t> data) : m_data(std::move(data)) {}

CMemStream::CMemStream(const void* pData, std::size_t nSize)
    : m_data(static_cast<const std::uint8_t*>(pData), static_cast<const std::uint8_t*>(pData) + nSize)
{
}

std::uint32_t CMemStream::Read(void* pBuf, std::uint32_t nCount)
{
    if (m_nPos >= m_data.size())
        return 0;
    const std::uint64_t nLeft = m_data.size() - m_nPos;
    const std::uint32_t nGot = nCount < nLeft ? nCount : static_cast<std::uint32_t>(nLeft);
    if (nGot != 0)
        std::memcpy(pBuf, m_data.data() + m_nPos, nGot);
    m_nPos += nGot;
    return nGot;
}

void CMemStream::Write(const void* pBuf, std::uint32_t nCount)
{
    if (nCount == 0)
        return;
    const auto* pSrc = static_cast<const std::uint8_t*>(pBuf);
    if (m_nPos > m_data.size())
        m_data.resize(m_nPos);
    const std::size_t nPos = static_cast<std::size_t>(m_nPos);
    const std::size_t nOverlap = std::min<std::size_t>(nCount, m_data.size() - nPos);
    if (nOverlap != 0)
        std::memcpy(m_data.data() + nPos, pSrc, nOverlap);
    // insert() appends without first zero-filling, unlike resize().
    m_data.insert(m_data.end(), pSrc + nOverlap, pSrc + nCount);
    m_nPos += nCount;
}

std::uint64_t CMemStream::Seek(std::int64_t lOff, int nFrom)
{
    std::int64_t lBase = 0;
    if (nFrom == STREAM_CURRENT)
        lBase = static_cast<std::int64_t>(m_nPos);
    else if (nFrom != STREAM_BEGIN)
        throw std::invalid_argument("CMemStream::Seek: unknown origin");
    if (lOff < -lBase)
        throw std::out_of_range("CMemStream::Seek: before the start");
    if (lOff > std::numeric_limits<std::int64_t>::max() - lBase)
        throw std::out_of_range("CMemStream::Seek: position does not fit");
    m_nPos = static_cast<std::uint64_t>(lBase + lOff);
    return m_nPos;
}

std::vector<std::uint8_t> CMemStream::TakeData()
{
    m_nPos = 0;
    return std::exchange(m_data, {});
}
