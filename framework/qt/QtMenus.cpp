// The frame's menu bar and accelerators, mirrored from the core's menus.

#include "framework/qt/QtPrivate.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

void CQtFramePeer::BuildMenuBar()
{
    QMainWindow* pWindow = Window();
    if (pWindow == nullptr || m_pMenuBar)
        return;
    const std::vector<CMenuPopup>& menus = m_pFrame->GetMenus();
    if (menus.empty())
        return;
    auto* pBar = new QMenuBar(pWindow);
    CFrameWnd* pFrame = m_pFrame;
    for (std::size_t n = 0; n < menus.size(); ++n)
    {
        QMenu* pMenu = pBar->addMenu(AfxQStr(menus[n].m_strTitle));
        QObject::connect(pMenu, &QMenu::aboutToShow, pMenu, [pFrame, n] { pFrame->OnInitMenuPopup(n); });
        QObject::connect(pMenu, &QMenu::hovered, pMenu, [pFrame](QAction* a) {
            if (a->data().isValid())
                pFrame->SetMessageText(a->data().toUInt());
            else
                pFrame->SetMessageText("");
        });
        QObject::connect(pMenu, &QMenu::aboutToHide, pMenu,
                         [pFrame] { pFrame->SetMessageText(AFX_IDS_IDLEMESSAGE); });
        m_popups.push_back(Popup{pMenu, {}});
    }
    pWindow->setMenuBar(pBar);
    m_pMenuBar = pBar;
}

void CQtFramePeer::SyncPopup(std::size_t nPopup)
{
    const std::vector<CMenuPopup>& menus = m_pFrame->GetMenus();
    if (nPopup >= menus.size() || nPopup >= m_popups.size() || !m_popups[nPopup].pMenu)
        return;
    QMenu* pMenu = m_popups[nPopup].pMenu;
    auto& actions = m_popups[nPopup].actions;
    const CMenuPopup& menu = menus[nPopup];

    // One action per core item, kept while the item exists, so a QAction stays the same
    // object across updates; items that went take their actions with them.
    std::vector<QAction*> wanted;
    std::map<std::uint64_t, QPointer<QAction>> kept;
    for (const CMenuItem& item : menu.m_items)
    {
        QAction* a = nullptr;
        if (auto it = actions.find(item.nKey); it != actions.end() && it->second)
            a = it->second;
        if (a == nullptr)
        {
            a = new QAction(pMenu);
            if (item.bSeparator)
                a->setSeparator(true);
            else
            {
                // The text after "\t" is shown as the shortcut label only: the accelerator
                // table owns the keys, so nothing fires twice.
                a->setShortcutContext(Qt::WidgetShortcut);
                CFrameWnd* pFrame = m_pFrame;
                // The action itself is the context: a QMenu cuts every connection from an
                // action to the menu when the action leaves it, the command's included.
                QObject::connect(a, &QAction::triggered, a, [pFrame, a] { pFrame->RunCommand(a->data().toUInt()); });
            }
        }
        if (!item.bSeparator)
        {
            a->setText(AfxQStr(item.strText));
            a->setData(item.nID);
            a->setEnabled(item.bEnabled != FALSE);
            a->setCheckable(item.nCheck >= 0);
            if (item.nCheck >= 0)
                a->setChecked(item.nCheck != 0);
        }
        a->setVisible(item.bVisible != FALSE);
        kept[item.nKey] = a;
        wanted.push_back(a);
    }
    for (auto& [nKey, pAction] : actions)
        if (pAction && kept.find(nKey) == kept.end())
        {
            pMenu->removeAction(pAction);
            pAction->deleteLater();
        }
    actions = std::move(kept);

    // New actions go in at their places; an action already in place is never taken out and put
    // back, which would also cost it the menu's own connections for a moment.
    for (std::size_t i = 0; i < wanted.size(); ++i)
    {
        const QList<QAction*> current = pMenu->actions();
        const auto n = static_cast<qsizetype>(i);
        if (n < current.size() && current[n] == wanted[i])
            continue;
        pMenu->insertAction(n < current.size() ? current[n] : nullptr, wanted[i]);
    }
}

void CQtFramePeer::MenuChanged(std::size_t nPopup)
{
    BuildMenuBar();
    if (nPopup != AFX_ALL_POPUPS)
    {
        SyncPopup(nPopup);
        return;
    }
    for (std::size_t n = 0; n < m_popups.size(); ++n)
        SyncPopup(n);
}

namespace
{
int KeyFromVirtualKey(unsigned vk)
{
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<int>(vk);  // Qt's letter and digit keys share the codes
    if (vk >= VK_F1 && vk <= VK_F24)
        return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    switch (vk)
    {
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_SPACE: return Qt::Key_Space;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_END: return Qt::Key_End;
    case VK_HOME: return Qt::Key_Home;
    case VK_LEFT: return Qt::Key_Left;
    case VK_UP: return Qt::Key_Up;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_DOWN: return Qt::Key_Down;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_DELETE: return Qt::Key_Delete;
    default: return 0;
    }
}
}  // namespace

void CQtFramePeer::AcceleratorsChanged()
{
    QWidget* pWindow = Widget();
    if (pWindow == nullptr)
        return;
    for (QShortcut* p : m_shortcuts)
        delete p;
    m_shortcuts.clear();
    for (const RES_ACCEL& acc : m_pFrame->GetAccelerators())
    {
        // Only virtual-key entries: character entries do not occur in this program.
        if (!(acc.fVirt & RES_FVIRTKEY))
            continue;
        const int key = KeyFromVirtualKey(acc.key);
        if (key == 0)
            continue;
        int mods = 0;
        if (acc.fVirt & RES_FCONTROL)
            mods |= Qt::ControlModifier;
        if (acc.fVirt & RES_FSHIFT)
            mods |= Qt::ShiftModifier;
        if (acc.fVirt & RES_FALT)
            mods |= Qt::AltModifier;
        auto* pShortcut = new QShortcut(QKeySequence(key | mods), pWindow);
        pShortcut->setContext(Qt::WindowShortcut);
        pShortcut->setAutoRepeat(false);
        const UINT nID = acc.cmd;
        CFrameWnd* pFrame = m_pFrame;
        // A key without a handler is swallowed and does nothing.
        QObject::connect(pShortcut, &QShortcut::activated, pWindow, [pFrame, nID] { pFrame->RunCommand(nID); });
        m_shortcuts.push_back(pShortcut);
    }
}

// ---------------------------------------------------------------------------------------

namespace
{
Qt::ToolBarArea AreaFromDockBarId(UINT nDockBarID, DWORD dwBarStyle)
{
    switch (nDockBarID)
    {
    case AFX_IDW_DOCKBAR_LEFT: return Qt::LeftToolBarArea;
    case AFX_IDW_DOCKBAR_RIGHT: return Qt::RightToolBarArea;
    case AFX_IDW_DOCKBAR_BOTTOM: return Qt::BottomToolBarArea;
    case AFX_IDW_DOCKBAR_TOP: return Qt::TopToolBarArea;
    default: return AfxQtAreaFromStyle(dwBarStyle);
    }
}
}  // namespace

Qt::ToolBarArea AfxQtAreaFromStyle(DWORD dwBarStyle)
{
    if (dwBarStyle & CBRS_ALIGN_TOP)
        return Qt::TopToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_BOTTOM)
        return Qt::BottomToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_LEFT)
        return Qt::LeftToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_RIGHT)
        return Qt::RightToolBarArea;
    return Qt::TopToolBarArea;
}

void CQtFramePeer::DockControlBar(CControlBar* pBar, UINT nDockBarID)
{
    QMainWindow* pWindow = Window();
    auto* pToolBar = qobject_cast<QToolBar*>(AfxGetWidget(pBar));
    if (pWindow == nullptr || pToolBar == nullptr)
        return;
    const bool bVisible = !pToolBar->isHidden();
    pWindow->addToolBar(AreaFromDockBarId(nDockBarID, pBar->GetBarStyle()), pToolBar);
    pToolBar->setVisible(bVisible);
}
