// The load/save driver. Loading recognises the format from the first bytes, reads into the
// view's record of that kind, and only on success hands the colours, the status text and a
// redraw to the surface, the frame and the view. Saving picks the format from the path,
// converts the current record when the kinds differ, and writes with the surface's colours.
// Every failure is told once and then thrown as a CUserException, so the framework leaves
// the title, the recent-file list and any save target exactly as they were.

#include "VellumDoc.h"

#include "FileStream.h"
#include "VellumView.h"
#include "resource.h"

#include "Bfnt.h"
#include "Bmp.h"
#include "Tim.h"

#include <cstdint>

namespace
{

// The message of a failed read, by the kind that was being read and the reader's result.
UINT LoadMessageId(int nKind, int nResult, bool bSecondBfntRead)
{
    if (nKind == DATA_BFNT && bSecondBfntRead)
        return IDS_NOT_256_OR_16_COLOR;
    if ((nKind == DATA_BMP && nResult == FMT_BMP_NOT_8BIT) || (nKind == DATA_TIM && nResult == FMT_TIM_NOT_8BIT))
        return IDS_NOT_256_COLOR;
    return IDS_LOAD_ERROR;
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

BOOL CVellumDoc::OnSaveDocument(LPCTSTR lpszPathName)
{
    m_strSavePath = lpszPathName;
    // Asked before any file is made, so a directory we could not write to does not hide
    // the real reason behind a file error.
    if (m_nDataType == DATA_NONE)
    {
        AfxMessageBox(IDS_NO_FILE_LOADED);
        return FALSE;
    }
    return CDocument::OnSaveDocument(lpszPathName);
}

int CVellumDoc::SaveTypeFromPath(const CString& strPath)
{
    CString strExt = strPath.Right(4);
    strExt.MakeLower();
    if (strExt == ".bmp")
        return DATA_BMP;
    if (strExt == ".tim")
        return DATA_TIM;
    return DATA_BFNT;
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
    // A file shorter than the signature is classed by the bytes it has; an empty one
    // matches nothing.
    std::uint8_t signature[DOC_SIGNATURE_SIZE] = {};
    const std::uint32_t nGot = file.Read(signature, static_cast<std::uint32_t>(DOC_SIGNATURE_SIZE));
    file.Seek(0, STREAM_BEGIN);

    const int nKind = DetectDataType(signature, nGot);
    int nResult = FMT_OK;
    bool bSecondBfntRead = false;
    switch (nKind)
    {
    case DATA_BMP:
        view.m_bmpData.m_pPalette = &palette;
        nResult = view.m_bmpData.ReadBmp(file, true);
        break;
    case DATA_TIM:
        view.m_timData.m_pPalette = &palette;
        nResult = view.m_timData.ReadTim(file, true);
        break;
    case DATA_BFNT:
        view.m_bfntData.m_pPalette = &palette;
        nResult = view.m_bfntData.ReadBfnt256(file);
        if (nResult == FMT_BFNT_NOT_256)
        {
            // Perhaps a 16-colour sheet: the general reader starts from the top again.
            file.Seek(0, STREAM_BEGIN);
            nResult = view.m_bfntData.ReadBfnt(file, TRUE);
            bSecondBfntRead = true;
        }
        break;
    default:
        FailWith(IDS_UNKNOWN_FORMAT);
    }
    if (nResult != FMT_OK)
        FailWith(LoadMessageId(nKind, nResult, bSecondBfntRead));

    m_nDataType = nKind;

    std::string strText;
    if (nKind == DATA_BFNT)
        strText = BfntStatusText(view.m_bfntData);
    else if (nKind == DATA_BMP)
        strText = BmpStatusText(view.m_bmpData);
    else
        strText = TimStatusText(view.m_timData);
    const CString strStatus(std::move(strText));
    CWinThread* pThread = AfxGetThread();
    CWnd* pMainWnd = pThread != nullptr ? pThread->GetMainWnd() : nullptr;
    if (pMainWnd != nullptr && pMainWnd->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
        static_cast<CFrameWnd*>(pMainWnd)->SetStatusText(strStatus);

    // Only the image colours: the static colours at both ends keep the blit untranslated.
    view.m_surface.SetColors(&palette.rgb[3 * 10], 10, 236);
    view.RenderData();
    view.Invalidate(TRUE);
}

BOOL CVellumDoc::ConvertTo(int nTarget, CVellumView& view)
{
    int nResult = FMT_OK;
    switch (nTarget)
    {
    case DATA_BFNT:
        if (m_nDataType == DATA_BMP)
            nResult = view.m_bmpData.BmpToBfnt(view.m_bfntData, 16);
        else if (m_nDataType == DATA_TIM)
            nResult = view.m_timData.TimToBfnt(view.m_bfntData, 16);
        break;
    case DATA_BMP:
        if (m_nDataType == DATA_BFNT)
            nResult = view.m_bfntData.BfntToBmp(view.m_bmpData);
        else if (m_nDataType == DATA_TIM)
            nResult = view.m_timData.TimToBmp(view.m_bmpData);
        break;
    case DATA_TIM:
        if (m_nDataType == DATA_BFNT)
        {
            nResult = view.m_bfntData.BfntToBmp(view.m_bmpData);
            if (nResult == FMT_OK)
                nResult = view.m_bmpData.BmpToTim(view.m_timData);
        }
        else if (m_nDataType == DATA_BMP)
        {
            nResult = view.m_bmpData.BmpToTim(view.m_timData);
        }
        break;
    default:
        break;
    }
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
    int nResult = FMT_OK;
    switch (nTarget)
    {
    case DATA_BMP:
        view.m_bmpData.m_pPalette = &palette;
        nResult = view.m_bmpData.WriteBmp(file);
        break;
    case DATA_TIM:
        view.m_timData.m_pPalette = &palette;
        nResult = view.m_timData.WriteTim(file);
        break;
    default:
        view.m_bfntData.m_pPalette = &palette;
        nResult = view.m_bfntData.WriteBfnt(file);
        break;
    }
    // A writer that refused has written nothing; the save must not pass for a success.
    if (nResult != FMT_OK)
        FailWith(SaveFailureText(nTarget, nResult, false));
}
