#include "tools/vellumconv/ConvText.h"

#include <cstdarg>
#include <cstdio>

std::string EscapeControls(std::string_view text)
{
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text)
    {
        const auto u = static_cast<unsigned char>(ch);
        switch (ch)
        {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (u < 0x20 || u == 0x7F)
            {
                out += "\\x";
                out += HEX[u >> 4];
                out += HEX[u & 0x0F];
            }
            else
                out += ch;
        }
    }
    return out;
}

std::string ConvFormat(const char* pszFormat, ...)
{
    std::va_list args;
    va_start(args, pszFormat);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, pszFormat, args);
    va_end(args);
    std::string text;
    if (n > 0)
    {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), pszFormat, again);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return text;
}

std::string ConvBaseName(const std::string& strPath)
{
    if (strPath == "-")
        return "stdin";
    std::string s = strPath;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    const std::size_t nSlash = s.rfind('/');
    return nSlash == std::string::npos ? s : s.substr(nSlash + 1);
}

std::string ConvJoinPath(const std::string& strDir, const std::string& strName)
{
    return !strDir.empty() && strDir.back() == '/' ? strDir + strName : strDir + "/" + strName;
}
