#pragma once
// Shared by the fuzz harnesses: checks that abort (so libFuzzer keeps the input), a
// fixed earlier image for each record, and the round trips and conversion chains.

#include "fuzz/FuzzCheck.h"

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/DataKinds.h"
#include "formats/MemStream.h"
#include "formats/Tim.h"
#include "tests/corpus/RecordSnapshot.h"

#include <cstdint>
#include <cstring>
#include <vector>

// A small valid image already in each record, so a refused read has something to keep.
void PreloadBmp(CBmpData& bmp);
void PreloadTim(CTimData& tim);
void PreloadBfnt(CBfntData& bfnt);

// Writes the record, reads the bytes back with the same format's reader into a
// fresh record and checks that it holds what was written. Returns the bytes.
Bytes CheckBmpRoundTrip(CBmpData& bmp);
Bytes CheckTimRoundTrip(CTimData& tim);
Bytes CheckBfntRoundTrip(CBfntData& bfnt);

// What each conversion promises about pixels: copied unchanged to their new places.
void CheckTimHoldsBmp(const CBmpData& bmp, const CTimData& tim);
void CheckBmpHoldsTim(const CTimData& tim, const CBmpData& bmp);
void CheckCellsHoldImage(const std::uint8_t* pSrc, std::uint64_t nWidth, std::uint64_t nHeight, const CBfntData& bfnt);
void CheckBmpHoldsGlyphs(const CBfntData& bfnt, const CBmpData& bmp);

// The conversion chains the save driver can run from each loaded kind (through the
// table of data kinds), one after another as successive saves do; every result is
// written and read back.
void RunChainsFromBmp(CBmpData& bmp);
void RunChainsFromTim(CTimData& tim);
void RunChainsFromBfnt(CBfntData& bfnt);

