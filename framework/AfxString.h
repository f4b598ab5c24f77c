#pragma once
// The framework's string: UTF-8 bytes in a std::string. Lengths and positions count bytes,
// as the old single-byte build counted chars; lower-casing touches ASCII letters only.

#include "framework/AfxTypes.h"

#include <string>
#include <string_view>

class CString
{
public:
    CString() = default;
    CString(LPCTSTR psz) : m_str(psz != nullptr ? psz : "") {}
    CString(std::string_view sv) : m_str(sv) {}
    CString(const std::string& str) : m_str(str) {}
    CString(std::string&& str) : m_str(std::move(str)) {}
    CString(char ch, int nRepeat) : m_str(nRepeat > 0 ? static_cast<std::size_t>(nRepeat) : 0u, ch) {}

    operator LPCTSTR() const { return m_str.c_str(); }
    LPCTSTR GetString() const { return m_str.c_str(); }
    const std::string& Str() const { return m_str; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // The first / last nCount characters; the whole string when it is shorter.
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;

    // In place, ASCII letters only (multi-byte UTF-8 sequences never contain ASCII bytes).
    CString& MakeLower();

    // Byte position of the first / last occurrence, or -1.
    int Find(char ch, int nStart = 0) const;
    int Find(LPCTSTR pszSub, int nStart = 0) const;
    int ReverseFind(char ch) const;

    // Loads the string-table entry; FALSE (and the string unchanged) when there is none.
    BOOL LoadString(UINT nID);

    // printf-style formatting into this string.
    void Format(LPCTSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));
    static CString Formatted(LPCTSTR pszFormat, ...) __attribute__((format(printf, 1, 2)));

    CString& operator=(LPCTSTR psz)
    {
        m_str = psz != nullptr ? psz : "";
        return *this;
    }
    CString& operator+=(const CString& s)
    {
        m_str += s.m_str;
        return *this;
    }
    CString& operator+=(LPCTSTR psz)
    {
        if (psz != nullptr)
            m_str += psz;
        return *this;
    }
    CString& operator+=(char ch)
    {
        m_str += ch;
        return *this;
    }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, LPCTSTR b) { return CString(a) += b; }
    friend CString operator+(LPCTSTR a, const CString& b) { return CString(a) += b; }
    friend CString operator+(const CString& a, char b) { return CString(a) += b; }

    // Exact, byte for byte.
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, LPCTSTR b) { return a.m_str == (b != nullptr ? b : ""); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

private:
    std::string m_str;
};

// The parts of a command string: the status-bar prompt before the first "\n", the
// tooltip after it (empty when there is none).
CString AfxPromptOf(LPCTSTR lpszString);
CString AfxTipOf(LPCTSTR lpszString);
