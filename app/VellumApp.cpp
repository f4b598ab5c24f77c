#include "VellumApp.h"

#include "AboutDlg.h"
#include "HelpWindow.h"
#include "MainFrm.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CVellumApp, CWinApp)
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
    ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
END_MESSAGE_MAP()

// A null name: the title comes from the string table.
CVellumApp::CVellumApp() : CWinApp(nullptr)
{
    // There is no platform help system; the program's own page stands in for the help file.
    SetHelpHandler([](DWORD_PTR, UINT nCmd) {
        if (nCmd != HELP_QUIT)
            ShowHelpWindow();
    });
}

CVellumApp::~CVellumApp() = default;

BOOL CVellumApp::InitInstance()
{
    Enable3dControls();
    LoadStdProfileSettings(4);

    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CVellumDoc),
                                          RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CVellumView)));

    // The command line is deliberately not read: the tool always starts empty.
    OnFileNew();
    return TRUE;
}

void CVellumApp::OnAppAbout()
{
    CAboutDlg aboutDlg;
    aboutDlg.DoModal();
}
