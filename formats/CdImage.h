#pragma once
// Raw CD images: files of 2352-byte sectors as the disc holds them (ECMA-130; CD-ROM XA for
// Mode 2). A data sector opens with a 12-byte sync pattern and a 4-byte header whose last
// byte is the mode; Mode 1 carries 2048 bytes of user data at offset 16, Mode 2 an 8-byte
// subheader and then, in Form 1, 2048 bytes at offset 24. Form 2 sectors (audio and video
// streams) and sectors without the sync pattern (audio tracks) carry no file data. Pure: it
// sees bytes, never a file.

#include <cstddef>
#include <cstdint>

enum : std::uint32_t
{
    CD_SECTOR_SIZE = 2352,
    CD_USER_DATA_SIZE = 2048,
    CD_SYNC_SIZE = 12,
    CD_MODE_AT = 15,
    CD_MODE1_DATA_AT = 16,
    CD_MODE2_SUBMODE_AT = 18,  // the subheader's first copy: file, channel, submode, coding
    CD_MODE2_FORM1_DATA_AT = 24,
    CD_SUBMODE_FORM2 = 0x20,
    // Bytes of a sector that tell where its user data lies.
    CD_SECTOR_HEADER_SIZE = 24,
};

extern const std::uint8_t CD_SYNC[CD_SYNC_SIZE];

// True for a file of nFileSize bytes, a whole number of sectors, whose first sector (nFirst
// bytes of it at pFirst) opens with the sync pattern and names Mode 1 or Mode 2.
bool IsRawCdImage(const std::uint8_t* pFirst, std::size_t nFirst, std::uint64_t nFileSize);

// Where the 2048 bytes of user data of the sector at pSector start (its first
// CD_SECTOR_HEADER_SIZE bytes are read), or 0 when it carries none: no sync pattern, Mode 0
// or an unknown mode, Mode 2 Form 2.
std::uint32_t CdUserDataAt(const std::uint8_t* pSector);
