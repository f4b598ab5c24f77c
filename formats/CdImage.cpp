#include "formats/CdImage.h"

#include <cstring>

const std::uint8_t CD_SYNC[CD_SYNC_SIZE] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool IsRawCdImage(const std::uint8_t* pFirst, std::size_t nFirst, std::uint64_t nFileSize)
{
    return nFileSize >= CD_SECTOR_SIZE && nFileSize % CD_SECTOR_SIZE == 0 && nFirst >= CD_SECTOR_HEADER_SIZE &&
           std::memcmp(pFirst, CD_SYNC, CD_SYNC_SIZE) == 0 && (pFirst[CD_MODE_AT] == 1 || pFirst[CD_MODE_AT] == 2);
}

ECdSector CdSectorKind(const std::uint8_t* pSector)
{
    if (std::memcmp(pSector, CD_SYNC, CD_SYNC_SIZE) != 0)
        return ECdSector::None;
    if (pSector[CD_MODE_AT] == 1)
        return ECdSector::Mode1;
    if (pSector[CD_MODE_AT] == 2)
        return (pSector[CD_MODE2_SUBMODE_AT] & CD_SUBMODE_FORM2) == 0 ? ECdSector::Mode2Form1 : ECdSector::Mode2Form2;
    return ECdSector::None;
}

std::uint32_t CdUserDataAt(const std::uint8_t* pSector)
{
    switch (CdSectorKind(pSector))
    {
    case ECdSector::Mode1:
        return CD_MODE1_DATA_AT;
    case ECdSector::Mode2Form1:
        return CD_MODE2_FORM1_DATA_AT;
    case ECdSector::None:
    case ECdSector::Mode2Form2:
        break;
    }
    return 0;
}
