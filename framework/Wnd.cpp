#include "framework/AfxApp.h"
#include "framework/AfxPlatform.h"
#include "framework/AfxWnd.h"

#include <unordered_map>

namespace
{
// Windows alive now, each with a serial number, so a posted message can tell whether its
// window is still the one it was posted to.
std::unordered_map<const CWnd*, std::uint64_t>& LiveWindows()
{
    static std::unordered_map<const CWnd*, std::uint64_t> s_windows;
    return s_windows;
}
std::uint64_t g_nWindowSerial = 0;

// Where a platform draws nothing, a paint's blits go here.
class CNullDC : public CDeviceContext
{
public:
    bool BlitFrom(const DibView&, int, int, int, int, int, int) override { return false; }
};
}  // namespace

CPaintDC::CPaintDC(CWnd* pWnd) : m_pWnd(pWnd)
{
    if (pWnd != nullptr && pWnd->GetPeer() != nullptr)
        m_hDC = pWnd->GetPeer()->BeginPaint();
    if (m_hDC == nullptr)
        m_hDC = new CNullDC;
}

CPaintDC::~CPaintDC()
{
    if (dynamic_cast<CNullDC*>(m_hDC) != nullptr)
        delete m_hDC;
    else if (m_pWnd != nullptr && m_pWnd->GetPeer() != nullptr)
        m_pWnd->GetPeer()->EndPaint(m_hDC);
}

// ---------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd()
{
    LiveWindows()[this] = ++g_nWindowSerial;
}

CWnd::~CWnd()
{
    DestroyPeer();
    LiveWindows().erase(this);
}

BOOL CWnd::Create(LPCTSTR, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    if (IsWindow())
        return FALSE;
    CREATESTRUCT cs;
    cs.lpCreateParams = pContext;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = dwStyle;
    cs.lpszName = lpszWindowName;
    if (!PreCreateWindow(cs))
        return FALSE;

    m_pParentWnd = pParentWnd;
    m_nID = nID;
    m_dwStyle = cs.style & ~WS_VISIBLE;  // shown below, once the window is complete
    m_rcPlacement = CRect(cs.x, cs.y, cs.x + cs.cx, cs.y + cs.cy);
    m_pPeer = CreatePeer(cs);
    if (m_pPeer == nullptr)
        return FALSE;
    if (cs.lpszName != nullptr)
        SetWindowText(cs.lpszName);
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        DestroyPeer();
        return FALSE;
    }
    if (cs.style & WS_VISIBLE)
        ShowWindow(SW_SHOW);
    return TRUE;
}

std::unique_ptr<CWndPeer> CWnd::CreatePeer(const CREATESTRUCT& cs)
{
    return AfxGetPlatform().CreateWindowPeer(this, cs);
}

void CWnd::DestroyPeer()
{
    // Moved out first: the platform's window may report its own end while it goes.
    std::unique_ptr<CWndPeer> pPeer = std::move(m_pPeer);
    pPeer.reset();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!IsWindow())
        return FALSE;
    DestroyPeer();
    return TRUE;
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    if (lpRect == nullptr)
        return;
    const CSize size = m_pPeer != nullptr ? m_pPeer->GetClientSize() : CSize();
    *lpRect = RECT{0, 0, size.cx, size.cy};
}

void CWnd::GetWindowRect(LPRECT lpRect) const
{
    if (lpRect != nullptr)
        *lpRect = m_pPeer != nullptr ? m_pPeer->GetWindowRect() : CRect();
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL)
{
    m_rcPlacement = CRect(x, y, x + nWidth, y + nHeight);
    if (m_pPeer != nullptr)
        m_pPeer->PlacementChanged();
}

void CWnd::Invalidate(BOOL bErase)
{
    InvalidateRect(nullptr, bErase);
}

void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase)
{
    if (m_pPeer == nullptr)
        return;
    m_bEraseNeeded = m_bEraseNeeded || bErase;
    m_pPeer->Invalidate(lpRect);
}

void CWnd::DispatchPaint()
{
    if (m_bEraseNeeded)
    {
        m_bEraseNeeded = FALSE;
        CPaintDC dc(this);
        SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(static_cast<CDC*>(&dc)));
    }
    SendMessage(WM_PAINT);
}

void CWnd::SetWindowText(LPCTSTR lpszString)
{
    m_strText = lpszString;
    if (m_pPeer != nullptr)
        m_pPeer->TextChanged();
}

void CWnd::GetWindowText(CString& rString) const
{
    rString = m_strText;
}

CString CWnd::GetWindowText() const
{
    CString s;
    GetWindowText(s);
    return s;
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    if (m_pPeer == nullptr)
        return FALSE;
    const BOOL bWasVisible = (m_dwStyle & WS_VISIBLE) != 0;
    if (nCmdShow == SW_HIDE)
        m_dwStyle &= ~WS_VISIBLE;
    else
        m_dwStyle |= WS_VISIBLE;
    m_pPeer->Show(nCmdShow);
    return bWasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    for (const CWnd* p = this; p != nullptr; p = p->m_pParentWnd)
        if (!p->IsWindow() || !(p->m_dwStyle & WS_VISIBLE))
            return FALSE;
    return TRUE;
}

CFrameWnd* CWnd::GetParentFrame() const
{
    for (CWnd* p = m_pParentWnd; p != nullptr; p = p->m_pParentWnd)
        if (p->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
            return static_cast<CFrameWnd*>(p);
    return nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return WindowProc(message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsWindow())
        return FALSE;
    const std::uint64_t nSerial = LiveWindows()[this];
    return AfxGetPlatform().Post([this, nSerial, message, wParam, lParam] {
        const auto it = LiveWindows().find(this);
        if (it != LiveWindows().end() && it->second == nSerial && IsWindow())
            SendMessage(message, wParam, lParam);
    });
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const CurrentMessage saved = m_msgCur;
    m_msgCur = CurrentMessage{message, wParam, lParam};
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    m_msgCur = saved;
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND)
    {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 1;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(message);
    if (pEntry == nullptr)
        return FALSE;
    *pResult = pEntry->pfnThunk(this, 0, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM)
{
    return OnCmdMsg(LOWORD(wParam), CN_COMMAND, nullptr);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_ERASEBKGND:
        if (auto* pDC = reinterpret_cast<CDC*>(wParam); pDC != nullptr && m_pPeer != nullptr)
            m_pPeer->EraseBackground(pDC->m_hDC);
        return 1;
    case WM_SETTEXT:
        SetWindowText(reinterpret_cast<LPCTSTR>(lParam));
        return 1;
    case WM_CLOSE:
        DestroyWindow();
        return 0;
    default:
        return 0;
    }
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_msgCur.message, m_msgCur.wParam, m_msgCur.lParam);
}

void CWnd::OnSize(UINT, int, int)
{
    Default();
}

int CWnd::OnCreate(LPCREATESTRUCT)
{
    return static_cast<int>(Default());
}

BOOL CWnd::OnEraseBkgnd(CDC*)
{
    return static_cast<BOOL>(Default());
}

void CWnd::OnPaint()
{
    Default();
}

void CWnd::OnClose()
{
    Default();
}

void CWnd::OnHelpIndex()
{
    if (CWinApp* pApp = AfxGetApp())
        pApp->WinHelp(0, HELP_INDEX);
}

int GetSystemMetrics(int nIndex)
{
    return AfxGetPlatform().GetSystemMetrics(nIndex);
}
