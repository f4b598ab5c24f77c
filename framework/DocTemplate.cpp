#include "framework/AfxApp.h"
#include "framework/AfxDoc.h"
#include "framework/AfxRes.h"

IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)
IMPLEMENT_DYNAMIC(CSingleDocTemplate, CDocTemplate)

CDocTemplate::CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                           CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass), m_pViewClass(pViewClass)
{
}

CDocTemplate::~CDocTemplate() = default;

BOOL CDocTemplate::GetDocString(CString& rString, enum DocStringIndex index) const
{
    rString.Empty();
    CString s(AfxFindString(m_nIDResource));
    for (int i = 0; i < static_cast<int>(index); ++i)
    {
        const int n = s.Find('\n');
        if (n < 0)
            return FALSE;
        s = s.Mid(n + 1);
    }
    const int n = s.Find('\n');
    rString = n < 0 ? s : s.Left(n);
    return !rString.IsEmpty();
}

CDocument* CDocTemplate::CreateNewDocument()
{
    if (m_pDocClass == nullptr)
        return nullptr;
    CObject* pObject = m_pDocClass->CreateObject();
    auto* pDocument = dynamic_cast<CDocument*>(pObject);
    if (pDocument == nullptr)
    {
        delete pObject;
        return nullptr;
    }
    pDocument->m_pDocTemplate = this;
    return pDocument;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc, CFrameWnd*)
{
    if (m_pFrameClass == nullptr)
        return nullptr;
    CCreateContext context;
    context.m_pCurrentDoc = pDoc;
    context.m_pNewViewClass = m_pViewClass;
    CObject* pObject = m_pFrameClass->CreateObject();
    auto* pFrame = dynamic_cast<CFrameWnd*>(pObject);
    if (pFrame == nullptr)
    {
        delete pObject;
        return nullptr;
    }
    if (!pFrame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context))
    {
        delete pFrame;
        return nullptr;
    }
    return pFrame;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible)
{
    pFrame->InitialUpdateFrame(pDoc, bMakeVisible);
}

void CDocTemplate::CloseAllDocuments(BOOL) {}

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass,
                                       CRuntimeClass* pFrameClass, CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass)
{
}

CSingleDocTemplate::~CSingleDocTemplate()
{
    CSingleDocTemplate::CloseAllDocuments(TRUE);
}

void CSingleDocTemplate::CloseAllDocuments(BOOL)
{
    // The frame first: its views leave the document before the document goes.
    CFrameWnd* pFrame = m_pFrame;
    CDocument* pDocument = m_pOnlyDoc;
    m_pFrame = nullptr;
    m_pOnlyDoc = nullptr;
    delete pFrame;
    delete pDocument;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible)
{
    CDocument* pDocument = m_pOnlyDoc;
    bool bCreated = false;
    if (pDocument == nullptr)
    {
        pDocument = CreateNewDocument();
        if (pDocument == nullptr)
        {
            AfxMessageBox("Failed to create empty document.", MB_OK | MB_ICONEXCLAMATION);
            return nullptr;
        }
        bCreated = true;
    }
    CFrameWnd* pFrame = m_pFrame;
    if (pFrame == nullptr)
    {
        pFrame = CreateNewFrame(pDocument, nullptr);
        if (pFrame == nullptr)
        {
            AfxMessageBox("Failed to create empty document.", MB_OK | MB_ICONEXCLAMATION);
            if (bCreated)
                delete pDocument;
            return nullptr;
        }
    }
    auto discard = [&] {
        if (pFrame != m_pFrame)
            delete pFrame;
        if (bCreated)
            delete pDocument;
    };

    if (lpszPathName == nullptr)
    {
        if (!pDocument->OnNewDocument())
        {
            discard();
            return nullptr;
        }
    }
    else
    {
        // A failed open leaves the document, its path and title, and the list as they were.
        if (!pDocument->OnOpenDocument(lpszPathName))
        {
            discard();
            return nullptr;
        }
        pDocument->SetPathName(lpszPathName);
    }
    m_pOnlyDoc = pDocument;
    m_pFrame = pFrame;
    if (CWinApp* pApp = AfxGetApp(); pApp != nullptr && pApp->m_pMainWnd == nullptr)
        pApp->m_pMainWnd = pFrame;
    InitialUpdateFrame(pFrame, pDocument, bMakeVisible);
    return pDocument;
}
