#pragma once
// Windows as state and behaviour: the generic window, the view, the frame and device
// contexts. A window keeps its text, place, style and visibility here; its peer (see
// AfxPlatform.h) shows it on the platform and reports the user's actions as messages.

#include "framework/AfxCore.h"
#include "framework/AfxMenu.h"
#include "framework/AfxString.h"

#include <memory>
#include <vector>

class CDocument;
class CDocTemplate;
class CFrameWnd;
class CView;
class CControlBar;
class CWndPeer;
class CFramePeer;

// A device context: HDC is the CDeviceContext of AfxTypes.h.
class CDC
{
public:
    CDC() = default;
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }

    HDC m_hDC = nullptr;
};

// The DC of a window during its paint: blits land in the window, unscaled. Where the
// platform draws nothing, blits go nowhere.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(class CWnd* pWnd);
    ~CPaintDC() override;

protected:
    class CWnd* m_pWnd;
};

// What the frame passes on while it creates its view.
struct CCreateContext
{
    CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
};

class CWnd : public CCmdTarget
{
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;

    // Creates the window: PreCreateWindow, the platform's peer, then WM_CREATE; FALSE (and
    // no window) when any of them refuses. A child of a frame with id AFX_IDW_PANE_FIRST
    // becomes its client area. The class name is not used: the peer follows the C++ class.
    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID,
                        CCreateContext* pContext = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL DestroyWindow();
    BOOL IsWindow() const { return m_pPeer != nullptr; }

    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    // Where MoveWindow or creation put the window (the platform may have moved it since).
    const CRect& GetPlacement() const { return m_rcPlacement; }
    // Schedules a paint; with bErase the paint first sends WM_ERASEBKGND.
    void Invalidate(BOOL bErase = TRUE);
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    virtual void SetWindowText(LPCTSTR lpszString);
    virtual void GetWindowText(CString& rString) const;
    CString GetWindowText() const;
    // Shows or hides (WS_VISIBLE follows); returns whether the window was visible before.
    BOOL ShowWindow(int nCmdShow);
    // Visible itself and every parent.
    BOOL IsWindowVisible() const;
    CWnd* GetParent() const { return m_pParentWnd; }
    CFrameWnd* GetParentFrame() const;
    UINT GetDlgCtrlID() const { return m_nID; }
    DWORD GetStyle() const { return m_dwStyle; }

    // Runs the message now through WindowProc. WM_COMMAND carries the command id in
    // LOWORD(wParam); WM_SIZE cx = LOWORD(lParam), cy = HIWORD(lParam).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Queues the message for the event loop; dropped if the window is gone by then.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default handling of the message being dispatched.
    LRESULT Default();

    // Handlers; a class's map names the ones it wants (ON_WM_SIZE, ...).
    virtual void OnSize(UINT nType, int cx, int cy);
    virtual int OnCreate(LPCREATESTRUCT lpCreateStruct);
    virtual BOOL OnEraseBkgnd(CDC* pDC);
    virtual void OnPaint();
    virtual void OnClose();
    // Help/Index: asks the application's help (CWinApp::WinHelp with HELP_INDEX).
    virtual void OnHelpIndex();

    // Called by the platform when the window must be painted: WM_ERASEBKGND when an erase
    // is pending, then WM_PAINT.
    void DispatchPaint();
    CWndPeer* GetPeer() const { return m_pPeer.get(); }

protected:
    // The platform's peer for this kind of window; frames, bars and dialogs make their own.
    virtual std::unique_ptr<CWndPeer> CreatePeer(const CREATESTRUCT& cs);
    // Drops the peer (the platform's window goes with it).
    void DestroyPeer();

    std::unique_ptr<CWndPeer> m_pPeer;
    CWnd* m_pParentWnd = nullptr;
    UINT m_nID = 0;
    DWORD m_dwStyle = 0;
    CString m_strText;
    CRect m_rcPlacement;
    BOOL m_bEraseNeeded = FALSE;

    struct CurrentMessage
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage m_msgCur{0, 0, 0};

    DECLARE_MESSAGE_MAP()
};

class CView : public CWnd
{
    DECLARE_DYNAMIC(CView)
public:
    CView();
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    virtual void OnDraw(CDC* pDC) = 0;
    virtual void OnInitialUpdate();
    // Base: invalidates the whole view.
    virtual void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint);

    // The view, then its document.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;

    // Adds the view to the document of the creation context.
    int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
    // Paints through OnDraw with a CPaintDC.
    void OnPaint() override;

protected:
    CDocument* m_pDocument = nullptr;
    friend class CDocument;

    DECLARE_MESSAGE_MAP()
};

class CFrameWnd : public CWnd
{
    DECLARE_DYNCREATE(CFrameWnd)
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the frame from resource nIDResource: title (document string field 1), menu
    // bar, accelerators and icon, then PreCreateWindow and WM_CREATE. The frame gets the
    // size PreCreateWindow left in cs.cx / cs.cy (the whole window, menu bar included).
    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    // Creates the view of the context (OnCreateClient).
    int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
    virtual BOOL OnCreateClient(LPCREATESTRUCT lpcs, CCreateContext* pContext);
    CWnd* CreateView(CCreateContext* pContext, UINT nID = AFX_IDW_PANE_FIRST);

    CView* GetActiveView() const { return m_pViewActive; }
    void SetActiveView(CView* pViewNew, BOOL bNotify = TRUE);
    virtual CDocument* GetActiveDocument();

    // Docking: a bar docks on the sides both its own and the frame's docking style allow.
    void EnableDocking(DWORD dwDockStyle);
    DWORD GetDockStyle() const { return m_dwDockStyle; }
    void DockControlBar(CControlBar* pBar, UINT nDockBarID = 0, LPCRECT lpRect = nullptr);
    void ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL bDelay);
    CControlBar* GetControlBar(UINT nID) const;

    // The document's status text; the default shows it in the status bar's message pane.
    virtual void SetStatusText(LPCTSTR lpszText);
    // The message pane (pane 0) of the status bar: a text, or the prompt of a command id.
    void SetMessageText(LPCTSTR lpszText);
    void SetMessageText(UINT nID);
    // The prompt of a command: its string up to the first "\n".
    virtual void GetMessageString(UINT nID, CString& rMessage) const;

    virtual void ActivateFrame(int nCmdShow = -1);
    virtual void InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible);
    virtual void OnUpdateFrameTitle(BOOL bAddToTitle);

    // The menu bar and the accelerator table of the frame's resource.
    const std::vector<CMenuPopup>& GetMenus() const { return m_menus; }
    const std::vector<RES_ACCEL>& GetAccelerators() const { return m_accelerators; }
    // Runs the update handlers of pop-up nPopup's items (before it opens).
    void OnInitMenuPopup(std::size_t nPopup);
    // Runs every update handler of the menus and bars now.
    void UpdateCommandUI();
    // A menu item, toolbar button or key chose the command: runs it and brings the menus
    // and bars up to date.
    void RunCommand(UINT nID);

    // The active view (and its document), the frame, then the application.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra) override;

    void OnClose() override;
    BOOL DestroyWindow() override;
    BOOL OnBarCheck(UINT nID);
    void OnUpdateControlBarMenu(CCmdUI* pCmdUI);

    CString m_strTitle;
    UINT m_nIDResource = 0;

protected:
    std::unique_ptr<CWndPeer> CreatePeer(const CREATESTRUCT& cs) override;
    CFramePeer* FramePeer() const;
    void UpdateMenuItems(CMenuPopup& menu);

    CView* m_pViewActive = nullptr;
    std::vector<CControlBar*> m_listControlBars;
    std::vector<CView*> m_ownedViews;  // created by CreateView, deleted with the frame
    std::vector<CMenuPopup> m_menus;
    std::vector<RES_ACCEL> m_accelerators;
    DWORD m_dwDockStyle = 0;
    friend class CControlBar;

    DECLARE_MESSAGE_MAP()
};

// The platform's metrics. A frame PreCreateWindow sizes to 2*SM_CXFRAME + W by
// 2*SM_CYFRAME + SM_CYMENU + SM_CYCAPTION + H gets a client area of W x H below a
// one-line menu bar.
int GetSystemMetrics(int nIndex);
