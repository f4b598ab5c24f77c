#include "framework/AfxString.h"

#include "framework/AfxRes.h"

#include <cstdarg>
#include <cstdio>

CString CString::Left(int nCount) const
{
    if (nCount <= 0)
        return CString();
    return CString(m_str.substr(0, static_cast<std::size_t>(nCount)));
}

CString CString::Right(int nCount) const
{
    if (nCount <= 0)
        return CString();
    const std::size_t n = static_cast<std::size_t>(nCount);
    if (n >= m_str.size())
        return *this;
    return CString(m_str.substr(m_str.size() - n));
}

CString CString::Mid(int nFirst) const
{
    if (nFirst < 0)
        nFirst = 0;
    const std::size_t first = static_cast<std::size_t>(nFirst);
    if (first >= m_str.size())
        return CString();
    return CString(m_str.substr(first));
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nCount <= 0)
        return CString();
    const std::size_t first = static_cast<std::size_t>(nFirst);
    if (first >= m_str.size())
        return CString();
    return CString(m_str.substr(first, static_cast<std::size_t>(nCount)));
}

CString& CString::MakeLower()
{
    for (char& ch : m_str)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return *this;
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        nStart = 0;
    const std::size_t pos = m_str.find(ch, static_cast<std::size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(LPCTSTR pszSub, int nStart) const
{
    if (pszSub == nullptr)
        return -1;
    if (nStart < 0)
        nStart = 0;
    const std::size_t pos = m_str.find(pszSub, static_cast<std::size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const
{
    const std::size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

BOOL CString::LoadString(UINT nID)
{
    const char* psz = AfxFindString(nID);
    if (psz == nullptr)
        return FALSE;
    m_str = psz;
    return TRUE;
}

static std::string FormatV(LPCTSTR pszFormat, va_list args)
{
    if (pszFormat == nullptr)
        return std::string();
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), pszFormat, args);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

void CString::Format(LPCTSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    m_str = FormatV(pszFormat, args);
    va_end(args);
}

CString CString::Formatted(LPCTSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    CString s(FormatV(pszFormat, args));
    va_end(args);
    return s;
}

CString AfxPromptOf(LPCTSTR lpszString)
{
    CString s(lpszString);
    const int n = s.Find('\n');
    return n < 0 ? s : s.Left(n);
}

CString AfxTipOf(LPCTSTR lpszString)
{
    CString s(lpszString);
    const int n = s.Find('\n');
    return n < 0 ? CString() : s.Mid(n + 1);
}
