#pragma once
// The framework's open file as the byte stream the format readers and writers work on.

#include "formats/ByteStream.h"
#include "framework/AfxFile.h"

class CFileStream final : public IByteStream
{
public:
    explicit CFileStream(CFile& file) : m_file(file) {}

    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override { return m_file.Read(pBuf, nCount); }
    void Write(const void* pBuf, std::uint32_t nCount) override { m_file.Write(pBuf, nCount); }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override
    {
        return m_file.Seek(lOff, nFrom == STREAM_BEGIN ? CFile::begin : CFile::current);
    }
    std::uint64_t GetPosition() const override { return m_file.GetPosition(); }
    std::uint64_t GetLength() const override { return m_file.GetLength(); }

private:
    CFile& m_file;
};
