#include "app/VellumApp.h"

#include "app/AboutDlg.h"
#include "app/MainFrm.h"
#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "resources/ResourceTables.h"
#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CVellumApp, CWinApp)
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
    ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
END_MESSAGE_MAP()

namespace
{
// The program's tables go to the framework first: the application object takes its title
// from the string table as it is made. Returns the null name that asks for that.
LPCTSTR RegisterResources()
{
    AfxRegisterResources(VellumResources());
    return nullptr;
}
}  // namespace

CVellumApp::CVellumApp() : CWinApp(RegisterResources())
{
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
