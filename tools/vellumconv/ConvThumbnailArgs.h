#pragma once
// The command line of `vellumconv thumbnail`: its model and parser. ParseConvArgs hands it the
// arguments after the verb.

#include <cstdint>
#include <string>
#include <vector>

// The longest side a thumbnail may be asked for, and the one it gets by default.
constexpr std::uint32_t CONV_THUMB_MAX_SIZE = 4096;
constexpr std::uint32_t CONV_THUMB_DEFAULT_SIZE = 128;

// vellumconv thumbnail [-s SIZE] IN OUT.png
struct ConvThumbnailOptions
{
    std::uint32_t nSize = CONV_THUMB_DEFAULT_SIZE;
    std::string strIn;   // "-" is standard input
    std::string strOut;
};

// Fills thumbnail and the help flag; false, with the usage error in strError, when the line
// makes no sense.
bool ParseThumbnailArgs(const std::vector<std::string>& args, ConvThumbnailOptions& thumbnail, bool& bHelp,
                        std::string& strError);

const char* ConvThumbnailUsageText();
