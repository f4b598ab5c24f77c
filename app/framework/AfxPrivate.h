#pragma once
// The framework's inner Qt side: the widgets behind windows, the window DC of the paint path
// and the command-UI classes of menus and toolbars. Only the framework's sources include it.

#include "AfxQt.h"

#include <QDialog>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPainter;
class QPaintEvent;
class QShortcut;
class QStatusBar;
class QToolBar;

// The property that ties a widget to its window.
inline constexpr const char* AFX_WND_PROPERTY = "afxWnd";

struct CWndPrivate
{
    explicit CWndPrivate(CWnd* pOwner) : m_pOwner(pOwner) {}
    ~CWndPrivate();

    // Attaches the window's widget (made by CreateWidget) and marks it as this window's.
    void Attach(QWidget* pWidget);
    // Detaches and deletes the widget (if Qt is still there and the widget still exists).
    void DestroyWidget();

    CWnd* m_pOwner;
    QPointer<QWidget> m_pWidget;
    CString m_strText;  // window text while there is no widget
    bool m_bEraseNeeded = false;
    bool m_bInPaint = false;

    // Paint cache: the last blit source expanded to the window's pixel format.
    QImage m_cache;
    const void* m_pCachedBits = nullptr;
    const void* m_pCachedColors = nullptr;
    std::uint64_t m_nCachedGeneration = 0;
    int m_nCachedWidth = -1;
    int m_nCachedHeight = -1;
    int m_nCachedOrientation = 0;
    std::uint64_t m_nConversions = 0;

    // Frame: menu bar actions and accelerators; status bar: its panes; toolbar: its images.
    std::vector<QShortcut*> m_shortcuts;
    std::vector<QLabel*> m_panes;
    QImage m_toolImages;
};

// The widgets of windows: they turn Qt's events into the window's messages.
class CQtWindow : public QWidget
{
public:
    CQtWindow(CWnd* pWnd, QWidget* pParent);
    CWnd* m_pWnd;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

class CQtFrame : public QMainWindow
{
public:
    explicit CQtFrame(CWnd* pWnd);
    CWnd* m_pWnd;

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

// Paints a window: WM_ERASEBKGND when an erase is pending, then WM_PAINT.
void AfxDispatchPaint(CWnd* pWnd, QWidget* pWidget);
void AfxSendSize(CWnd* pWnd, QWidget* pWidget);

// The DC of a window during a paint; BlitFrom goes through the window's paint cache.
class CQtWindowDC : public CDeviceContext
{
public:
    CQtWindowDC(CWndPrivate* pPriv, QWidget* pWidget);
    ~CQtWindowDC() override;

    bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight, int xSrc,
                  int ySrc) override;
    // Fills the rectangle with the widget's background colour.
    void Erase();

private:
    CWndPrivate* m_pPriv;
    QWidget* m_pWidget;
    QPainter* m_pPainter = nullptr;
};

// Command UI of a menu item or a toolbar button.
class CQtActionCmdUI : public CCmdUI
{
public:
    explicit CQtActionCmdUI(QAction* pAction);
    void Enable(BOOL bOn = TRUE) override;
    void SetCheck(int nCheck = 1) override;
    void SetText(LPCTSTR lpszText) override;
    // The recent-file entries in place of the place-holder (or the grayed place-holder).
    void SetRecentFiles(const std::vector<CString>& files);

    QAction* m_pAction;
};

// Builds menu nIDResource into the frame's menu bar; commands go to the frame.
void AfxBuildMenuBar(CFrameWnd* pFrame, QMainWindow* pWindow, UINT nIDResource);
// Installs accelerator table nIDResource on the frame's window.
void AfxInstallAccelerators(CFrameWnd* pFrame, CWndPrivate* pPriv, UINT nIDResource);
// Runs the update handlers of every menu item and toolbar button of the frame.
void AfxUpdateFrameCommandUI(CFrameWnd* pFrame);

QString AfxQStr(LPCTSTR psz);
CString AfxCStr(const QString& s);
// The part of a command string before / after the first "\n".
CString AfxPromptOf(LPCTSTR lpszString);
CString AfxTipOf(LPCTSTR lpszString);

// Ends the event loop (or keeps Run from starting one) once the main frame has closed.
void AfxPostQuit();
bool AfxQuitPosted();
