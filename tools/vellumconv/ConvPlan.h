#pragma once
// What a batch will do, decided before anything is written: every input with its output.

#include "tools/vellumconv/ConvArgs.h"

#include <string>
#include <vector>

struct ConvBatchJob
{
    std::string strIn;
    std::string strOut;
};

// The inputs (the command line's, then --files-from's) with their outputs. False, with a
// usage error in strError, for an unreadable list, or for two inputs that would give the same
// output, or an input that is also another's output: nothing has been written then.
bool PlanConvBatch(const ConvBatchOptions& options, std::vector<ConvBatchJob>& jobs, std::string& strError);

// The output of one input: its name without its last extension, plus strExt, in strOutDir
// or (when empty) beside the input.
std::string ConvBatchOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir);

