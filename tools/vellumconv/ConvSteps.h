#pragma once
// The converter's command line as a list of steps, run left to right as a person would
// use the program between start and exit. Parsing is separate so it can be tested alone.

#include <string>
#include <vector>

enum class EConvStep
{
    Open,    // File/Open
    Save,    // File/Save As
    New,     // File/New
    Size,    // the view's client area becomes W x H
    Render,  // what the window shows now, as an 8-bit indexed PNG
};

struct ConvStep
{
    EConvStep kind;
    std::string strPath;  // Open, Save, Render
    int nWidth = 0;       // Size
    int nHeight = 0;
};

// Each side of --size may be 0 (as when the window is minimised) up to this.
constexpr int CONV_MAX_SIZE = 16384;

struct ConvCommandLine
{
    std::vector<ConvStep> steps;
    bool bHelp = false;
    std::string strError;  // non-empty: a usage error, described
};

// A bare PATH opens when no step came before it and saves otherwise, so
// "IN OUT..." is "--open IN --save OUT ...". "--" makes every later argument a PATH.
ConvCommandLine ParseConvArgs(const std::vector<std::string>& args);

// Parses "WxH" (decimal, each 0..CONV_MAX_SIZE); false when malformed or out of range.
bool ParseConvSize(const std::string& strText, int& nWidth, int& nHeight);

const char* ConvUsageText();
