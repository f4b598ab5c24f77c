#include "framework/AfxApp.h"
#include "framework/AfxDialog.h"
#include "framework/AfxPlatform.h"
#include "framework/AfxRes.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWndDlg(pParentWnd)
{
}

CDialog::~CDialog() = default;

CWnd* CDialog::GetOwnerWnd() const
{
    return m_pParentWndDlg != nullptr ? m_pParentWndDlg : AfxGetMainWnd();
}

CDialogPeer* CDialog::DialogPeer() const
{
    return static_cast<CDialogPeer*>(m_pPeer.get());
}

INT_PTR CDialog::DoModal()
{
    const RES_DIALOG* pTemplate = AfxFindDialog(m_nIDTemplate);
    if (pTemplate == nullptr || IsWindow())
        return -1;
    m_dwStyle = pTemplate->dwStyle & ~WS_VISIBLE;
    m_rcPlacement = CRect(pTemplate->x, pTemplate->y, pTemplate->x + pTemplate->cx, pTemplate->y + pTemplate->cy);
    m_pPeer = AfxGetPlatform().CreateDialogPeer(this, *pTemplate);
    if (m_pPeer == nullptr)
        return -1;
    SetWindowText(pTemplate->pszCaption);

    m_nModalResult = -1;
    OnInitDialog();
    if (m_nModalResult == -1)
        DialogPeer()->RunModal();
    DestroyPeer();
    return m_nModalResult;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (IsWindow())
        DialogPeer()->EndModal(nResult);
}

BOOL CDialog::UpdateData(BOOL)
{
    CDataExchange dx;
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}
