#pragma once
// Modal dialogs built from the program's dialog templates.

#include "AfxWnd.h"

class CDataExchange
{
public:
    CDataExchange(class CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    class CWnd* m_pDlgWnd;
};

class CDialog : public CWnd
{
    DECLARE_DYNAMIC(CDialog)
public:
    // Template nIDTemplate (ResFindDialog); without a parent the main window is used.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the dialog from its template (dialog units converted with the dialog font's
    // metrics), runs it modally and returns the EndDialog result: IDOK, IDCANCEL, or -1
    // when the template does not exist.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    UINT m_nIDHelp = 0;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    void CreateWidget(const CREATESTRUCT& cs) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWndDlg;
    INT_PTR m_nModalResult = -1;

    DECLARE_MESSAGE_MAP()
};
