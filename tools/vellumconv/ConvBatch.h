#pragma once
// Batch conversion: many files, each converted as if it were the only one, on several worker
// processes (ConvWorkers.h), all saving into one CSaveBatch. Every
// output is written beside its target; once all are written, one sync per file system makes
// them durable and only then are they renamed over their targets. SIGINT and SIGTERM remove
// the temporaries not yet renamed.

#include "tools/vellumconv/ConvPlan.h"

#include <cstdio>
#include <string>
#include <vector>

// Runs the whole batch and returns the exit status: 0 when every file converted, 1 when any
// failed, 2 for a usage error, 128 + the signal when interrupted.
int RunConvBatch(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr);
