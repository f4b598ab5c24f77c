#pragma once
// One document, frame and view as the program makes them, on the framework's headless
// backend, with message boxes and status texts recorded instead of shown.

#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "resources/resource.h"
#include "tests/support/TestFiles.h"

#include "framework/Afx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class CTestApp : public CWinApp
{
public:
    CTestApp() : CWinApp("vellum-test") { m_nCmdShow = SW_HIDE; }
    int DoMessageBox(LPCTSTR lpszPrompt, UINT, UINT) override
    {
        m_messages.emplace_back(lpszPrompt != nullptr ? lpszPrompt : "");
        return IDOK;
    }
    // Tests never touch the user's recent-file list.
    void AddToRecentFileList(LPCTSTR) override {}

    std::vector<std::string> m_messages;
};

class CTestFrame : public CFrameWnd
{
    DECLARE_DYNCREATE(CTestFrame)
public:
    void SetStatusText(LPCTSTR lpszText) override
    {
        m_strStatus = lpszText != nullptr ? lpszText : "";
        ++m_nStatusCalls;
        CFrameWnd::SetStatusText(lpszText);
    }
    std::string m_strStatus;
    int m_nStatusCalls = 0;
};

CTestApp& TestApp();

// The text of a string-table entry, as the message box would show it.
inline std::string Msg(unsigned nID)
{
    const char* psz = AfxFindString(nID);
    return psz != nullptr ? psz : "";
}

using Bytes = std::vector<std::uint8_t>;

// The surface pixel at (x, y) counted from the top-left corner as shown.
std::uint8_t ShownPixel(const CVellumView& view, int x, int y);
// Every shown pixel, rows top to bottom.
Bytes ShownPixels(const CVellumView& view);
// The surface's 256 colours as R, G, B.
Bytes SurfaceColors(const CVellumView& view);

class DocTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Path(const std::string& strName) const { return m_dir / strName; }
    std::filesystem::path Put(const std::string& strName, const Bytes& data);
    // File/Open and File/Save As through the framework, as the program runs them.
    bool Open(const std::filesystem::path& path);
    bool SaveAs(const std::filesystem::path& path);
    void Resize(int cx, int cy);
    std::vector<std::string> TakeMessages();

    CSingleDocTemplate* m_pTemplate = nullptr;
    CVellumDoc* m_pDoc = nullptr;
    CVellumView* m_pView = nullptr;
    CTestFrame* m_pFrame = nullptr;
    std::filesystem::path m_dir;
};
