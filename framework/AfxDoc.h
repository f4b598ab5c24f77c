#pragma once
// Documents and the single-document template that creates document, frame and view.

#include "framework/AfxFile.h"
#include "framework/AfxWnd.h"

#include <vector>

class CSaveBatch;
struct AFX_POSITION;
using POSITION = AFX_POSITION*;  // null ends an iteration

class CDocument : public CCmdTarget
{
    DECLARE_DYNAMIC(CDocument)
public:
    CDocument();
    ~CDocument() override;

    const CString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(LPCTSTR lpszTitle);
    const CString& GetPathName() const { return m_strPathName; }
    // Sets the path (made absolute), the title (the file's name) and, with bAddToMRU, puts
    // it at the head of the recent-file list.
    virtual void SetPathName(LPCTSTR lpszPathName, BOOL bAddToMRU = TRUE);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }


    void AddView(CView* pView);
    void RemoveView(CView* pView);
    virtual POSITION GetFirstViewPosition() const;
    virtual CView* GetNextView(POSITION& rPosition) const;

    virtual void DeleteContents();
    // DeleteContents, no path, the title "Untitled" of the document string.
    virtual BOOL OnNewDocument();
    // Opens the file for reading and runs Serialize on a loading archive. A file that cannot
    // be opened or read gives a message naming it and the cause; a CUserException from
    // Serialize means the document has already told the user. FALSE on any failure.
    virtual BOOL OnOpenDocument(LPCTSTR lpszPathName);
    // Runs Serialize on a storing archive over a temporary file beside the target, and puts
    // it in the target's place only when Serialize completed: a failure leaves the target as
    // it was and no temporary behind. FALSE on any failure. With pBatch, a completed save
    // waits in that batch, which puts it in place.
    virtual BOOL OnSaveDocument(LPCTSTR lpszPathName, CSaveBatch* pBatch = nullptr);

    // Save As without a path (asks for one), Save with one; TRUE when saved. With bReplace
    // the document takes the new path (and the recent-file list gets it). pBatch as for
    // OnSaveDocument.
    virtual BOOL DoSave(LPCTSTR lpszPathName, BOOL bReplace = TRUE, CSaveBatch* pBatch = nullptr);
    virtual BOOL DoFileSave();

    // Shows the message of a failed open or save (nothing for a CUserException).
    virtual void ReportSaveLoadException(LPCTSTR lpszPathName, const CException* e, BOOL bSaving);

    void OnFileSave();
    void OnFileSaveAs();

protected:
    CString m_strTitle;
    CString m_strPathName;
    CDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CView*> m_viewList;
    friend class CDocTemplate;

    DECLARE_MESSAGE_MAP()
};

class CDocTemplate : public CCmdTarget
{
    DECLARE_DYNAMIC(CDocTemplate)
public:
    enum DocStringIndex
    {
        windowTitle,
        docName,
        fileNewName,
        filterName,
        filterExt,
        regFileTypeId,
        regFileTypeName,
    };

    ~CDocTemplate() override;

    // Field of the document string nIDResource ("\n"-separated); FALSE when empty or absent.
    virtual BOOL GetDocString(CString& rString, enum DocStringIndex index) const;
    // Null path: File/New. A path: File/Open. The document, or null on failure (and then
    // nothing has changed).
    virtual CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) = 0;
    virtual CDocument* CreateNewDocument();
    virtual CFrameWnd* CreateNewFrame(CDocument* pDoc, CFrameWnd* pOther);
    virtual void InitialUpdateFrame(CFrameWnd* pFrame, CDocument* pDoc, BOOL bMakeVisible = TRUE);
    virtual CDocument* GetFirstDocument() const = 0;
    // Deletes the documents and frames it created (at exit).
    virtual void CloseAllDocuments(BOOL bEndSession);

    UINT m_nIDResource;
    CRuntimeClass* m_pDocClass;
    CRuntimeClass* m_pFrameClass;
    CRuntimeClass* m_pViewClass;

protected:
    CDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                 CRuntimeClass* pViewClass);
};

class CSingleDocTemplate : public CDocTemplate
{
    DECLARE_DYNAMIC(CSingleDocTemplate)
public:
    CSingleDocTemplate(UINT nIDResource, CRuntimeClass* pDocClass, CRuntimeClass* pFrameClass,
                       CRuntimeClass* pViewClass);
    ~CSingleDocTemplate() override;

    // The first call creates the document, the frame and the view; later calls reuse them.
    CDocument* OpenDocumentFile(LPCTSTR lpszPathName, BOOL bMakeVisible = TRUE) override;
    CDocument* GetFirstDocument() const override { return m_pOnlyDoc; }
    CFrameWnd* GetFrame() const { return m_pFrame; }
    void CloseAllDocuments(BOOL bEndSession) override;

protected:
    CDocument* m_pOnlyDoc = nullptr;
    CFrameWnd* m_pFrame = nullptr;
};
