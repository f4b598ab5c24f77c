// The load/save driver. Loading recognises the format from the first bytes, reads into the
// view's record of that kind, and only on success hands the colours, the status text and a
// redraw to the surface, the frame and the view. Saving picks the format from the path,
// converts the current record when the kinds differ, and writes with the surface's colours.
// Every failure is told once and then thrown as a CUserException, so the framework leaves
// the title, the recent-file list and any save target exactly as they were.

#include "document/VellumDoc.h"

#include "document/FileStream.h"
#include "document/VellumView.h"
#include "resources/resource.h"

#include "formats/DataKinds.h"

namespace
{

// The message of a failed load, by its class.
UINT LoadMessageId(int nFailure)
{
    switch (nFailure)
    {
    case LOAD_UNKNOWN_FORMAT: return IDS_UNKNOWN_FORMAT;
    case LOAD_NOT_256: return IDS_NOT_256_COLOR;
    case LOAD_NOT_256_OR_16: return IDS_NOT_256_OR_16_COLOR;
    default: return IDS_LOAD_ERROR;
    }
}

CString SaveFailureText(int nTarget, int nResult, bool bConverting)
{
    if (nResult == FMT_NO_MEMORY)
        return CString::Formatted("cannot save as %s: not enough memory.", DataTypeName(nTarget));
    if (bConverting)
        return CString::Formatted("cannot save as %s: the data does not fit that format.", DataTypeName(nTarget));
    return CString("save error.");
}

[[noreturn]] void FailWith(UINT nIDPrompt)
{
    AfxMessageBox(nIDPrompt);
    AfxThrowUserException();
}

[[noreturn]] void FailWith(const CString& strText)
{
    AfxMessageBox(strText, MB_OK, 0);
    AfxThrowUserException();
}

// A record's palette pointer names the call's own palette; it must not outlive the call.
class CPaletteScope
{
public:
    explicit CPaletteScope(CVellumView& view) : m_view(view) {}
    ~CPaletteScope()
    {
        m_view.m_bmpData.m_pPalette = nullptr;
        m_view.m_bfntData.m_pPalette = nullptr;
        m_view.m_timData.m_pPalette = nullptr;
    }
    CPaletteScope(const CPaletteScope&) = delete;
    CPaletteScope& operator=(const CPaletteScope&) = delete;

private:
    CVellumView& m_view;
};

}  // namespace

IMPLEMENT_DYNCREATE(CVellumDoc, CDocument)

BEGIN_MESSAGE_MAP(CVellumDoc, CDocument)
END_MESSAGE_MAP()

CVellumDoc::CVellumDoc() : m_nDataType(DATA_NONE)
{
}

CVellumDoc::~CVellumDoc() = default;

BOOL CVellumDoc::OnNewDocument()
{
    // The loaded data survives File/New: a later Save As still writes it.
    return CDocument::OnNewDocument() ? TRUE : FALSE;
}

BOOL CVellumDoc::OnSaveDocument(LPCTSTR lpszPathName, CSaveBatch* pBatch)
{
    m_strSavePath = lpszPathName;
    // Asked before any file is made, so a directory we could not write to does not hide
    // the real reason behind a file error.
    if (m_nDataType == DATA_NONE)
    {
        AfxMessageBox(IDS_NO_FILE_LOADED);
        return FALSE;
    }
    return CDocument::OnSaveDocument(lpszPathName, pBatch);
}

int CVellumDoc::SaveTypeFromPath(const CString& strPath)
{
    return ::SaveTypeFromPath(std::string_view(strPath.GetString(), static_cast<std::size_t>(strPath.GetLength())));
}

CVellumView* CVellumDoc::GetFirstVellumView() const
{
    POSITION pos = GetFirstViewPosition();
    if (pos == nullptr)
        return nullptr;
    CView* pView = GetNextView(pos);
    if (pView == nullptr || !pView->IsKindOf(RUNTIME_CLASS(CVellumView)))
        return nullptr;
    return static_cast<CVellumView*>(pView);
}

void CVellumDoc::Serialize(CArchive& ar)
{
    CFile* pFile = ar.GetFile();
    CVellumView* pView = GetFirstVellumView();
    // Without a file or a view there is nothing to read into or write from.
    if (pFile == nullptr || pView == nullptr)
        AfxThrowUserException();

    CPaletteScope scope(*pView);
    RgbPalette palette;
    pView->m_surface.GetColors(palette.rgb, 0, 256);

    CFileStream stream(*pFile);
    if (ar.IsLoading())
        LoadData(stream, *pView, palette);
    else
        StoreData(stream, *pView, palette);
}

void CVellumDoc::LoadData(IByteStream& file, CVellumView& view, RgbPalette& palette)
{
    const DataRecords rec = view.Records();
    const LoadOutcome load = ::LoadData(file, rec, palette);
    if (load.nFailure != LOAD_OK)
        FailWith(LoadMessageId(load.nFailure));

    m_nDataType = load.nDataType;

    const CString strStatus(FindDataKind(m_nDataType)->pfnStatusText(rec));
    CWinThread* pThread = AfxGetThread();
    CWnd* pMainWnd = pThread != nullptr ? pThread->GetMainWnd() : nullptr;
    if (pMainWnd != nullptr && pMainWnd->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
        static_cast<CFrameWnd*>(pMainWnd)->SetStatusText(strStatus);

    // Only the image colours: the static colours at both ends keep the blit untranslated.
    view.m_surface.SetColors(&palette.rgb[3 * PAL_FIRST_IMAGE_COLOR], PAL_FIRST_IMAGE_COLOR, PAL_IMAGE_COLORS);
    view.RenderData();
    view.Invalidate(TRUE);
}

BOOL CVellumDoc::ConvertTo(int nTarget, CVellumView& view)
{
    const int nResult = ConvertData(view.Records(), m_nDataType, nTarget);
    if (nResult != FMT_OK)
    {
        AfxMessageBox(SaveFailureText(nTarget, nResult, true), MB_OK, 0);
        return FALSE;
    }
    return TRUE;
}

void CVellumDoc::StoreData(IByteStream& file, CVellumView& view, RgbPalette& palette)
{
    if (m_nDataType == DATA_NONE)
        FailWith(IDS_NO_FILE_LOADED);

    const int nTarget = SaveTypeFromPath(m_strSavePath);
    if (nTarget != m_nDataType)
    {
        // A refused conversion writes nothing rather than a wrong file; the kind stays.
        if (!ConvertTo(nTarget, view))
            AfxThrowUserException();
        m_nDataType = nTarget;
    }

    // The conversions take no colours: the palette goes in just before the writer.
    const int nResult = WriteData(view.Records(), nTarget, file, palette);
    // A writer that refused has written nothing; the save must not pass for a success.
    if (nResult != FMT_OK)
        FailWith(SaveFailureText(nTarget, nResult, false));
}
