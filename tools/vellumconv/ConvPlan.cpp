#include "tools/vellumconv/ConvPlan.h"

#include "framework/AfxFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

namespace
{

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
            strError = "cannot read the list '" + strList + "': " + std::strerror(errno);
            return false;
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

}  // namespace

std::string ConvBatchOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir)
{
    const std::size_t nSlash = strIn.rfind('/');
    const std::string name = nSlash == std::string::npos ? strIn : strIn.substr(nSlash + 1);
    const std::string dir = nSlash == std::string::npos ? std::string() : strIn.substr(0, nSlash + 1);
    // A leading dot starts a hidden name, not an extension.
    const std::size_t nDot = name.rfind('.');
    const std::string stem = nDot != std::string::npos && nDot > 0 ? name.substr(0, nDot) : name;
    if (strOutDir.empty())
        return dir + stem + strExt;
    return strOutDir + (strOutDir.back() == '/' ? "" : "/") + stem + strExt;
}

bool PlanConvBatch(const ConvBatchOptions& options, std::vector<ConvBatchJob>& jobs, std::string& strError)
{
    std::vector<std::string> names = options.files;
    if (!options.strFilesFrom.empty() && !ReadNameList(options.strFilesFrom, options.bNulSeparated, names, strError))
        return false;
    jobs.clear();
    std::map<std::string, std::size_t> outputs;  // full path of an output -> its input
    std::map<std::string, std::size_t> inputs;   // full path of an input -> its index
    for (const std::string& name : names)
    {
        inputs.emplace(AfxFullPath(name.c_str()).Str(), jobs.size());
        jobs.push_back(ConvBatchJob{name, ConvBatchOutput(name, options.strExt, options.strOutDir)});
    }
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        const std::string strOut = AfxFullPath(jobs[i].strOut.c_str()).Str();
        const auto [it, bNew] = outputs.emplace(strOut, i);
        if (!bNew)
        {
            strError = "'" + jobs[it->second].strIn + "' and '" + jobs[i].strIn + "' would both be saved as '" +
                       jobs[i].strOut + "'";
            return false;
        }
        if (const auto in = inputs.find(strOut); in != inputs.end() && in->second != i)
        {
            strError = "'" + jobs[in->second].strIn + "' is also the output of '" + jobs[i].strIn + "'";
            return false;
        }
    }
    return true;
}

