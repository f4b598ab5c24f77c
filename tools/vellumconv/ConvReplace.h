#pragma once
// vellumconv replace: edited items put back into the file scan found them in. Each item must
// be one that scan finds at its offset; the new bytes are made in its own shape (a PNG as
// import --like makes them), and only the bytes that differ are written: in place through
// the framework's patch file, whose journal makes the change whole or not at all, or into a
// changed copy through the ordinary safe save. A raw CD image gets its sectors' EDC and ECC
// computed again.

#include "tools/vellumconv/ConvScanArgs.h"

#include <cstdio>

// The exit status: 0 when every item was put back or was unchanged, 1 when one was refused or
// a file could not be read or written (nothing is written then), 128 + the signal when
// interrupted before the write; status lines on pOut, messages on pErr.
int RunConvReplace(const ConvReplaceOptions& options, std::FILE* pOut, std::FILE* pErr);
