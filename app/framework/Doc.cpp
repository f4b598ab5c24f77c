#include "AfxPrivate.h"

#include "AfxApp.h"
#include "AfxDoc.h"
#include "ResourceTables.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)
IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)
IMPLEMENT_DYNAMIC(CSingleDocTemplate, CDocTemplate)

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
    const QFileInfo info(AfxQStr(lpszPathName));
    m_strPathName = AfxCStr(info.absoluteFilePath());
    SetTitle(AfxCStr(info.fileName()));
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

void CDocument::UpdateAllViews(CView* pSender, LPARAM lHint, CObject* pHint)
{
    const std::vector<CView*> views = m_viewList;
    for (CView* pView : views)
        if (pView != pSender)
            pView->OnUpdate(pSender, lHint, pHint);
}

void CDocument::DeleteContents() {}

BOOL CDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.Empty();
    SetModifiedFlag(FALSE);
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
    AfxMessageBox(CString::Formatted(bSaving ? "Cannot save \"%s\": %s." : "Cannot open \"%s\": %s.",
                                     lpszPathName != nullptr ? lpszPathName : "", strCause.GetString()),
                  MB_OK | MB_ICONEXCLAMATION);
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
        file.Close();
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
    SetModifiedFlag(FALSE);
    return TRUE;
}

namespace
{
mode_t CurrentUmask()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

// Removes the temporary unless it was put in the target's place.
struct CTempFile
{
    std::string m_path;
    bool m_bKeep = false;
    ~CTempFile()
    {
        if (!m_bKeep && !m_path.empty())
            ::unlink(m_path.c_str());
    }
};
}  // namespace

BOOL CDocument::OnSaveDocument(LPCTSTR lpszPathName)
{
    const CString strPath(lpszPathName);
    auto fail = [&](const CFileException& e) {
        ReportSaveLoadException(strPath, &e, TRUE);
        return FALSE;
    };
    if (strPath.IsEmpty())
        return fail(CFileException::FromErrno(ENOENT, strPath));

    // Replace the file a link points to, not the link.
    std::string target = strPath.Str();
    if (char* pszReal = ::realpath(target.c_str(), nullptr))
    {
        target = pszReal;
        std::free(pszReal);
    }
    struct stat st;
    const bool bExists = ::stat(target.c_str(), &st) == 0;
    if (bExists)
    {
        if (S_ISDIR(st.st_mode))
            return fail(CFileException::FromErrno(EISDIR, strPath));
        if (!S_ISREG(st.st_mode))
            return fail(CFileException(CFileException::invalidFile, 0, strPath));
        // Renaming would replace a write-protected file; refuse as writing in place would.
        if (::access(target.c_str(), W_OK) != 0)
            return fail(CFileException::FromErrno(errno, strPath));
    }
    else if (errno != ENOENT)
        return fail(CFileException::FromErrno(errno, strPath));

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty())
        return fail(CFileException::FromErrno(EISDIR, strPath));
    std::string tmpl = dir + (slash == std::string::npos ? "/." : ".") + name + ".XXXXXX";
    if (name.size() + 8 > NAME_MAX)
        tmpl = dir + (slash == std::string::npos ? "/" : "") + ".vellum-save.XXXXXX";

    CTempFile temp;
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail(CFileException::FromErrno(errno, strPath));
    temp.m_path = tmpl;
    ::fchmod(fd, bExists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask()));

    CFile file;
    file.Attach(fd, strPath);  // failures name the target, not the temporary
    try
    {
        CArchive ar(&file, CArchive::store | CArchive::bNoFlushOnDelete);
        ar.m_pDocument = this;
        Serialize(ar);
        // The data must be on disk before the rename makes it the file; otherwise a crash
        // just after the save could leave an empty file where the old one was.
        if (::fdatasync(fd) != 0)
            throw CFileException::FromErrno(errno, strPath);
        file.Close();
        if (::rename(temp.m_path.c_str(), target.c_str()) != 0)
            throw CFileException::FromErrno(errno, strPath);
        temp.m_bKeep = true;
    }
    catch (const CUserException&)
    {
        file.Abort();
        return FALSE;
    }
    catch (const CException& e)
    {
        file.Abort();
        ReportSaveLoadException(strPath, &e, TRUE);
        return FALSE;
    }
    catch (const std::exception& e)
    {
        file.Abort();
        const CFileException fx = FromStdException(e, strPath);
        ReportSaveLoadException(strPath, &fx, TRUE);
        return FALSE;
    }
    SetModifiedFlag(FALSE);
    return TRUE;
}

void CDocument::OnCloseDocument()
{
    DeleteContents();
}

BOOL CDocument::DoSave(LPCTSTR lpszPathName, BOOL bReplace)
{
    CString strName(lpszPathName);
    if (strName.IsEmpty())
    {
        strName = m_strPathName.IsEmpty() ? m_strTitle : m_strPathName;
        CWinApp* pApp = AfxGetApp();
        if (pApp == nullptr || !pApp->DoPromptFileName(strName, 0, 0, FALSE, m_pDocTemplate))
            return FALSE;
    }
    if (!OnSaveDocument(strName))
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

// ---------------------------------------------------------------------------------------

CDocTemplate::CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                           CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass), m_pViewClass(pViewClass)
{
}

CDocTemplate::~CDocTemplate() = default;

BOOL CDocTemplate::GetDocString(CString& rString, enum DocStringIndex index) const
{
    rString.Empty();
    CString s(ResFindString(m_nIDResource));
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

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc, CFrameWnd* pOther)
{
    if (m_pFrameClass == nullptr)
        return nullptr;
    CCreateContext context;
    context.m_pCurrentFrame = pOther;
    context.m_pCurrentDoc = pDoc;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pNewDocTemplate = this;
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

void CDocTemplate::SetDefaultTitle(CDocument* pDocument)
{
    CString strName;
    if (!GetDocString(strName, docName))
        strName = "Untitled";
    pDocument->SetTitle(strName);
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
