#pragma once
// The one interface between the framework's core and a platform. The core keeps the state
// of every window (text, size, visibility, menus, buttons, panes) and runs the logic
// (routing, documents, files); a backend shows that state and reports what the user did as
// messages. Two backends exist: Qt Widgets for the desktop program, and a headless one for
// the converter and fast tests, which shows nothing.

#include "framework/AfxDefs.h"
#include "framework/AfxString.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class CWnd;
class CFrameWnd;
class CControlBar;
class CToolBar;
class CStatusBar;
class CDialog;
struct RES_DIALOG;

// The platform side of one window. The core calls these after it has changed the
// window's state; each reads what it needs from its owner. The defaults do nothing.
class CWndPeer
{
public:
    explicit CWndPeer(CWnd* pOwner) : m_pOwner(pOwner) {}
    virtual ~CWndPeer() = default;
    CWndPeer(const CWndPeer&) = delete;
    CWndPeer& operator=(const CWndPeer&) = delete;

    CWnd* GetOwner() const { return m_pOwner; }

    virtual void TextChanged() {}
    // nCmdShow as ShowWindow took it; the owner's WS_VISIBLE style already tells the result.
    virtual void Show(int /*nCmdShow*/) {}
    // MoveWindow placed the window at the owner's GetPlacement().
    virtual void PlacementChanged() {}
    virtual void Invalidate(const RECT* /*pRect*/) {}
    virtual void SetFocus() {}

    // What the platform decides: the drawing area and the place on screen. The defaults
    // give the owner's placement.
    virtual CSize GetClientSize() const;
    virtual CRect GetWindowRect() const;

    // The DC a paint draws on, and its release; null when nothing can be drawn on.
    virtual CDeviceContext* BeginPaint() { return nullptr; }
    virtual void EndPaint(CDeviceContext* /*pDC*/) {}
    // The default erase of WM_ERASEBKGND: the window's background colour.
    virtual void EraseBackground(CDeviceContext* /*pDC*/) {}

private:
    CWnd* m_pOwner;
};

class CFramePeer : public CWndPeer
{
public:
    using CWndPeer::CWndPeer;
    // The items or states of pop-up nPopup changed (AFX_ALL_POPUPS: the whole menu bar).
    virtual void MenuChanged(std::size_t /*nPopup*/) {}
    virtual void AcceleratorsChanged() {}
    virtual void IconChanged() {}
    // pView fills the frame's client area between the bars.
    virtual void ClientViewChanged(CWnd* /*pView*/) {}
    // nDockBarID is AFX_IDW_DOCKBAR_* or 0 for the side the bar's style names.
    virtual void DockControlBar(CControlBar* /*pBar*/, UINT /*nDockBarID*/) {}
    virtual void DockingChanged() {}
    virtual void Activate() {}
};
constexpr std::size_t AFX_ALL_POPUPS = static_cast<std::size_t>(-1);

class CToolBarPeer : public CWndPeer
{
public:
    using CWndPeer::CWndPeer;
    virtual void ButtonsChanged() {}
    virtual void ButtonStatesChanged() {}
    virtual void DockingChanged() {}
};

class CStatusBarPeer : public CWndPeer
{
public:
    using CWndPeer::CWndPeer;
    virtual void PanesChanged() {}
    virtual void PaneTextChanged(int /*nIndex*/) {}
};

class CDialogPeer : public CWndPeer
{
public:
    using CWndPeer::CWndPeer;
    // Runs the dialog until EndDialog ends it.
    virtual void RunModal() {}
    virtual void EndModal(INT_PTR /*nResult*/) {}
};

class IAfxPlatform
{
public:
    virtual ~IAfxPlatform() = default;

    // Start and end of the program's use of the platform (AfxWinInit, AfxWinTerm).
    virtual BOOL Init(int& argc, char** argv) = 0;
    virtual void Term() = 0;

    // Windows. Each peer is created once the core has set the window's parent, id and
    // style; null means the platform cannot make the window.
    virtual std::unique_ptr<CWndPeer> CreateWindowPeer(CWnd* pWnd, const CREATESTRUCT& cs) = 0;
    virtual std::unique_ptr<CFramePeer> CreateFramePeer(CFrameWnd* pFrame, const CREATESTRUCT& cs) = 0;
    virtual std::unique_ptr<CToolBarPeer> CreateToolBarPeer(CToolBar* pBar, const CREATESTRUCT& cs) = 0;
    virtual std::unique_ptr<CStatusBarPeer> CreateStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT& cs) = 0;
    virtual std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog* pDialog, const RES_DIALOG& dlgTemplate) = 0;

    // A box with the text and one OK button; returns the button pressed.
    virtual int MessageBox(CWnd* pOwner, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) = 0;
    // Asks for a file name (all files, no default extension); FALSE when cancelled.
    virtual BOOL PromptFileName(CWnd* pOwner, CString& rFileName, BOOL bOpenFileDialog) = 0;
    // Shows the program's help page (AfxGetHelpPage).
    virtual void ShowHelp(CWnd* pMainWnd, UINT nCmd) = 0;

    // The event loop: runs until QuitEventLoop. Post runs fnTask from the loop later.
    virtual int RunEventLoop() = 0;
    virtual void QuitEventLoop() = 0;
    virtual BOOL Post(std::function<void()> fnTask) = 0;

    // Where the recent-file list lives between runs; strProfile names the program's profile.
    virtual std::vector<CString> LoadRecentFiles(const CString& strProfile, UINT nMax) = 0;
    virtual void SaveRecentFiles(const CString& strProfile, const std::vector<CString>& files) = 0;

    virtual int GetSystemMetrics(int nIndex) = 0;
};

// The platform in use: the one set with AfxSetPlatform, else the linked backend's own.
IAfxPlatform& AfxGetPlatform();
void AfxSetPlatform(IAfxPlatform* pPlatform);
// Defined by the backend a program links (framework/qt or framework/headless).
IAfxPlatform& AfxDefaultPlatform();
