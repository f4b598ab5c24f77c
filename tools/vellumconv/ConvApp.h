#pragma once
// The converter's application: the desktop program's application, main frame, document and
// view, hosted without showing a window (or, should the program's own classes not be built,
// the document and view in a plain frame). Message boxes become stderr lines and the status
// text a stdout line after each open.

#include "ConvSteps.h"

#include "Afx.h"

#include <cstdio>
#include <string>
#include <vector>

class CVellumView;
class CVellumDoc;

#ifdef VELLUMCONV_HOSTS_APP
#include "VellumApp.h"
using CConvAppBase = CVellumApp;
#else
using CConvAppBase = CWinApp;
#endif

// The frame where the desktop program's own classes are not built: it keeps the status text.
class CConvFrame : public CFrameWnd
{
    DECLARE_DYNCREATE(CConvFrame)
public:
    CConvFrame();
    ~CConvFrame() override;

    void SetStatusText(LPCTSTR lpszText) override;

    CString m_strStatus;
};

class CConvApp : public CConvAppBase
{
public:
    CConvApp(std::FILE* pOut, std::FILE* pErr);
    ~CConvApp() override;

    BOOL InitInstance() override;
    int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDHelp) override;
    // The user's recent-file list belongs to the desktop program; a conversion leaves it alone.
    void AddToRecentFileList(LPCTSTR lpszPathName) override;

    // Runs every step and returns the exit status: 0 when none failed or showed a message.
    int RunSteps(const std::vector<ConvStep>& steps);
    // One step; false when it failed or showed a message.
    bool RunStep(const ConvStep& step);

    CVellumDoc* GetVellumDoc() const;
    CVellumView* GetVellumView() const;

    int m_nMessages = 0;

protected:
    bool Open(const std::string& strPath);
    bool Save(const std::string& strPath);
    bool Render(const std::string& strPath);
    void Size(int nWidth, int nHeight);
    void Report(const std::string& strText);
    // The text in the main frame's first status pane, where the document puts it.
    void ClearStatusText();
    CString GetStatusText() const;

    std::FILE* m_pOut;
    std::FILE* m_pErr;
    std::string m_strContext;  // the path of the running step, for message lines
};

// Writes the surface as shown (rows top to bottom) as an 8-bit PNG with its 256 colours.
// An empty string on success, else why it failed.
std::string WriteSurfacePng(const CVellumView& view, const std::string& strPath);
