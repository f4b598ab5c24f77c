#include "formats/CdImage.h"

#include <cstring>

const std::uint8_t CD_SYNC[CD_SYNC_SIZE] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool IsRawCdImage(const std::uint8_t* pFirst, std::size_t nFirst, std::uint64_t nFileSize)
{
    return nFileSize >= CD_SECTOR_SIZE && nFileSize % CD_SECTOR_SIZE == 0 && nFirst >= CD_SECTOR_HEADER_SIZE &&
           std::memcmp(pFirst, CD_SYNC, CD_SYNC_SIZE) == 0 && (pFirst[CD_MODE_AT] == 1 || pFirst[CD_MODE_AT] == 2);
}

std::uint32_t CdUserDataAt(const std::uint8_t* pSector)
{
    if (std::memcmp(pSector, CD_SYNC, CD_SYNC_SIZE) != 0)
        return 0;
    if (pSector[CD_MODE_AT] == 1)
        return CD_MODE1_DATA_AT;
    if (pSector[CD_MODE_AT] == 2 && (pSector[CD_MODE2_SUBMODE_AT] & CD_SUBMODE_FORM2) == 0)
        return CD_MODE2_FORM1_DATA_AT;
    return 0;
}
