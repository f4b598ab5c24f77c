#pragma once
// Documents and an application for tests of saves: a document that writes a text, and an
// application that keeps its messages instead of showing them.

#include "framework/Afx.h"

#include <string>
#include <vector>

class CTextDoc : public CDocument
{
public:
    void Serialize(CArchive& ar) override
    {
        if (!ar.IsLoading())
            ar.GetFile()->Write(m_text.data(), static_cast<std::uint32_t>(m_text.size()));
    }
    std::string m_text = "NEW";
};

class CRecordingApp : public CWinApp
{
public:
    int DoMessageBox(LPCTSTR lpszPrompt, UINT, UINT) override
    {
        m_messages.emplace_back(lpszPrompt != nullptr ? lpszPrompt : "");
        return IDOK;
    }
    std::vector<std::string> m_messages;
};
