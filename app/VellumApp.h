#pragma once
// The application object: one single-document template with the main frame, the document
// and the view; the about box and the help page.

#include "framework/Afx.h"

class CVellumApp : public CWinApp
{
public:
    CVellumApp();
    ~CVellumApp() override;

    BOOL InitInstance() override;

    void OnAppAbout();

protected:
    DECLARE_MESSAGE_MAP()
};

// The program's one application object, defined beside main().
extern CVellumApp theApp;
