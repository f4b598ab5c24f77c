#pragma once
// The converter's command line. Without a verb it is a list of steps, run left to right as a
// person would use the program between start and exit; with --to it is a batch of files,
// each converted as if it were the only one. Parsing is separate so it can be tested alone.

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
// More workers than this would only wait on each other.
constexpr int CONV_MAX_JOBS = 256;

enum class EConvMode
{
    Steps,  // vellumconv IN OUT... / vellumconv STEP...
    Batch,  // vellumconv --to EXT [--out-dir DIR] [-j N] [--files-from LIST] [-0] [--] FILE...
};

struct ConvBatchOptions
{
    std::string strExt;         // with its dot: ".bmp"
    std::string strOutDir;      // empty: each output beside its input
    int nJobs = 0;              // 0: one per processor
    std::string strFilesFrom;   // "-" is standard input
    bool bNulSeparated = false; // names in the list end with NUL bytes, not line feeds
    std::vector<std::string> files;
};

struct ConvCommandLine
{
    EConvMode mode = EConvMode::Steps;
    std::vector<ConvStep> steps;
    ConvBatchOptions batch;
    bool bHelp = false;
    std::string strError;  // non-empty: a usage error, described
};

// A bare PATH opens when no step came before it and saves otherwise, so
// "IN OUT..." is "--open IN --save OUT ...". "--" makes every later argument a PATH.
ConvCommandLine ParseConvArgs(const std::vector<std::string>& args);

// Parses "WxH" (decimal, each 0..CONV_MAX_SIZE); false when malformed or out of range.
bool ParseConvSize(const std::string& strText, int& nWidth, int& nHeight);

const char* ConvUsageText();
