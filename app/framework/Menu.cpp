#include "AfxPrivate.h"

#include "AfxApp.h"
#include "ResourceTables.h"

#include <QAction>
#include <QDir>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

// Properties of the actions the framework makes.
static constexpr const char* AFX_MRU_PROPERTY = "afxRecentFile";

CQtActionCmdUI::CQtActionCmdUI(QAction* pAction) : m_pAction(pAction)
{
    m_nID = pAction->data().toUInt();
}

void CQtActionCmdUI::Enable(BOOL bOn)
{
    CCmdUI::Enable(bOn);
    m_pAction->setEnabled(bOn != FALSE);
}

void CQtActionCmdUI::SetCheck(int nCheck)
{
    CCmdUI::SetCheck(nCheck);
    m_pAction->setCheckable(true);
    m_pAction->setChecked(nCheck != 0);
}

void CQtActionCmdUI::SetText(LPCTSTR lpszText)
{
    CCmdUI::SetText(lpszText);
    m_pAction->setText(AfxQStr(lpszText));
}

void CQtActionCmdUI::SetRecentFiles(const std::vector<CString>& files)
{
    m_bEnableChanged = TRUE;
    auto* pMenu = qobject_cast<QMenu*>(m_pAction->parent());
    if (pMenu == nullptr)
    {
        m_pAction->setEnabled(!files.empty());
        return;
    }
    for (QAction* a : pMenu->actions())
        if (a->property(AFX_MRU_PROPERTY).toBool())
        {
            pMenu->removeAction(a);
            a->deleteLater();
        }
    // The grayed place-holder shows while the list is empty.
    m_pAction->setVisible(files.empty());
    m_pAction->setEnabled(false);

    const QString home = QDir::homePath();
    for (std::size_t i = 0; i < files.size(); ++i)
    {
        QString path = AfxQStr(files[i]);
        if (!home.isEmpty() && home != QLatin1String("/") && path.startsWith(home + QLatin1Char('/')))
            path = QLatin1Char('~') + path.mid(home.size());
        path.replace(QLatin1Char('&'), QLatin1String("&&"));
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), pMenu);
        a->setData(static_cast<uint>(ID_FILE_MRU_FILE1 + i));
        a->setProperty(AFX_MRU_PROPERTY, true);
        pMenu->insertAction(m_pAction, a);
        // Commands and prompts of these entries work like every other item's.
        QObject::connect(a, &QAction::triggered, pMenu, [pMenu, a] {
            if (auto* pFrame = dynamic_cast<CFrameWnd*>(AfxWndFromWidget(pMenu->window())))
                pFrame->SendMessage(WM_COMMAND, a->data().toUInt());
        });
    }
}

// ---------------------------------------------------------------------------------------

static void RunCommand(CFrameWnd* pFrame, UINT nID)
{
    pFrame->SendMessage(WM_COMMAND, nID);
    // The command may have closed the frame's document or the frame itself.
    if (pFrame->IsWindow())
        pFrame->UpdateCommandUI();
}

static void UpdateMenu(CFrameWnd* pFrame, QMenu* pMenu)
{
    for (QAction* a : pMenu->actions())
    {
        if (a->isSeparator() || !a->data().isValid() || a->property(AFX_MRU_PROPERTY).toBool())
            continue;
        CQtActionCmdUI cmdUI(a);
        // Items grayed in the resource stay grayed unless a handler says otherwise.
        const bool bGrayed = a->property("afxGrayed").toBool();
        cmdUI.DoUpdate(pFrame, !bGrayed);
    }
}

void AfxBuildMenuBar(CFrameWnd* pFrame, QMainWindow* pWindow, UINT nIDResource)
{
    std::size_t nCount = 0;
    const RES_MENUITEM* pItems = ResFindMenu(nIDResource, &nCount);
    if (pItems == nullptr)
        return;
    auto* pBar = new QMenuBar(pWindow);
    QMenu* pMenu = nullptr;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const RES_MENUITEM& item = pItems[i];
        if (item.nLevel == 0)
        {
            pMenu = pBar->addMenu(AfxQStr(item.pszText));
            QObject::connect(pMenu, &QMenu::aboutToShow, pMenu,
                             [pFrame, pMenu] { UpdateMenu(pFrame, pMenu); });
            QObject::connect(pMenu, &QMenu::hovered, pMenu, [pFrame](QAction* a) {
                if (a->data().isValid())
                    pFrame->SetMessageText(a->data().toUInt());
                else
                    pFrame->SetMessageText("");
            });
            QObject::connect(pMenu, &QMenu::aboutToHide, pMenu,
                             [pFrame] { pFrame->SetMessageText(AFX_IDS_IDLEMESSAGE); });
            continue;
        }
        if (pMenu == nullptr)
            continue;
        if ((item.nFlags & RES_MF_SEPARATOR) || item.pszText == nullptr)
        {
            pMenu->addSeparator();
            continue;
        }
        // The text after "\t" is shown as the shortcut label only: the accelerator table
        // owns the keys, so nothing fires twice.
        QAction* a = pMenu->addAction(AfxQStr(item.pszText));
        a->setData(item.nID);
        a->setShortcutContext(Qt::WidgetShortcut);
        if (item.nFlags & RES_MF_GRAYED)
        {
            a->setEnabled(false);
            a->setProperty("afxGrayed", true);
        }
        const UINT nID = item.nID;
        QObject::connect(a, &QAction::triggered, pMenu, [pFrame, nID] { RunCommand(pFrame, nID); });
    }
    pWindow->setMenuBar(pBar);
}

static int KeyFromVirtualKey(unsigned vk)
{
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<int>(vk);  // Qt's letter and digit keys share the codes
    if (vk >= 0x70 && vk <= 0x87)
        return Qt::Key_F1 + static_cast<int>(vk - 0x70);
    switch (vk)
    {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x21: return Qt::Key_PageUp;
    case 0x22: return Qt::Key_PageDown;
    case 0x23: return Qt::Key_End;
    case 0x24: return Qt::Key_Home;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2D: return Qt::Key_Insert;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
    }
}

void AfxInstallAccelerators(CFrameWnd* pFrame, CWndPrivate* pPriv, UINT nIDResource)
{
    std::size_t nCount = 0;
    const RES_ACCEL* pAccel = ResFindAccel(nIDResource, &nCount);
    QWidget* pWindow = pPriv->m_pWidget.data();
    if (pAccel == nullptr || pWindow == nullptr)
        return;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const RES_ACCEL& acc = pAccel[i];
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
        pShortcut->setProperty("afxCommand", static_cast<uint>(acc.cmd));
        const UINT nID = acc.cmd;
        // A key without a handler is swallowed and does nothing, as before.
        QObject::connect(pShortcut, &QShortcut::activated, pWindow, [pFrame, nID] { RunCommand(pFrame, nID); });
        pPriv->m_shortcuts.push_back(pShortcut);
    }
}

void AfxUpdateFrameCommandUI(CFrameWnd* pFrame)
{
    auto* pWindow = AfxGetMainWindow(pFrame);
    if (pWindow == nullptr)
        return;
    if (QMenuBar* pBar = pWindow->menuWidget() != nullptr ? pWindow->menuBar() : nullptr)
        for (QAction* top : pBar->actions())
            if (QMenu* pMenu = top->menu())
                UpdateMenu(pFrame, pMenu);
    for (QToolBar* pToolBar : pWindow->findChildren<QToolBar*>())
        for (QAction* a : pToolBar->actions())
        {
            if (a->isSeparator() || !a->data().isValid())
                continue;
            CQtActionCmdUI cmdUI(a);
            cmdUI.DoUpdate(pFrame, TRUE);
        }
}
