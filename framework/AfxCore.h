#pragma once
// Objects with runtime class records, and command targets with message maps.

#include "framework/AfxDefs.h"
#include "framework/AfxString.h"

class CObject;
class CArchive;
class CCmdTarget;
class CCmdUI;
class CControlBar;
class CDC;
class CMenuPopup;

// One record per class: its name, its base, and how to create one (null when abstract).
struct CRuntimeClass
{
    LPCTSTR m_lpszClassName;
    int m_nObjectSize;
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    // The record registered under this exact name, or null.
    static CRuntimeClass* FromName(LPCTSTR lpszClassName);
    static CObject* CreateObject(LPCTSTR lpszClassName);
};

// Adds a record to the by-name registry; one static object per IMPLEMENT_ macro.
struct AFX_CLASSINIT
{
    explicit AFX_CLASSINIT(CRuntimeClass* pNewClass);
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                 \
public:                                             \
    static CRuntimeClass class##class_name;         \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, pfnNew)                   \
    CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), pfnNew, \
                                                   RUNTIME_CLASS(base_class_name)};       \
    static const AFX_CLASSINIT afx_init_##class_name(&class_name::class##class_name);    \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                    \
    CObject* class_name::CreateObject() { return new class_name; }         \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, class_name::CreateObject)

class CObject
{
public:
    static CRuntimeClass classCObject;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;

    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    virtual void Serialize(CArchive& ar);

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

// ---------------------------------------------------------------------------------------
// Message maps. An entry binds a message (or a command id range) to a thunk that calls the
// handler with the right signature; each map links to its base class's map.

using AFX_PTHUNK = LRESULT (*)(CCmdTarget* pTarget, UINT nID, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;  // WM_*; WM_COMMAND for commands
    int nCode;      // CN_COMMAND or CN_UPDATE_COMMAND_UI for commands
    UINT nID;       // first command id
    UINT nLastID;   // last command id (inclusive)
    AFX_PTHUNK pfnThunk;  // null ends the table
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Thunks, one per handler signature. T is the class whose map holds the entry; pfn may name
// a member of one of its bases.
template <class T, auto pfn>
LRESULT AfxThunkCommand(CCmdTarget* p, UINT, WPARAM, LPARAM)
{
    (static_cast<T*>(p)->*pfn)();
    return 1;
}
template <class T, auto pfn>
LRESULT AfxThunkCommandEx(CCmdTarget* p, UINT nID, WPARAM, LPARAM)
{
    return (static_cast<T*>(p)->*pfn)(nID) ? 1 : 0;
}
template <class T, auto pfn>
LRESULT AfxThunkCommandRange(CCmdTarget* p, UINT nID, WPARAM, LPARAM)
{
    (static_cast<T*>(p)->*pfn)(nID);
    return 1;
}
template <class T, auto pfn>
LRESULT AfxThunkUpdateUI(CCmdTarget* p, UINT, WPARAM, LPARAM lParam)
{
    (static_cast<T*>(p)->*pfn)(reinterpret_cast<CCmdUI*>(lParam));
    return 1;
}
template <class T, auto pfn>
LRESULT AfxThunkSize(CCmdTarget* p, UINT, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T*>(p)->*pfn)(static_cast<UINT>(wParam), LOWORD(static_cast<DWORD_PTR>(lParam)),
                               HIWORD(static_cast<DWORD_PTR>(lParam)));
    return 0;
}
template <class T, auto pfn>
LRESULT AfxThunkCreate(CCmdTarget* p, UINT, WPARAM, LPARAM lParam)
{
    return (static_cast<T*>(p)->*pfn)(reinterpret_cast<CREATESTRUCT*>(lParam));
}
template <class T, auto pfn>
LRESULT AfxThunkEraseBkgnd(CCmdTarget* p, UINT, WPARAM wParam, LPARAM)
{
    return (static_cast<T*>(p)->*pfn)(reinterpret_cast<CDC*>(wParam));
}
template <class T, auto pfn>
LRESULT AfxThunkVoid(CCmdTarget* p, UINT, WPARAM, LPARAM)
{
    (static_cast<T*>(p)->*pfn)();
    return 0;
}

#define DECLARE_MESSAGE_MAP()                           \
protected:                                              \
    static const AFX_MSGMAP* GetThisMessageMap();       \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                             \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }      \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                        \
    {                                                                                      \
        using ThisClass [[maybe_unused]] = theClass;                                                \
        using TheBaseClass = baseClass;                                                    \
        static const AFX_MSGMAP_ENTRY s_entries[] = {

#define END_MESSAGE_MAP()                                                         \
    {0, 0, 0, 0, nullptr}                                                         \
    }                                                                             \
    ;                                                                             \
    static const AFX_MSGMAP s_map = {&TheBaseClass::GetThisMessageMap, &s_entries[0]}; \
    return &s_map;                                                                \
    }

#define ON_COMMAND(id, memberFn) \
    {WM_COMMAND, CN_COMMAND, (id), (id), &AfxThunkCommand<ThisClass, &ThisClass::memberFn>},
// The handler takes the id and returns BOOL: FALSE lets the command go on to the next target.
#define ON_COMMAND_EX(id, memberFn) \
    {WM_COMMAND, CN_COMMAND, (id), (id), &AfxThunkCommandEx<ThisClass, &ThisClass::memberFn>},
#define ON_COMMAND_RANGE(id, idLast, memberFn) \
    {WM_COMMAND, CN_COMMAND, (id), (idLast), &AfxThunkCommandRange<ThisClass, &ThisClass::memberFn>},
#define ON_UPDATE_COMMAND_UI(id, memberFn)     \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (id), (id), \
     &AfxThunkUpdateUI<ThisClass, &ThisClass::memberFn>},
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, memberFn) \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (id), (idLast),   \
     &AfxThunkUpdateUI<ThisClass, &ThisClass::memberFn>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, 0, &AfxThunkSize<ThisClass, &ThisClass::OnSize>},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, 0, &AfxThunkCreate<ThisClass, &ThisClass::OnCreate>},
#define ON_WM_ERASEBKGND() \
    {WM_ERASEBKGND, 0, 0, 0, &AfxThunkEraseBkgnd<ThisClass, &ThisClass::OnEraseBkgnd>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, &AfxThunkVoid<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, &AfxThunkVoid<ThisClass, &ThisClass::OnClose>},

class CCmdTarget : public CObject
{
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget() = default;

    // Looks the command up in this object's map chain and calls the handler: nCode is
    // CN_COMMAND or CN_UPDATE_COMMAND_UI (pExtra is the CCmdUI*). A non-null pExtra with
    // CN_COMMAND, or a null one with CN_UPDATE_COMMAND_UI, only asks whether a handler exists.
    // Derived classes route on to other targets (view -> document -> frame -> application).
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra);

    // The first entry for a message (not a command) in the map chain, or null.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage) const;

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// What an ON_UPDATE_COMMAND_UI handler changes: a menu item or a toolbar button.
class CCmdUI
{
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;
    CMenuPopup* m_pMenu = nullptr;     // the pop-up of a menu item, else null
    BOOL m_bEnableChanged = FALSE;
    BOOL m_bContinueRouting = FALSE;

    virtual ~CCmdUI() = default;
    virtual void Enable(BOOL bOn = TRUE);
    virtual void SetCheck(int nCheck = 1);
    // A menu item takes the text; a toolbar button has none to change.
    virtual void SetText(LPCTSTR lpszText);
    void ContinueRouting() { m_bContinueRouting = TRUE; }

    // Runs the update handler through pTarget's routing; when none exists, disables the item
    // if bDisableIfNoHandler and no command handler exists either. TRUE when a handler ran.
    BOOL DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);

    // What the handlers asked for; the menu and toolbar apply it after the update.
    BOOL m_bEnabled = TRUE;
    int m_nCheck = -1;  // -1: never set
};
