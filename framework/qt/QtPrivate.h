#pragma once
// The Qt backend's inner side: the peers that mirror the core's windows into widgets, the
// widgets that turn Qt's events into the windows' messages, and the window DC of the
// paint path. Only the backend's sources include it.

#include "framework/AfxPlatform.h"
#include "framework/qt/AfxQt.h"

#include <QDialog>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPainter;
class QShortcut;
class QToolBar;

// The property that ties a widget to its window.
inline constexpr const char* AFX_WND_PROPERTY = "afxWnd";

QString AfxQStr(LPCTSTR psz);
CString AfxCStr(const QString& s);
// An icon with every image of an ICO file compiled into the program.
class QIcon AfxQtIconFromData(const RES_DATA& ico);

// What every Qt peer keeps: its widget and the paint cache of the window's pixels.
struct CQtWindowState
{
    virtual ~CQtWindowState() = default;

    QPointer<QWidget> m_pWidget;
    bool m_bInPaint = false;

    // The last blit source expanded to the window's pixel format.
    QImage m_cache;
    const void* m_pCachedBits = nullptr;
    const void* m_pCachedColors = nullptr;
    std::uint64_t m_nCachedGeneration = 0;
    int m_nCachedWidth = -1;
    int m_nCachedHeight = -1;
    int m_nCachedOrientation = 0;
    std::uint64_t m_nConversions = 0;
};

// The behaviour every Qt peer shares, on its state.
void AfxQtAttach(CQtWindowState& state, CWnd* pOwner, QWidget* pWidget);
void AfxQtDestroyWidget(CQtWindowState& state);
void AfxQtShow(CQtWindowState& state, int nCmdShow);
CDeviceContext* AfxQtBeginPaint(CQtWindowState& state);
void AfxQtEndPaint(CDeviceContext* pDC);
void AfxQtErase(CDeviceContext* pDC);

template <class TPeer>
class CQtPeer : public TPeer, public CQtWindowState
{
public:
    CQtPeer(CWnd* pOwner, QWidget* pWidget) : TPeer(pOwner) { AfxQtAttach(*this, pOwner, pWidget); }
    ~CQtPeer() override { AfxQtDestroyWidget(*this); }

    QWidget* Widget() const { return m_pWidget.data(); }

    void TextChanged() override
    {
        if (m_pWidget)
            m_pWidget->setWindowTitle(AfxQStr(this->GetOwner()->GetWindowText()));
    }
    void Show(int nCmdShow) override { AfxQtShow(*this, nCmdShow); }
    void PlacementChanged() override
    {
        const CRect& rc = this->GetOwner()->GetPlacement();
        if (m_pWidget)
            m_pWidget->setGeometry(rc.left, rc.top, rc.Width(), rc.Height());
    }
    void Invalidate(const RECT* pRect) override
    {
        if (!m_pWidget)
            return;
        if (pRect == nullptr)
            m_pWidget->update();
        else
            m_pWidget->update(QRect(pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top));
    }
    void SetFocus() override
    {
        if (m_pWidget)
            m_pWidget->setFocus();
    }
    CSize GetClientSize() const override
    {
        return m_pWidget ? CSize(m_pWidget->width(), m_pWidget->height()) : CSize();
    }
    CRect GetWindowRect() const override
    {
        if (!m_pWidget)
            return CRect();
        const QRect g = m_pWidget->frameGeometry();
        return CRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height());
    }
    CDeviceContext* BeginPaint() override { return AfxQtBeginPaint(*this); }
    void EndPaint(CDeviceContext* pDC) override { AfxQtEndPaint(pDC); }
    void EraseBackground(CDeviceContext* pDC) override { AfxQtErase(pDC); }
};

// The widgets of windows: they turn Qt's events into the window's messages.
class CQtWindow : public QWidget
{
public:
    CQtWindow(CWnd* pWnd, QWidget* pParent);
    CWnd* m_pWnd;
    CQtWindowState* m_pState = nullptr;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

class CQtFrame : public QMainWindow
{
public:
    explicit CQtFrame(CWnd* pWnd);
    CWnd* m_pWnd;

    // The program has no menu of its own for bars: the View menu switches them.
    QMenu* createPopupMenu() override { return nullptr; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
};

class CQtDialog : public QDialog
{
public:
    CQtDialog(CWnd* pWnd, QWidget* pParent);
    CWnd* m_pWnd;

    void accept() override;
    void reject() override;
};

// The side a bar's CBRS_ALIGN_* style names (the top when it names none).
Qt::ToolBarArea AfxQtAreaFromStyle(DWORD dwBarStyle);

// Sends WM_SIZE with the widget's size and state.
void AfxQtSendSize(CWnd* pWnd, QWidget* pWidget);

// The DC of a window during a paint; BlitFrom goes through the window's paint cache.
class CQtWindowDC : public CDeviceContext
{
public:
    CQtWindowDC(CQtWindowState* pState, QWidget* pWidget);
    ~CQtWindowDC() override;

    bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight, int xSrc,
                  int ySrc) override;
    // Fills the window with its background colour.
    void Erase();

private:
    CQtWindowState* m_pState;
    QWidget* m_pWidget;
    QPainter* m_pPainter = nullptr;
};

class CQtWndPeer : public CQtPeer<CWndPeer>
{
public:
    CQtWndPeer(CWnd* pWnd, const CREATESTRUCT& cs);
};

class CQtFramePeer : public CQtPeer<CFramePeer>
{
public:
    CQtFramePeer(CFrameWnd* pFrame, const CREATESTRUCT& cs);
    ~CQtFramePeer() override;

    QMainWindow* Window() const { return static_cast<QMainWindow*>(Widget()); }
    void PlacementChanged() override;
    void MenuChanged(std::size_t nPopup) override;
    void AcceleratorsChanged() override;
    void IconChanged() override;
    void ClientViewChanged(CWnd* pView) override;
    void DockControlBar(CControlBar* pBar, UINT nDockBarID) override;
    void Activate() override;

private:
    struct Popup
    {
        QPointer<QMenu> pMenu;
        std::map<std::uint64_t, QPointer<QAction>> actions;  // by the core item's key
    };
    void BuildMenuBar();
    void SyncPopup(std::size_t nPopup);

    CFrameWnd* m_pFrame;
    QPointer<QMenuBar> m_pMenuBar;
    std::vector<Popup> m_popups;
    std::vector<QShortcut*> m_shortcuts;
};

class CQtToolBarPeer : public CQtPeer<CToolBarPeer>
{
public:
    CQtToolBarPeer(CToolBar* pBar, const CREATESTRUCT& cs);

    QToolBar* Bar() const;
    void ButtonsChanged() override;
    void ButtonStatesChanged() override;
    void DockingChanged() override;

private:
    CToolBar* m_pBar;
    std::vector<QPointer<QAction>> m_actions;  // one per button, null for gaps
};

class CQtStatusBarPeer : public CQtPeer<CStatusBarPeer>
{
public:
    CQtStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT& cs);

    void PanesChanged() override;
    void PaneTextChanged(int nIndex) override;

private:
    CStatusBar* m_pBar;
    std::vector<QPointer<QLabel>> m_panes;
};

class CQtDialogPeer : public CQtPeer<CDialogPeer>
{
public:
    CQtDialogPeer(CDialog* pDialog, const RES_DIALOG& dlgTemplate);

    void RunModal() override;
    void EndModal(INT_PTR nResult) override;
};
