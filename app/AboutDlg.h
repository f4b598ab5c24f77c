#pragma once
// The about box: icon, name and version, OK. Everything comes from dialog template 100.

#include "framework/Afx.h"

class CAboutDlg : public CDialog
{
public:
    CAboutDlg();
    ~CAboutDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
