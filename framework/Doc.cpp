#include "framework/AfxApp.h"
#include "framework/AfxDoc.h"
#include "framework/AfxSafeSave.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)

BEGIN_MESSAGE_MAP(CDocument, CCmdTarget)
    ON_COMMAND(ID_FILE_SAVE, OnFileSave)
    ON_COMMAND(ID_FILE_SAVE_AS, OnFileSaveAs)
END_MESSAGE_MAP()

CDocument::CDocument() = default;

CDocument::~CDocument()
{
    for (CView* pView : m_viewList)
        pView->m_pDocument = nullptr;
}

void CDocument::SetTitle(LPCTSTR lpszTitle)
{
    m_strTitle = lpszTitle;
    for (CView* pView : m_viewList)
        if (CFrameWnd* pFrame = pView->GetParentFrame())
            pFrame->OnUpdateFrameTitle(TRUE);
}

void CDocument::SetPathName(LPCTSTR lpszPathName, BOOL bAddToMRU)
{
    m_strPathName = AfxFullPath(lpszPathName);
    SetTitle(m_strPathName.Mid(m_strPathName.ReverseFind('/') + 1));
    if (bAddToMRU)
        if (CWinApp* pApp = AfxGetApp())
            pApp->AddToRecentFileList(m_strPathName);
}

void CDocument::AddView(CView* pView)
{
    if (pView == nullptr || std::find(m_viewList.begin(), m_viewList.end(), pView) != m_viewList.end())
        return;
    if (pView->m_pDocument != nullptr && pView->m_pDocument != this)
        pView->m_pDocument->RemoveView(pView);
    m_viewList.push_back(pView);
    pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView)
{
    auto it = std::find(m_viewList.begin(), m_viewList.end(), pView);
    if (it == m_viewList.end())
        return;
    m_viewList.erase(it);
    pView->m_pDocument = nullptr;
}

POSITION CDocument::GetFirstViewPosition() const
{
    return m_viewList.empty() ? nullptr : reinterpret_cast<POSITION>(std::uintptr_t{1});
}

CView* CDocument::GetNextView(POSITION& rPosition) const
{
    const std::uintptr_t n = reinterpret_cast<std::uintptr_t>(rPosition);
    if (n == 0 || n > m_viewList.size())
    {
        rPosition = nullptr;
        return nullptr;
    }
    CView* pView = m_viewList[n - 1];
    rPosition = n < m_viewList.size() ? reinterpret_cast<POSITION>(n + 1) : nullptr;
    return pView;
}

void CDocument::DeleteContents() {}

BOOL CDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.Empty();
    CString strName;
    if (m_pDocTemplate == nullptr || !m_pDocTemplate->GetDocString(strName, CDocTemplate::docName))
        strName = "Untitled";
    SetTitle(strName);
    return TRUE;
}

void CDocument::ReportSaveLoadException(LPCTSTR lpszPathName, const CException* e, BOOL bSaving)
{
    if (e != nullptr && e->IsKindOf(RUNTIME_CLASS(CUserException)))
        return;
    CString strCause;
    if (auto* fe = dynamic_cast<const CFileException*>(e))
        strCause = fe->GetCauseText();
    else
        strCause = "Unexpected error";
    AfxMessageBox(AfxFileErrorMessage(lpszPathName, strCause, bSaving), MB_OK | MB_ICONEXCLAMATION);
}

namespace
{
// What a non-framework exception from Serialize turns into for the message.
CFileException FromStdException(const std::exception& e, LPCTSTR lpszPathName)
{
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
        return CFileException::FromErrno(ENOMEM, lpszPathName);
    return CFileException::FromErrno(EIO, lpszPathName);
}
}  // namespace

BOOL CDocument::OnOpenDocument(LPCTSTR lpszPathName)
{
    CFile file;
    CFileException fe;
    if (!file.Open(lpszPathName, CFile::modeRead | CFile::shareDenyNone, &fe))
    {
        ReportSaveLoadException(lpszPathName, &fe, FALSE);
        return FALSE;
    }
    DeleteContents();
    try
    {
        CArchive ar(&file, CArchive::load | CArchive::bNoFlushOnDelete);
        ar.m_pDocument = this;
        Serialize(ar);
        // Nothing was written, so a failing close loses nothing; failing the open here
        // would report a load whose data the document already holds.
        file.Abort();
    }
    catch (const CUserException&)
    {
        return FALSE;
    }
    catch (const CException& e)
    {
        ReportSaveLoadException(lpszPathName, &e, FALSE);
        return FALSE;
    }
    catch (const std::exception& e)
    {
        const CFileException fx = FromStdException(e, lpszPathName);
        ReportSaveLoadException(lpszPathName, &fx, FALSE);
        return FALSE;
    }
    return TRUE;
}

BOOL CDocument::OnSaveDocument(LPCTSTR lpszPathName, CSaveBatch* pBatch)
{
    const CString strPath(lpszPathName);
    CSafeSaveFile file;
    CFileException fe;
    if (!file.Open(strPath, &fe, pBatch))
    {
        ReportSaveLoadException(strPath, &fe, TRUE);
        return FALSE;
    }
    try
    {
        CArchive ar(&file.GetFile(), CArchive::store | CArchive::bNoFlushOnDelete);
        ar.m_pDocument = this;
        Serialize(ar);
        file.Commit();
    }
    catch (const CUserException&)
    {
        return FALSE;
    }
    catch (const CException& e)
    {
        ReportSaveLoadException(strPath, &e, TRUE);
        return FALSE;
    }
    catch (const std::exception& e)
    {
        const CFileException fx = FromStdException(e, strPath);
        ReportSaveLoadException(strPath, &fx, TRUE);
        return FALSE;
    }
    return TRUE;
}

BOOL CDocument::DoSave(LPCTSTR lpszPathName, BOOL bReplace, CSaveBatch* pBatch)
{
    CString strName(lpszPathName);
    if (strName.IsEmpty())
    {
        strName = m_strPathName.IsEmpty() ? m_strTitle : m_strPathName;
        CWinApp* pApp = AfxGetApp();
        if (pApp == nullptr || !pApp->DoPromptFileName(strName, 0, 0, FALSE, m_pDocTemplate))
            return FALSE;
    }
    if (!OnSaveDocument(strName, pBatch))
        return FALSE;
    if (bReplace)
        SetPathName(strName);
    return TRUE;
}

BOOL CDocument::DoFileSave()
{
    return DoSave(m_strPathName.IsEmpty() ? nullptr : m_strPathName.GetString());
}

void CDocument::OnFileSave()
{
    DoFileSave();
}

void CDocument::OnFileSaveAs()
{
    DoSave(nullptr);
}

