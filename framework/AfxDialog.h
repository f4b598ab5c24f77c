#pragma once
// Modal dialogs built from the program's dialog templates.

#include "framework/AfxWnd.h"

class CDialogPeer;

// What DoDataExchange receives. The program's dialogs have no fields to fill or read, so it
// carries nothing; the calls mark where a dialog with fields would move them.
class CDataExchange
{
};

class CDialog : public CWnd
{
    DECLARE_DYNAMIC(CDialog)
public:
    // Template nIDTemplate (AfxFindDialog); without a parent the main window owns it.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the dialog from its template, runs it modally and returns the EndDialog
    // result: IDOK, IDCANCEL, or -1 when the template does not exist.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // The window the dialog belongs to: the parent given, else the main window.
    CWnd* GetOwnerWnd() const;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    CDialogPeer* DialogPeer() const;

    UINT m_nIDTemplate;
    CWnd* m_pParentWndDlg;
    INT_PTR m_nModalResult = -1;

    DECLARE_MESSAGE_MAP()
};
