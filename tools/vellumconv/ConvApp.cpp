#include "tools/vellumconv/ConvApp.h"

#include "document/VellumDoc.h"
#include "document/VellumView.h"
#include "exchange/Png.h"
#include "resources/resource.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvStream.h"
#include "tools/vellumconv/ConvText.h"

#include <cerrno>
#include <exception>
#include <functional>
#include <new>

CConvApp::CConvApp(std::FILE* pOut, std::FILE* pErr) : m_pOut(pOut), m_pErr(pErr)
{
}

CConvApp::~CConvApp() = default;

BOOL CConvApp::InitInstance()
{
    m_nCmdShow = SW_HIDE;
    CVellumApp::InitInstance();
    if (GetVellumView() == nullptr)
    {
        Report("cannot create the document and its view.");
        return FALSE;
    }
    // The size the window's drawing area has when the program starts.
    Size(256, 256);
    return TRUE;
}

int CConvApp::DoMessageBox(LPCTSTR lpszPrompt, UINT, UINT)
{
    Report(lpszPrompt != nullptr ? lpszPrompt : "");
    return IDOK;
}

void CConvApp::AddToRecentFileList(LPCTSTR)
{
}

void CConvApp::Report(const std::string& strText)
{
    ++m_nMessages;
    Tell(m_strContext, strText);
}

void CConvApp::Tell(const std::string& strPath, const std::string& strText)
{
    // One message, one line, whatever a path or a cause holds.
    const std::string strLine = strPath.empty() ? EscapeControls(strText)
                                                : EscapeControls(strPath) + ": " + EscapeControls(strText);
    ConvPrint(m_pErr, "vellumconv: %s\n", strLine.c_str());
    ConvFlush(m_pErr);
}

bool CConvApp::Guarded(const std::function<bool()>& fnWork)
{
    try
    {
        return fnWork();
    }
    catch (const std::bad_alloc&)
    {
        Report("not enough memory.");
    }
    catch (const std::exception& e)
    {
        Report(e.what());
    }
    catch (const CException& e)
    {
        Report(e.GetErrorMessage().Str());
    }
    return false;
}

CVellumDoc* CConvApp::GetVellumDoc() const
{
    CDocTemplate* pTemplate = GetDocTemplate();
    CDocument* pDoc = pTemplate != nullptr ? pTemplate->GetFirstDocument() : nullptr;
    return pDoc != nullptr && pDoc->IsKindOf(RUNTIME_CLASS(CVellumDoc)) ? static_cast<CVellumDoc*>(pDoc) : nullptr;
}

CVellumView* CConvApp::GetVellumView() const
{
    CVellumDoc* pDoc = GetVellumDoc();
    if (pDoc == nullptr)
        return nullptr;
    POSITION pos = pDoc->GetFirstViewPosition();
    CView* pView = pos != nullptr ? pDoc->GetNextView(pos) : nullptr;
    return pView != nullptr && pView->IsKindOf(RUNTIME_CLASS(CVellumView)) ? static_cast<CVellumView*>(pView)
                                                                           : nullptr;
}

void CConvApp::ClearStatusText()
{
    if (m_pMainWnd == nullptr || !m_pMainWnd->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
        return;
    if (CControlBar* pBar = static_cast<CFrameWnd*>(m_pMainWnd)->GetControlBar(AFX_IDW_STATUS_BAR))
        pBar->SetWindowText("");
}

CString CConvApp::GetStatusText() const
{
    if (m_pMainWnd == nullptr || !m_pMainWnd->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
        return CString();
    // Nothing else writes the pane while no window is shown.
    CControlBar* pBar = static_cast<CFrameWnd*>(m_pMainWnd)->GetControlBar(AFX_IDW_STATUS_BAR);
    return pBar != nullptr ? pBar->GetWindowText() : CString();
}

int CConvApp::RunSteps(const std::vector<ConvStep>& steps)
{
    bool bAllWell = m_nMessages == 0;
    for (const ConvStep& step : steps)
        if (!RunStep(step))
            bAllWell = false;
    ConvFlush(m_pOut);
    return bAllWell ? 0 : 1;
}

bool CConvApp::RunStep(const ConvStep& step)
{
    const int nMessagesBefore = m_nMessages;
    m_strContext = step.strPath;
    const bool bOk = Guarded([&] {
        switch (step.kind)
        {
        case EConvStep::Open: return Open(step.strPath);
        case EConvStep::Save: return Save(step.strPath);
        case EConvStep::Render: return Render(step.strPath);
        case EConvStep::New: OnFileNew(); return true;
        case EConvStep::Size: Size(step.nWidth, step.nHeight); return true;
        }
        return false;
    });
    m_strContext.clear();
    return bOk && m_nMessages == nMessagesBefore;
}

bool CConvApp::OpenInput(const std::string& strPath)
{
    // A stream opens as its copy; the messages still name it as it was given.
    std::string strRead, strCause;
    if (!ConvReadPath(strPath, strRead, strCause))
    {
        Report(AfxFileErrorMessage(strPath.c_str(), strCause.c_str(), FALSE).Str());
        return false;
    }
    return OpenDocumentFile(strRead.c_str()) != nullptr;
}

bool CConvApp::Open(const std::string& strPath)
{
    ClearStatusText();
    const int nMessagesBefore = m_nMessages;
    if (!OpenInput(strPath))
    {
        if (m_nMessages == nMessagesBefore)
            Report("cannot open the file.");
        return false;
    }
    const CString strStatus = GetStatusText();
    if (!strStatus.IsEmpty())
    {
        ConvPrint(m_pOut, "%s\n", strStatus.GetString());
        ConvFlush(m_pOut);
    }
    return true;
}

bool CConvApp::Save(const std::string& strPath, CSaveBatch* pBatch)
{
    CVellumDoc* pDoc = GetVellumDoc();
    const int nMessagesBefore = m_nMessages;
    if (pDoc == nullptr || !pDoc->DoSave(strPath.c_str(), TRUE, pBatch))
    {
        if (m_nMessages == nMessagesBefore)
            Report("cannot save the file.");
        return false;
    }
    return true;
}

void CConvApp::Size(int nWidth, int nHeight)
{
    if (CVellumView* pView = GetVellumView())
        pView->SendMessage(WM_SIZE, SIZE_RESTORED,
                           MAKELPARAM(static_cast<unsigned>(nWidth), static_cast<unsigned>(nHeight)));
}

bool CConvApp::Render(const std::string& strPath)
{
    CVellumView* pView = GetVellumView();
    if (pView == nullptr)
    {
        Report("there is no view to render.");
        return false;
    }
    const std::string strError = WriteSurfacePng(*pView, strPath);
    if (!strError.empty())
    {
        Report(strError);
        return false;
    }
    return true;
}

namespace
{
std::string CauseText(const CFileException& e)
{
    // The words the converter has always used for this one.
    if (e.m_lOsError == EISDIR)
        return "Filename refers to a directory";
    return e.GetCauseText().Str();
}
}  // namespace

std::string WriteSurfacePng(const CVellumView& view, const std::string& strPath)
{
    const CWinGSurface& surface = view.m_surface;
    const SurfaceBits& bits = surface.m_bits;
    if (bits.width <= 0 || bits.height <= 0 || bits.bits == nullptr)
        return "nothing to render: the window has no drawing area yet.";

    PngColor palette[256];
    for (int i = 0; i < 256; ++i)
    {
        const RGBQUAD& q = surface.m_bmiColors[i];
        palette[i] = PngColor{q.rgbRed, q.rgbGreen, q.rgbBlue, 0xFF};
    }
    PngEncodeImage image;
    image.nWidth = static_cast<std::uint32_t>(bits.width);
    image.nHeight = static_cast<std::uint32_t>(bits.height);
    image.pPalette = palette;
    image.nPalette = 256;
    // A bottom-up surface keeps the shown top row last in memory.
    const auto nRow = static_cast<std::ptrdiff_t>(bits.width);
    CBufferRowSource rows(bits.orientation >= 0 ? bits.bits + (bits.height - 1) * nRow : bits.bits,
                          bits.orientation >= 0 ? -nRow : nRow);
    // As renders have always been written: 3780 pixels per metre, libpng's own settings.
    PngEncodeOptions options;
    options.bPhys = true;
    options.nPhysX = 3780;
    options.nPhysY = 3780;
    std::vector<std::uint8_t> png;
    std::string strError;
    if (!EncodePng(image, rows, options, png, strError))
        return strError;

    // Written beside the target and renamed over it, so a failed write leaves no half a PNG.
    CSafeSaveFile file;
    CFileException fe;
    if (!file.Open(strPath.c_str(), &fe))
        return "cannot create the file: " + CauseText(fe) + ".";
    try
    {
        file.GetFile().Write(png.data(), static_cast<std::uint32_t>(png.size()));
        file.Commit();
    }
    catch (const CFileException& e)
    {
        return "cannot write the file: " + CauseText(e) + ".";
    }
    return {};
}
