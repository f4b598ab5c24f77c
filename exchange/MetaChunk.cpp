#include "exchange/MetaChunk.h"

#include "exchange/detail/ExchangeKinds.h"
#include "formats/ByteOrder.h"

std::vector<std::uint8_t> BuildMetaChunk(const MetaChunk& meta)
{
    const ExchangeKind* pKind = FindExchangeKind(meta.nDataType);
    std::vector<std::uint8_t> v;
    v.push_back(META_LAYOUT);
    v.push_back(pKind != nullptr ? pKind->nChunkKind : 0);
    AppendLe16(v, meta.bBorrowedPalette ? META_FLAG_BORROWED_PALETTE : 0);
    AppendLe32(v, meta.nWidth);
    AppendLe32(v, meta.nHeight);
    if (pKind != nullptr)
        pKind->pfnStoreMeta(meta, v);
    return v;
}

ExchangeResult ParseMetaChunk(const std::vector<std::uint8_t>& data, MetaChunk& meta)
{
    const std::size_t n = data.size();
    const std::uint8_t* p = data.data();
    if (n < META_COMMON_SIZE)
        return Refuse(XCH_CHUNK_DAMAGED);
    if (p[0] != META_LAYOUT)
        return Refuse(XCH_CHUNK_LAYOUT, p[0]);
    const ExchangeKind* pKind = FindChunkKind(p[1]);
    MetaChunk m;
    m.nDataType = pKind != nullptr ? pKind->nDataType : DATA_NONE;
    m.nWidth = GetLe32(p + 4);
    m.nHeight = GetLe32(p + 8);
    // Flags this version does not know are left alone, as the first files' 0 is.
    m.bBorrowedPalette = (GetLe16(p + 2) & META_FLAG_BORROWED_PALETTE) != 0;
    if (pKind == nullptr || !pKind->pfnParseMeta(p + META_COMMON_SIZE, n - META_COMMON_SIZE, m))
        return Refuse(XCH_CHUNK_DAMAGED);
    meta = std::move(m);
    return {};
}
