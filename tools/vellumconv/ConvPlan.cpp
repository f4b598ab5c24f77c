#include "tools/vellumconv/ConvPlan.h"

#include "framework/AfxFile.h"
#include "tools/vellumconv/ConvStream.h"
#include "tools/vellumconv/ConvText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace
{

// Put together piece by piece: gcc 12 misreads the one-line sum.
std::string Quoted(const std::string& strName)
{
    std::string s = "'";
    s += EscapeControls(strName);
    s += "'";
    return s;
}

std::string Join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& part : parts)
        s += part;
    return s;
}


bool ReadNameList(const std::string& strList, bool bNul, std::vector<std::string>& names, std::string& strError)
{
    std::string data;
    if (strList == "-")
        data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    else
    {
        std::ifstream in(strList, std::ios::binary);
        if (!in)
        {
            strError = Join({"cannot read the list ", Quoted(strList), ": ", std::strerror(errno)});
            return false;
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Names from find -print0 read by lines would run together into one, and its output
    // could be any file at all.
    if (!bNul && data.find('\0') != std::string::npos)
    {
        strError = "the list holds NUL bytes; add -0";
        return false;
    }
    const char chEnd = bNul ? '\0' : '\n';
    std::size_t nStart = 0;
    while (nStart < data.size())
    {
        std::size_t nEnd = data.find(chEnd, nStart);
        if (nEnd == std::string::npos)
            nEnd = data.size();
        if (nEnd > nStart)
            names.emplace_back(data, nStart, nEnd - nStart);
        nStart = nEnd + 1;
    }
    return true;
}

using FileId = std::pair<dev_t, ino_t>;

bool IdOf(const std::string& strPath, FileId& id)
{
    struct stat st = {};
    if (::stat(strPath.c_str(), &st) != 0)
        return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

// An export option that fits none of the files it was given for was a mistake; one that fits
// some is for those.
bool CheckExportOptions(const ConvVerb& verb, const std::vector<ConvBatchJob>& jobs, std::string& strError)
{
    if (verb.kind != EConvVerb::Export ||
        (verb.strClutOption.empty() && verb.strColumnsOption.empty() && verb.strPaletteOption.empty()))
        return true;
    for (const std::string* pOption : {&verb.strClutOption, &verb.strColumnsOption, &verb.strPaletteOption})
    {
        if (pOption->empty())
            continue;
        ConvVerb one;
        one.kind = EConvVerb::Export;
        (pOption == &verb.strClutOption      ? one.strClutOption
         : pOption == &verb.strColumnsOption ? one.strColumnsOption
                                             : one.strPaletteOption) = *pOption;
        std::string strMisfit;
        bool bFits = false;
        for (const ConvBatchJob& job : jobs)
        {
            std::vector<std::uint8_t> head;
            if (!ReadFileHead(job.strIn, head))
                continue;
            std::string strWhy = OptionMisfit(one, ExplainFile(head.data(), head.size()));
            bFits = bFits || strWhy.empty();
            if (strMisfit.empty())
                strMisfit = std::move(strWhy);
        }
        if (!bFits && !strMisfit.empty())
        {
            strError = Join({strMisfit.substr(0, strMisfit.find(", not to ")), ", and none of these files is one"});
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadFileHead(const std::string& strPath, std::vector<std::uint8_t>& head)
{
    head.clear();
    // As every input is opened: a FIFO or a device is refused, never waited on.
    CFile file;
    CFileException fe;
    std::string strRead, strCause;
    if (!ConvReadPath(strPath, strRead, strCause) || !file.Open(strRead.c_str(), CFile::modeRead, &fe))
        return false;
    try
    {
        head.resize(EXPLAIN_HEADER_SIZE);
        head.resize(file.Read(head.data(), static_cast<std::uint32_t>(head.size())));
    }
    catch (const CFileException&)
    {
        head.clear();
        return false;
    }
    return true;
}

std::string OptionMisfit(const ConvVerb& verb, const FileExplanation& e)
{
    if (e.strKind.empty())
        return {};
    if (!verb.strClutOption.empty() && !(e.family == EFileFamily::Tim && e.bIndexed))
        return "option '" + verb.strClutOption + "' applies to 4- and 8-bit TIMs, not to " + e.strKind;
    if (!verb.strColumnsOption.empty() && e.family != EFileFamily::Bfnt)
        return "option '" + verb.strColumnsOption + "' applies to BFNT sheets, not to " + e.strKind;
    if (!verb.strPaletteOption.empty() && e.nBits != 0 && !e.bIndexed)
        return "option '" + verb.strPaletteOption + "' applies to pictures of 1 to 8 bits, not to " + e.strKind;
    return {};
}

bool SameFile(const std::string& strA, const std::string& strB)
{
    if (AfxFullPath(strA.c_str()).Str() == AfxFullPath(strB.c_str()).Str())
        return true;
    FileId a, b;
    return IdOf(strA, a) && IdOf(strB, b) && a == b;
}

std::string ConvBatchOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir)
{
    const std::size_t nSlash = strIn.rfind('/');
    // Standard input's output is named as its extracted finds are: stdin.EXT.
    const std::string name = nSlash == std::string::npos ? ConvBaseName(strIn) : strIn.substr(nSlash + 1);
    const std::string dir = nSlash == std::string::npos ? std::string() : strIn.substr(0, nSlash + 1);
    // A leading dot starts a hidden name, not an extension.
    const std::size_t nDot = name.rfind('.');
    const std::string stem = nDot != std::string::npos && nDot > 0 ? name.substr(0, nDot) : name;
    if (strOutDir.empty())
        return dir + stem + strExt;
    return strOutDir + (strOutDir.back() == '/' ? "" : "/") + stem + strExt;
}

bool ConvParentsOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir,
                       const std::string& strBase, std::string& strOut)
{
    std::string strDir;
    if (strIn != "-")
    {
        const std::string strFull = AfxFullPath(strIn.c_str()).Str();
        const std::string strPrefix = strBase.back() == '/' ? strBase : strBase + "/";
        if (strFull.size() <= strPrefix.size() || strFull.compare(0, strPrefix.size(), strPrefix) != 0)
            return false;
        const std::string strRel = strFull.substr(strPrefix.size());
        const std::size_t nSlash = strRel.rfind('/');
        if (nSlash != std::string::npos)
            strDir = strRel.substr(0, nSlash);
    }
    const std::string strName = ConvBatchOutput(ConvBaseName(strIn), strExt, std::string());
    strOut = ConvJoinPath(strDir.empty() ? strOutDir : ConvJoinPath(strOutDir, strDir), strName);
    return true;
}

namespace
{

// Every input's output; false with the usage error for an input --parents cannot place.
bool PlaceOutputs(const ConvBatchOptions& options, std::vector<ConvBatchJob>& jobs, std::string& strError)
{
    std::string strBase = AfxFullPath(options.strBase.empty() ? "." : options.strBase.c_str()).Str();
    if (strBase.size() > 1 && strBase.back() == '/')
        strBase.pop_back();
    for (ConvBatchJob& job : jobs)
    {
        if (!options.bParents)
            job.strOut = ConvBatchOutput(job.strIn, options.strExt, options.strOutDir);
        else if (!ConvParentsOutput(job.strIn, options.strExt, options.strOutDir, strBase, job.strOut))
        {
            strError = Join({Quoted(job.strIn), " is outside ", Quoted(strBase),
                             "; with '--parents' every input lies under the current folder or '--base DIR'"});
            return false;
        }
    }
    return true;
}

}  // namespace

bool PlanConvBatch(const ConvBatchOptions& options, std::vector<ConvBatchJob>& jobs, std::string& strError,
                   std::vector<std::string>* pNotes, std::string* pHint)
{
    strError.clear();
    std::vector<std::string> names = options.files;
    if (!options.strFilesFrom.empty() && !ReadNameList(options.strFilesFrom, options.bNulSeparated, names, strError))
        return false;
    jobs.clear();
    std::map<std::string, std::size_t> outputs;  // full path of an output -> its input
    std::map<std::string, std::size_t> inputs;   // full path of an input -> its index
    std::map<FileId, std::size_t> inputFiles;    // the file an existing input is -> its index
    std::set<std::string> noted;
    for (const std::string& name : names)
    {
        const auto [it, bNew] = inputs.emplace(AfxFullPath(name.c_str()).Str(), jobs.size());
        if (!bNew)
        {
            // A name from a glob and again from a list: one conversion is what was meant.
            if (pNotes != nullptr && noted.insert(it->first).second)
                pNotes->push_back(Join({Quoted(name), " is named more than once; it is converted once."}));
            continue;
        }
        FileId id;
        if (IdOf(name, id))
            inputFiles.emplace(id, jobs.size());
        jobs.push_back(ConvBatchJob{name, std::string()});
    }
    if (options.strFilesFrom == "-" && inputs.count(AfxFullPath("-").Str()) > 0)
    {
        strError = "'-' (standard input) holds the list of --files-from; it cannot be an input too";
        return false;
    }
    if (!PlaceOutputs(options, jobs, strError) || !CheckExportOptions(options.verb, jobs, strError))
        return false;
    // Every pair that collides is named, so one run shows what to rename.
    std::size_t nCollisions = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        const std::string strOut = AfxFullPath(jobs[i].strOut.c_str()).Str();
        const auto [it, bNew] = outputs.emplace(strOut, i);
        if (!bNew)
        {
            if (nCollisions++ < CONV_MAX_COLLISIONS)
                strError += Join({strError.empty() ? "" : "\nvellumconv: ", Quoted(jobs[it->second].strIn), " and ",
                                  Quoted(jobs[i].strIn), " would both be saved as ", Quoted(jobs[i].strOut)});
            continue;
        }
        if (nCollisions > 0)
            continue;
        std::size_t nInput = jobs.size();
        if (const auto in = inputs.find(strOut); in != inputs.end())
            nInput = in->second;
        else if (FileId id; IdOf(jobs[i].strOut, id))
            if (const auto file = inputFiles.find(id); file != inputFiles.end())
                nInput = file->second;
        if (nInput == i)
        {
            strError = Join({Quoted(jobs[i].strIn), " would be saved over itself; '--out-dir DIR' puts the outputs elsewhere"});
            return false;
        }
        if (nInput < jobs.size())
        {
            strError = Join({Quoted(jobs[nInput].strIn), " is also the output of ", Quoted(jobs[i].strIn)});
            return false;
        }
    }
    if (nCollisions == 0)
        return true;
    if (nCollisions > CONV_MAX_COLLISIONS)
        strError += "\nvellumconv: ... and " + std::to_string(nCollisions - CONV_MAX_COLLISIONS) + " more";
    if (pHint != nullptr)
        *pHint = options.bParents ? std::string()
                                  : "'--out-dir DIR --parents' keeps each input's folders, so same-named files stay apart";
    return false;
}
