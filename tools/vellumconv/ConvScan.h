#pragma once
// vellumconv scan: every TIM, BMP and BFNT inside the files named, found on threads over
// ranges of each file, reported in file order and offset order, and extracted through the
// framework's batch save.

#include "tools/vellumconv/ConvScanArgs.h"

#include <cstdio>

// The exit status: 0 when every file was scanned, 1 when one could not be read or a find
// not extracted, 2 for a refusal of the whole extraction; finds on pOut, messages on pErr.
int RunConvScan(const ConvScanOptions& options, std::FILE* pOut, std::FILE* pErr);
