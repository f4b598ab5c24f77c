#include "tools/vellumconv/ConvInput.h"

#include "formats/PixelBuffer.h"
#include "tools/vellumconv/ConvStream.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace
{
constexpr std::size_t COPY_PIECE = std::size_t{1} << 20;
}  // namespace

std::size_t CConvInput::ReadAt(std::uint8_t* p, std::size_t n, std::uint64_t nOffset) const
{
    std::size_t nDone = 0;
    while (nDone < n)
    {
        const ssize_t nGot = ::pread(m_file.GetHandle(), p + nDone, n - nDone, static_cast<off_t>(nOffset + nDone));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            throw CFileException::FromErrno(errno, m_file.GetFilePath());
        if (nGot == 0)
            break;
        nDone += static_cast<std::size_t>(nGot);
    }
    return nDone;
}

bool CConvInput::ReadRange(std::uint64_t nFrom, std::uint64_t nTo)
{
    if (nTo <= nFrom)
        return true;
    // A large file is filled on a few huge pages rather than thousands of small ones.
    m_data.reserve(static_cast<std::size_t>(nTo));
    AdviseHugePages(m_data.data(), m_data.capacity());
    m_data.resize(static_cast<std::size_t>(nTo));
    const std::size_t nGot = ReadAt(m_data.data() + nFrom, static_cast<std::size_t>(nTo - nFrom), nFrom);
    // A file cut while it is read is read as far as it goes.
    m_data.resize(static_cast<std::size_t>(nFrom + nGot));
    return true;
}

bool CConvInput::Read(const std::string& strPath, std::uint64_t nOtherBytes, std::string& strMessage)
{
    m_data.clear();
    CFileException fe;
    std::string strRead, strCause;
    if (!ConvReadPath(strPath, strRead, strCause))
    {
        strMessage = AfxFileErrorMessage(strPath.c_str(), strCause.c_str(), FALSE).Str();
        return false;
    }
    if (!m_file.Open(strRead.c_str(), CFile::modeRead, &fe))
    {
        strMessage = AfxFileErrorMessage(strPath.c_str(), fe.GetCauseText(), FALSE).Str();
        return false;
    }
    m_nFileSize = m_file.GetLength();
    const ItemReach reach = FindItemReach(
        [this](std::uint8_t* p, std::size_t n, std::uint64_t nOffset) { return ReadAt(p, n, nOffset); }, m_nFileSize);
    m_kind = reach.kind;
    const std::uint64_t nReach = reach.kind == EItemKind::Other ? std::min(reach.nReach, nOtherBytes) : reach.nReach;
    if (nReach > 0xFFFFFFFFu)
    {
        strMessage = "the file is too large.";
        return false;
    }
    return ReadRange(0, nReach);
}

bool CConvInput::ReadWhole(std::uint64_t nMost)
{
    if (m_nFileSize > nMost)
        return false;
    return ReadRange(m_data.size(), m_nFileSize);
}

void CConvInput::CopyRest(CFile& out) const
{
    const int fd = m_file.GetHandle();
    std::vector<std::uint8_t> piece(COPY_PIECE);
    std::uint64_t nPos = m_data.size();
    while (nPos < m_nFileSize)
    {
        // The next bytes that are not a hole; none: the rest is one.
        const off_t lData = ::lseek(fd, static_cast<off_t>(nPos), SEEK_DATA);
        const std::uint64_t nData = lData < 0 ? m_nFileSize : static_cast<std::uint64_t>(lData);
        if (lData < 0 && errno != ENXIO)
            throw CFileException::FromErrno(errno, m_file.GetFilePath());
        if (nData >= m_nFileSize)
            break;
        if (nData > nPos)
            out.Seek(static_cast<std::int64_t>(nData), CFile::begin);
        nPos = nData;
        const off_t lHole = ::lseek(fd, static_cast<off_t>(nPos), SEEK_HOLE);
        const std::uint64_t nEnd = lHole < 0 ? m_nFileSize : std::min(static_cast<std::uint64_t>(lHole), m_nFileSize);
        while (nPos < nEnd)
        {
            const std::size_t nWant = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), nEnd - nPos));
            const std::size_t nGot = ReadAt(piece.data(), nWant, nPos);
            if (nGot == 0)
                return;  // cut while it was copied: what was there is copied
            out.Write(piece.data(), static_cast<std::uint32_t>(nGot));
            nPos += nGot;
        }
    }
    // A hole at the end: the last byte, a zero, gives the copy its length.
    if (out.GetPosition() < m_nFileSize && out.GetLength() < m_nFileSize)
    {
        const std::uint8_t nZero = 0;
        out.Seek(static_cast<std::int64_t>(m_nFileSize - 1), CFile::begin);
        out.Write(&nZero, 1);
    }
}
