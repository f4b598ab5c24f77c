#include "framework/AfxApp.h"
#include "framework/AfxPlatform.h"

#include <cstdio>

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT)
{
    return AfxGetPlatform().MessageBox(m_pMainWnd, lpszPrompt, m_pszAppName, nType);
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp)
{
    if (CWinApp* pApp = AfxGetApp())
        return pApp->DoMessageBox(lpszText, nType, nIDHelp);
    std::fprintf(stderr, "%s\n", lpszText != nullptr ? lpszText : "");
    return IDOK;
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString strText;
    if (!strText.LoadString(nIDPrompt))
        strText.Format("Message %u.", nIDPrompt);
    return AfxMessageBox(strText, nType, nIDHelp == static_cast<UINT>(-1) ? nIDPrompt : nIDHelp);
}
