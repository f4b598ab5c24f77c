#include "AfxPrivate.h"

#include "AfxApp.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMetaObject>
#include <QScreen>

QString AfxQStr(LPCTSTR psz)
{
    return psz != nullptr ? QString::fromUtf8(psz) : QString();
}

CString AfxCStr(const QString& s)
{
    return CString(s.toUtf8().toStdString());
}

CString AfxPromptOf(LPCTSTR lpszString)
{
    CString s(lpszString);
    const int n = s.Find('\n');
    return n < 0 ? s : s.Left(n);
}

CString AfxTipOf(LPCTSTR lpszString)
{
    CString s(lpszString);
    const int n = s.Find('\n');
    return n < 0 ? CString() : s.Mid(n + 1);
}

// ---------------------------------------------------------------------------------------

CWndPrivate::~CWndPrivate()
{
    DestroyWidget();
}

void CWndPrivate::Attach(QWidget* pWidget)
{
    m_pWidget = pWidget;
    pWidget->setProperty(AFX_WND_PROPERTY, QVariant::fromValue(reinterpret_cast<quintptr>(m_pOwner)));
}

void CWndPrivate::DestroyWidget()
{
    QWidget* pWidget = m_pWidget.data();
    m_pWidget = nullptr;
    m_shortcuts.clear();
    m_panes.clear();
    if (pWidget == nullptr || QCoreApplication::instance() == nullptr)
        return;
    pWidget->setProperty(AFX_WND_PROPERTY, QVariant());
    if (auto* w = dynamic_cast<CQtWindow*>(pWidget))
        w->m_pWnd = nullptr;
    else if (auto* f = dynamic_cast<CQtFrame*>(pWidget))
        f->m_pWnd = nullptr;
    else if (auto* d = dynamic_cast<CQtDialog*>(pWidget))
        d->m_pWnd = nullptr;
    delete pWidget;
}

QWidget* AfxGetWidget(const CWnd* pWnd)
{
    return pWnd != nullptr && pWnd->GetPrivate() != nullptr ? pWnd->GetPrivate()->m_pWidget.data()
                                                            : nullptr;
}

QMainWindow* AfxGetMainWindow(const CFrameWnd* pFrame)
{
    return qobject_cast<QMainWindow*>(AfxGetWidget(pFrame));
}

CWnd* AfxWndFromWidget(const QWidget* pWidget)
{
    if (pWidget == nullptr)
        return nullptr;
    const QVariant v = pWidget->property(AFX_WND_PROPERTY);
    return v.isValid() ? reinterpret_cast<CWnd*>(v.value<quintptr>()) : nullptr;
}

QAction* AfxFindAction(const QWidget* pRoot, UINT nID)
{
    if (pRoot == nullptr)
        return nullptr;
    for (QAction* a : pRoot->findChildren<QAction*>())
        if (a->data().isValid() && a->data().toUInt() == nID && !a->isSeparator())
            return a;
    return nullptr;
}

std::uint64_t AfxPaintCacheConversions(const CWnd* pWnd)
{
    return pWnd != nullptr && pWnd->GetPrivate() != nullptr ? pWnd->GetPrivate()->m_nConversions : 0;
}

// ---------------------------------------------------------------------------------------

void AfxSendSize(CWnd* pWnd, QWidget* pWidget)
{
    const UINT nType = pWidget->isMinimized() ? SIZE_MINIMIZED
                       : pWidget->isMaximized() ? SIZE_MAXIMIZED
                                                : SIZE_RESTORED;
    pWnd->SendMessage(WM_SIZE, nType,
                      MAKELPARAM(static_cast<unsigned>(pWidget->width()),
                                 static_cast<unsigned>(pWidget->height())));
}

CQtWindow::CQtWindow(CWnd* pWnd, QWidget* pParent) : QWidget(pParent), m_pWnd(pWnd) {}

void CQtWindow::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (m_pWnd != nullptr)
        AfxSendSize(m_pWnd, this);
}

void CQtWindow::paintEvent(QPaintEvent*)
{
    if (m_pWnd != nullptr)
        AfxDispatchPaint(m_pWnd, this);
}

CQtFrame::CQtFrame(CWnd* pWnd) : QMainWindow(nullptr), m_pWnd(pWnd) {}

void CQtFrame::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    if (m_pWnd != nullptr)
        AfxSendSize(m_pWnd, this);
}

void CQtFrame::closeEvent(QCloseEvent* e)
{
    // The frame decides (WM_CLOSE); Qt must not close or delete anything by itself.
    e->ignore();
    if (m_pWnd != nullptr)
        m_pWnd->SendMessage(WM_CLOSE);
}

CQtDialog::CQtDialog(CWnd* pWnd, QWidget* pParent) : QDialog(pParent), m_pWnd(pWnd) {}

void CQtDialog::accept()
{
    if (m_pWnd != nullptr)
        m_pWnd->SendMessage(WM_COMMAND, IDOK);
    else
        QDialog::accept();
}

void CQtDialog::reject()
{
    if (m_pWnd != nullptr)
        m_pWnd->SendMessage(WM_COMMAND, IDCANCEL);
    else
        QDialog::reject();
}

// ---------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() : m_pPriv(std::make_unique<CWndPrivate>(this)) {}

CWnd::~CWnd()
{
    m_pPriv->DestroyWidget();
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
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
    cs.lpszClass = lpszClassName;
    if (!PreCreateWindow(cs))
        return FALSE;

    m_pParentWnd = pParentWnd;
    m_nID = nID;
    m_dwStyle = cs.style;
    CreateWidget(cs);
    QWidget* pWidget = AfxGetWidget(this);
    if (pWidget == nullptr)
        return FALSE;
    if (cs.lpszName != nullptr)
        SetWindowText(cs.lpszName);
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        m_pPriv->DestroyWidget();
        return FALSE;
    }
    if ((cs.style & WS_VISIBLE) && (cs.style & WS_CHILD))
        pWidget->show();
    return TRUE;
}

void CWnd::CreateWidget(const CREATESTRUCT& cs)
{
    auto* pWidget = new CQtWindow(this, AfxGetWidget(m_pParentWnd));
    if (cs.cx > 0 && cs.cy > 0)
        pWidget->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
    m_pPriv->Attach(pWidget);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!IsWindow())
        return FALSE;
    m_pPriv->DestroyWidget();
    PostNcDestroy();
    return TRUE;
}

BOOL CWnd::IsWindow() const
{
    return AfxGetWidget(this) != nullptr;
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    if (lpRect == nullptr)
        return;
    const QWidget* w = AfxGetWidget(this);
    *lpRect = RECT{0, 0, w != nullptr ? w->width() : 0, w != nullptr ? w->height() : 0};
}

void CWnd::GetWindowRect(LPRECT lpRect) const
{
    if (lpRect == nullptr)
        return;
    const QWidget* w = AfxGetWidget(this);
    if (w == nullptr)
    {
        *lpRect = RECT{0, 0, 0, 0};
        return;
    }
    const QRect g = w->frameGeometry();
    *lpRect = RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL)
{
    if (QWidget* w = AfxGetWidget(this))
        w->setGeometry(x, y, nWidth, nHeight);
}

void CWnd::Invalidate(BOOL bErase)
{
    if (QWidget* w = AfxGetWidget(this))
    {
        m_pPriv->m_bEraseNeeded = m_pPriv->m_bEraseNeeded || bErase;
        w->update();
    }
}

void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase)
{
    QWidget* w = AfxGetWidget(this);
    if (w == nullptr)
        return;
    m_pPriv->m_bEraseNeeded = m_pPriv->m_bEraseNeeded || bErase;
    if (lpRect == nullptr)
        w->update();
    else
        w->update(QRect(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                        lpRect->bottom - lpRect->top));
}

void CWnd::UpdateWindow()
{
    if (QWidget* w = AfxGetWidget(this); w != nullptr && w->isVisible())
        w->repaint();
}

void CWnd::SetWindowText(LPCTSTR lpszString)
{
    m_pPriv->m_strText = lpszString;
    if (QWidget* w = AfxGetWidget(this))
        w->setWindowTitle(AfxQStr(lpszString));
}

void CWnd::GetWindowText(CString& rString) const
{
    rString = m_pPriv->m_strText;
}

CString CWnd::GetWindowText() const
{
    CString s;
    GetWindowText(s);
    return s;
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    QWidget* w = AfxGetWidget(this);
    if (w == nullptr)
        return FALSE;
    const BOOL bWasVisible = !w->isHidden();
    switch (nCmdShow)
    {
    case SW_HIDE: w->hide(); break;
    case SW_SHOWMINIMIZED: w->showMinimized(); break;
    case SW_SHOWMAXIMIZED: w->showMaximized(); break;
    default: w->show(); break;
    }
    return bWasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    const QWidget* w = AfxGetWidget(this);
    return w != nullptr && w->isVisible();
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
    QWidget* w = AfxGetWidget(this);
    if (w == nullptr || QCoreApplication::instance() == nullptr)
        return FALSE;
    QPointer<QWidget> target(w);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [target, message, wParam, lParam] {
            if (CWnd* pWnd = AfxWndFromWidget(target.data()))
                pWnd->SendMessage(message, wParam, lParam);
        },
        Qt::QueuedConnection);
    return TRUE;
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
        if (CDC* pDC = reinterpret_cast<CDC*>(wParam))
            if (auto* pWindowDC = dynamic_cast<CQtWindowDC*>(pDC->m_hDC))
                pWindowDC->Erase();
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

// ---------------------------------------------------------------------------------------

int GetSystemMetrics(int nIndex)
{
    switch (nIndex)
    {
    case SM_CXFRAME:
    case SM_CYFRAME:
    case SM_CYCAPTION:
        return 0;  // drawn by the window manager, outside the window's own size
    case SM_CYMENU:
    {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
            return 19;
        static const int s_nMenuHeight = [] {
            QMenuBar bar;
            bar.addMenu(QStringLiteral("&File"));
            return bar.sizeHint().height();
        }();
        return s_nMenuHeight;
    }
    case SM_CXSCREEN:
    case SM_CYSCREEN:
    {
        const QScreen* pScreen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                     ? QGuiApplication::primaryScreen()
                                     : nullptr;
        if (pScreen == nullptr)
            return 0;
        return nIndex == SM_CXSCREEN ? pScreen->size().width() : pScreen->size().height();
    }
    default:
        return 0;
    }
}
