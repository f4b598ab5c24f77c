#pragma once
// Raw CD images: files of 2352-byte sectors as the disc holds them (ECMA-130; CD-ROM XA for
// Mode 2). A data sector opens with a 12-byte sync pattern and a 4-byte header whose last
// byte is the mode; Mode 1 carries 2048 bytes of user data at offset 16, Mode 2 an 8-byte
// subheader and then, in Form 1, 2048 bytes at offset 24. Form 2 sectors (audio and video
// streams) and sectors without the sync pattern (audio tracks) carry no file data. The tail
// of a data sector holds its error detection (EDC) and correction (ECC P and Q parity); their
// places are here, their computation in CdSector.h. Pure: it sees bytes, never a file.

#include <cstddef>
#include <cstdint>

enum : std::uint32_t
{
    CD_SECTOR_SIZE = 2352,
    CD_USER_DATA_SIZE = 2048,
    CD_SYNC_SIZE = 12,
    CD_HEADER_AT = 12,  // minute, second, frame (BCD), mode
    CD_HEADER_SIZE = 4,
    CD_MODE_AT = 15,
    CD_MODE1_DATA_AT = 16,
    CD_MODE2_SUBHEADER_AT = 16,  // file, channel, submode, coding, twice
    CD_MODE2_SUBMODE_AT = 18,    // the subheader's first copy: file, channel, submode, coding
    CD_MODE2_FORM1_DATA_AT = 24,
    CD_SUBMODE_FORM2 = 0x20,
    // Bytes of a sector that tell where its user data lies.
    CD_SECTOR_HEADER_SIZE = 24,

    // The tail of Mode 1 and Mode 2 Form 1: a 4-byte EDC (little-endian) right after the user
    // data, in Mode 1 followed by 8 zero bytes, then the same P and Q parity in both.
    CD_EDC_SIZE = 4,
    CD_MODE1_EDC_AT = 2064,        // over bytes 0..2063: sync, header, user data
    CD_MODE1_ZERO_AT = 2068,
    CD_MODE2_FORM1_EDC_AT = 2072,  // over bytes 16..2071: subheader, user data
    CD_ECC_P_AT = 2076,            // 86 columns of 24 bytes of 12..2075, 2 parity bytes each
    CD_ECC_P_SIZE = 172,
    CD_ECC_Q_AT = 2248,            // 52 diagonals of 43 bytes of 12..2247, 2 parity bytes each
    CD_ECC_Q_SIZE = 104,
    // Form 2: 2324 bytes from 24 on and an EDC over 16..2347 that may be left zero (none).
    CD_MODE2_FORM2_DATA_SIZE = 2324,
    CD_MODE2_FORM2_EDC_AT = 2348,
};

// What a sector carries, from its sync pattern, mode and submode.
enum class ECdSector
{
    None,        // no sync pattern (audio), Mode 0 or an unknown mode
    Mode1,
    Mode2Form1,
    Mode2Form2,  // XA audio and video: no user data for the scan
};

extern const std::uint8_t CD_SYNC[CD_SYNC_SIZE];

// True for a file of nFileSize bytes, a whole number of sectors, whose first sector (nFirst
// bytes of it at pFirst) opens with the sync pattern and names Mode 1 or Mode 2.
bool IsRawCdImage(const std::uint8_t* pFirst, std::size_t nFirst, std::uint64_t nFileSize);

// The kind of the sector at pSector (its first CD_SECTOR_HEADER_SIZE bytes are read).
ECdSector CdSectorKind(const std::uint8_t* pSector);

// Where the 2048 bytes of user data of the sector at pSector start (its first
// CD_SECTOR_HEADER_SIZE bytes are read), or 0 when it carries none: no sync pattern, Mode 0
// or an unknown mode, Mode 2 Form 2.
std::uint32_t CdUserDataAt(const std::uint8_t* pSector);
