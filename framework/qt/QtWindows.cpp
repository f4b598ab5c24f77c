// Windows, views and frames as widgets.

#include "framework/qt/QtPrivate.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

QString AfxQStr(LPCTSTR psz)
{
    return psz != nullptr ? QString::fromUtf8(psz) : QString();
}

CString AfxCStr(const QString& s)
{
    return CString(s.toUtf8().toStdString());
}

void AfxQtAttach(CQtWindowState& state, CWnd* pOwner, QWidget* pWidget)
{
    state.m_pWidget = pWidget;
    pWidget->setProperty(AFX_WND_PROPERTY, QVariant::fromValue(reinterpret_cast<quintptr>(pOwner)));
    if (auto* w = dynamic_cast<CQtWindow*>(pWidget))
        w->m_pState = &state;
}

void AfxQtDestroyWidget(CQtWindowState& state)
{
    QWidget* pWidget = state.m_pWidget.data();
    state.m_pWidget = nullptr;
    if (pWidget == nullptr || QCoreApplication::instance() == nullptr)
        return;
    pWidget->setProperty(AFX_WND_PROPERTY, QVariant());
    if (auto* w = dynamic_cast<CQtWindow*>(pWidget))
    {
        w->m_pWnd = nullptr;
        w->m_pState = nullptr;
    }
    else if (auto* f = dynamic_cast<CQtFrame*>(pWidget))
        f->m_pWnd = nullptr;
    else if (auto* d = dynamic_cast<CQtDialog*>(pWidget))
        d->m_pWnd = nullptr;
    delete pWidget;
}

void AfxQtShow(CQtWindowState& state, int nCmdShow)
{
    QWidget* w = state.m_pWidget.data();
    if (w == nullptr)
        return;
    switch (nCmdShow)
    {
    case SW_HIDE: w->hide(); break;
    case SW_SHOWMINIMIZED: w->showMinimized(); break;
    case SW_SHOWMAXIMIZED: w->showMaximized(); break;
    default: w->show(); break;
    }
}

QWidget* AfxGetWidget(const CWnd* pWnd)
{
    if (pWnd == nullptr)
        return nullptr;
    auto* pState = dynamic_cast<CQtWindowState*>(pWnd->GetPeer());
    return pState != nullptr ? pState->m_pWidget.data() : nullptr;
}

QMainWindow* AfxGetMainWindow(const CFrameWnd* pFrame)
{
    return qobject_cast<QMainWindow*>(AfxGetWidget(pFrame));
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
    auto* pState = pWnd != nullptr ? dynamic_cast<CQtWindowState*>(pWnd->GetPeer()) : nullptr;
    return pState != nullptr ? pState->m_nConversions : 0;
}

// ---------------------------------------------------------------------------------------

void AfxQtSendSize(CWnd* pWnd, QWidget* pWidget)
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
        AfxQtSendSize(m_pWnd, this);
}

void CQtWindow::paintEvent(QPaintEvent*)
{
    if (m_pWnd == nullptr || m_pState == nullptr)
        return;
    m_pState->m_bInPaint = true;
    m_pWnd->DispatchPaint();
    if (m_pState != nullptr)
        m_pState->m_bInPaint = false;
}

CQtFrame::CQtFrame(CWnd* pWnd) : QMainWindow(nullptr), m_pWnd(pWnd) {}

void CQtFrame::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    if (m_pWnd != nullptr)
        AfxQtSendSize(m_pWnd, this);
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

CQtWndPeer::CQtWndPeer(CWnd* pWnd, const CREATESTRUCT& cs)
    : CQtPeer<CWndPeer>(pWnd, new CQtWindow(pWnd, AfxGetWidget(pWnd->GetParent())))
{
    QWidget* w = Widget();
    if (cs.cx > 0 && cs.cy > 0)
        w->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
    if (pWnd->IsKindOf(RUNTIME_CLASS(CView)))
    {
        // The view paints every pixel itself; Qt must not clear it first.
        w->setAttribute(Qt::WA_OpaquePaintEvent);
        w->setAttribute(Qt::WA_NoSystemBackground);
        w->setFocusPolicy(Qt::StrongFocus);
    }
}

// ---------------------------------------------------------------------------------------

CQtFramePeer::CQtFramePeer(CFrameWnd* pFrame, const CREATESTRUCT& cs)
    : CQtPeer<CFramePeer>(pFrame, new CQtFrame(pFrame)), m_pFrame(pFrame)
{
    QMainWindow* pWindow = Window();
    pWindow->setWindowTitle(AfxQStr(cs.lpszName));
    // Toolbars may float; a floating toolbar is a tool window of the frame.
    pWindow->setDockOptions(QMainWindow::AnimatedDocks);
    if (cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT && cs.cx > 0 && cs.cy > 0)
        pWindow->resize(cs.cx, cs.cy);
    if (cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT)
        pWindow->move(cs.x, cs.y);
}

CQtFramePeer::~CQtFramePeer()
{
    m_shortcuts.clear();  // children of the window, which goes with the base
}

void CQtFramePeer::PlacementChanged()
{
    const CRect& rc = GetOwner()->GetPlacement();
    if (QWidget* w = Widget())
    {
        w->resize(rc.Width(), rc.Height());
        w->move(rc.left, rc.top);
    }
}

void CQtFramePeer::IconChanged()
{
    QMainWindow* pWindow = Window();
    const RES_DATA ico = AfxFindIcon(m_pFrame->m_nIDResource);
    if (pWindow != nullptr && ico.pData != nullptr)
        pWindow->setWindowIcon(AfxQtIconFromData(ico));
}

void CQtFramePeer::ClientViewChanged(CWnd* pView)
{
    if (QMainWindow* pWindow = Window())
        pWindow->setCentralWidget(AfxGetWidget(pView));
}

void CQtFramePeer::Activate()
{
    if (QWidget* w = Widget())
    {
        w->raise();
        w->activateWindow();
    }
}
