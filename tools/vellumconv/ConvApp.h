#pragma once
// The converter's application, which runs the steps: the desktop program's application, main
// frame, document and view, hosted on the framework's headless backend. Message boxes become stderr lines and
// the status text a stdout line after each open.

#include "tools/vellumconv/ConvArgs.h"

#include "app/VellumApp.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class CSaveBatch;
class CVellumView;
class CVellumDoc;

class CConvApp : public CVellumApp
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

protected:
    bool Open(const std::string& strPath);
    // OpenDocumentFile of an input, "-" and FIFOs included; false when it did not open.
    bool OpenInput(const std::string& strPath);
    bool Save(const std::string& strPath, CSaveBatch* pBatch = nullptr);
    bool Render(const std::string& strPath);
    void Size(int nWidth, int nHeight);
    void Report(const std::string& strText);
    // A line on stderr, "vellumconv: PATH: TEXT", with both escaped; not counted as a message.
    void Tell(const std::string& strPath, const std::string& strText);
    // Runs fnWork; an exception it throws becomes a reported message and false.
    bool Guarded(const std::function<bool()>& fnWork);
    // The text in the main frame's first status pane, where the document puts it.
    void ClearStatusText();
    CString GetStatusText() const;

    std::FILE* m_pOut;
    std::FILE* m_pErr;
    std::string m_strContext;  // the path of the running step, for message lines

private:
    int m_nMessages = 0;  // told so far: a step that adds one has failed
};

// Writes the surface as shown (rows top to bottom) as an 8-bit PNG with its 256 colours,
// in place of the file at strPath only once it is complete. An empty string on success,
// else why it failed.
std::string WriteSurfacePng(const CVellumView& view, const std::string& strPath);
