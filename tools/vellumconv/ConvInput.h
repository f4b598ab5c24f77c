#pragma once
// How the converter reads an input: a regular file only (a FIFO, a socket or a device is
// refused at once, never waited on), and of it only the bytes that its item's headers and
// the file's real size allow (formats/ItemReach.h). A file padded far past its item, or one
// that claims more than it holds, costs the memory of its item, not of the file.

#include "formats/ItemReach.h"
#include "framework/AfxFile.h"

#include <cstdint>
#include <string>
#include <vector>

class CConvInput
{
public:
    // Opens strPath and reads its item's reach; for a file of no known kind, at most the
    // first nOtherBytes. False with the message to print ("Cannot open "f": a FIFO; vellumconv
    // reads regular files.") in strMessage.
    bool Read(const std::string& strPath, std::uint64_t nOtherBytes, std::string& strMessage);
    // Reads the rest of the file too, when it has at most nMost bytes; false otherwise.
    bool ReadWhole(std::uint64_t nMost);

    const std::vector<std::uint8_t>& Data() const { return m_data; }
    std::vector<std::uint8_t>& Data() { return m_data; }
    std::uint64_t FileSize() const { return m_nFileSize; }
    EItemKind Kind() const { return m_kind; }
    // Writes the file's bytes after Data() to out, after Data() was written there: in pieces,
    // and across a sparse file's holes by seeking, so a padded file's copy is padded too.
    void CopyRest(CFile& out) const;

private:
    std::size_t ReadAt(std::uint8_t* p, std::size_t n, std::uint64_t nOffset) const;
    bool ReadRange(std::uint64_t nFrom, std::uint64_t nTo);

    CFile m_file;
    std::vector<std::uint8_t> m_data;
    std::uint64_t m_nFileSize = 0;
    EItemKind m_kind = EItemKind::Other;
};
