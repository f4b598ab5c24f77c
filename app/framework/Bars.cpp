#include "AfxPrivate.h"

#include "AfxBars.h"
#include "ResourceTables.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

namespace
{
// Tooltips and fly-by prompts of a toolbar's buttons, as the bar's style asks.
class CToolTipFilter : public QObject
{
public:
    CToolTipFilter(CToolBar* pBar, QObject* pParent) : QObject(pParent), m_pBar(pBar) {}

    bool eventFilter(QObject* pWatched, QEvent* e) override
    {
        auto* pButton = qobject_cast<QToolButton*>(pWatched);
        QAction* a = pButton != nullptr ? pButton->defaultAction() : nullptr;
        if (a == nullptr || !a->data().isValid())
            return false;
        const DWORD dwStyle = m_pBar->GetBarStyle();
        CFrameWnd* pFrame = m_pBar->GetDockingFrame();
        switch (e->type())
        {
        case QEvent::ToolTip:
            // Swallowed when the bar has no tooltips or the command has none.
            return !(dwStyle & CBRS_TOOLTIPS) || a->toolTip().isEmpty() ||
                   a->property("afxNoTip").toBool();
        case QEvent::Enter:
            if ((dwStyle & CBRS_FLYBY) && pFrame != nullptr)
                pFrame->SetMessageText(a->data().toUInt());
            return false;
        case QEvent::Leave:
            if ((dwStyle & CBRS_FLYBY) && pFrame != nullptr)
                pFrame->SetMessageText(AFX_IDS_IDLEMESSAGE);
            return false;
        default:
            return false;
        }
    }

private:
    CToolBar* m_pBar;
};
}  // namespace

CControlBar::CControlBar() = default;

CControlBar::~CControlBar()
{
    if (m_pDockSite != nullptr)
    {
        auto& list = m_pDockSite->m_listControlBars;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        m_pDockSite = nullptr;
    }
}

BOOL CControlBar::CreateBar(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    auto* pFrame = dynamic_cast<CFrameWnd*>(pParentWnd);
    if (pFrame == nullptr || !pFrame->IsWindow() || IsWindow())
        return FALSE;
    if (!Create(nullptr, nullptr, dwStyle, CRect(0, 0, 0, 0), pParentWnd, nID))
        return FALSE;
    m_pDockSite = pFrame;
    pFrame->m_listControlBars.push_back(this);
    return TRUE;
}

void CControlBar::SetBarStyle(DWORD dwStyle)
{
    m_dwStyle = dwStyle;
}

void CControlBar::EnableDocking(DWORD dwDockStyle)
{
    m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
    auto* pToolBar = qobject_cast<QToolBar*>(AfxGetWidget(this));
    if (pToolBar == nullptr)
        return;
    // A side must accept the bar on both counts: the bar's style and the frame's.
    const DWORD dwFrame = m_pDockSite != nullptr ? m_pDockSite->m_dwDockStyle : 0;
    const DWORD dwSides = m_dwDockStyle & dwFrame;
    Qt::ToolBarAreas areas;
    if (dwSides & CBRS_ALIGN_TOP)
        areas |= Qt::TopToolBarArea;
    if (dwSides & CBRS_ALIGN_BOTTOM)
        areas |= Qt::BottomToolBarArea;
    if (dwSides & CBRS_ALIGN_LEFT)
        areas |= Qt::LeftToolBarArea;
    if (dwSides & CBRS_ALIGN_RIGHT)
        areas |= Qt::RightToolBarArea;
    pToolBar->setMovable(m_dwDockStyle != 0);
    pToolBar->setFloatable(m_dwDockStyle != 0);
    if (areas)
        pToolBar->setAllowedAreas(areas);
    else if (m_dwDockStyle != 0)
        pToolBar->setAllowedAreas(Qt::AllToolBarAreas);  // the frame decides later
}

int CControlBar::GetCount() const
{
    return m_nCount;
}

// ---------------------------------------------------------------------------------------

CToolBar::CToolBar() = default;
CToolBar::~CToolBar() = default;

BOOL CToolBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    return CreateBar(pParentWnd, dwStyle, nID);
}

void CToolBar::CreateWidget(const CREATESTRUCT& cs)
{
    auto* pWindow = qobject_cast<QMainWindow*>(AfxGetWidget(m_pParentWnd));
    auto* pToolBar = new QToolBar(pWindow);
    pToolBar->setObjectName(QStringLiteral("toolbar%1").arg(m_nID));
    pToolBar->setIconSize(QSize(16, 15));
    pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    pToolBar->setMovable(false);
    pToolBar->setFloatable(false);
    m_pPriv->Attach(pToolBar);
    if (pWindow != nullptr)
    {
        Qt::ToolBarArea area = Qt::TopToolBarArea;
        if (cs.style & CBRS_ALIGN_BOTTOM)
            area = Qt::BottomToolBarArea;
        else if (cs.style & CBRS_ALIGN_LEFT)
            area = Qt::LeftToolBarArea;
        else if (cs.style & CBRS_ALIGN_RIGHT)
            area = Qt::RightToolBarArea;
        pWindow->addToolBar(area, pToolBar);
    }
    pToolBar->setVisible((cs.style & WS_VISIBLE) != 0);
}

BOOL CToolBar::LoadBitmap(UINT nIDResource)
{
    const char* pszPath = ResBitmapPath(nIDResource);
    if (pszPath == nullptr || *pszPath == '\0')
        return FALSE;
    QImage image(QString::fromUtf8(pszPath));
    if (image.isNull() || image.height() <= 0 || image.width() < 16)
        return FALSE;
    image = image.convertToFormat(QImage::Format_ARGB32);
    // Light grey is the bar's face: let the bar show through it.
    const QRgb face = qRgb(192, 192, 192);
    for (int y = 0; y < image.height(); ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == face)
                line[x] = 0;
    }
    m_pPriv->m_toolImages = image;
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* lpIDArray, int nIDCount)
{
    auto* pToolBar = qobject_cast<QToolBar*>(AfxGetWidget(this));
    if (pToolBar == nullptr || nIDCount < 0 || (nIDCount > 0 && lpIDArray == nullptr))
        return FALSE;
    pToolBar->clear();
    m_ids.assign(lpIDArray, lpIDArray + nIDCount);
    m_nCount = nIDCount;

    const QImage& images = m_pPriv->m_toolImages;
    const int nImageWidth = 16;
    const int nImages = images.isNull() ? 0 : images.width() / nImageWidth;
    auto* pFilter = new CToolTipFilter(this, pToolBar);
    int nImage = 0;
    for (UINT nID : m_ids)
    {
        if (nID == ID_SEPARATOR)
        {
            pToolBar->addSeparator();
            continue;
        }
        auto* a = new QAction(pToolBar);
        if (nImage < nImages)
            a->setIcon(QIcon(QPixmap::fromImage(images.copy(nImage * nImageWidth, 0, nImageWidth,
                                                            images.height()))));
        ++nImage;
        a->setData(nID);
        const CString strTip = AfxTipOf(ResFindString(nID));
        a->setText(AfxQStr(strTip));
        a->setToolTip(AfxQStr(strTip));
        a->setProperty("afxNoTip", strTip.IsEmpty());
        CFrameWnd* pFrame = m_pDockSite;
        QObject::connect(a, &QAction::triggered, pToolBar, [pFrame, nID] {
            pFrame->SendMessage(WM_COMMAND, nID);
            if (pFrame->IsWindow())
                pFrame->UpdateCommandUI();
        });
        pToolBar->addAction(a);
        if (QWidget* pButton = pToolBar->widgetForAction(a))
            pButton->installEventFilter(pFilter);
    }
    return TRUE;
}

UINT CToolBar::GetItemID(int nIndex) const
{
    return nIndex >= 0 && static_cast<std::size_t>(nIndex) < m_ids.size()
               ? m_ids[static_cast<std::size_t>(nIndex)]
               : 0;
}

void CToolBar::SetBarStyle(DWORD dwStyle)
{
    CControlBar::SetBarStyle(dwStyle);
}

// ---------------------------------------------------------------------------------------

CStatusBar::CStatusBar() = default;
CStatusBar::~CStatusBar() = default;

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    return CreateBar(pParentWnd, dwStyle, nID);
}

void CStatusBar::CreateWidget(const CREATESTRUCT& cs)
{
    auto* pWindow = qobject_cast<QMainWindow*>(AfxGetWidget(m_pParentWnd));
    auto* pStatusBar = new QStatusBar(pWindow);
    pStatusBar->setObjectName(QStringLiteral("statusbar%1").arg(m_nID));
    // The frame starts 256 pixels wide: a size grip would leave the message pane too little room.
    pStatusBar->setSizeGripEnabled(false);
    m_pPriv->Attach(pStatusBar);
    if (pWindow != nullptr)
        pWindow->setStatusBar(pStatusBar);
    pStatusBar->setVisible((cs.style & WS_VISIBLE) != 0);
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount)
{
    auto* pStatusBar = qobject_cast<QStatusBar*>(AfxGetWidget(this));
    if (pStatusBar == nullptr || nIDCount < 0 || (nIDCount > 0 && lpIDArray == nullptr))
        return FALSE;
    for (QLabel* pPane : m_pPriv->m_panes)
    {
        pStatusBar->removeWidget(pPane);
        delete pPane;
    }
    m_pPriv->m_panes.clear();
    m_ids.assign(lpIDArray, lpIDArray + nIDCount);
    m_texts.assign(m_ids.size(), CString());
    m_nCount = nIDCount;

    for (std::size_t i = 0; i < m_ids.size(); ++i)
    {
        auto* pPane = new QLabel(pStatusBar);
        if (m_ids[i] == ID_SEPARATOR)
        {
            // A long message must not widen the window.
            pPane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            pPane->setMinimumWidth(0);
            pStatusBar->addWidget(pPane, 1);
        }
        else
        {
            const char* psz = ResFindString(m_ids[i]);
            m_texts[i] = psz != nullptr ? psz : "";
            pPane->setText(AfxQStr(m_texts[i]));
            pPane->setAlignment(Qt::AlignCenter);
            pPane->setFrameShape(QFrame::Panel);
            pPane->setFrameShadow(QFrame::Sunken);
            pPane->setContentsMargins(1, 0, 1, 0);
            pPane->setMinimumWidth(pPane->sizeHint().width());
            // The platform does not tell the lock and kana states: show the panes greyed.
            pPane->setEnabled(false);
            pStatusBar->addPermanentWidget(pPane);
        }
        m_pPriv->m_panes.push_back(pPane);
    }
    if (!m_ids.empty() && m_ids[0] == ID_SEPARATOR)
        m_pPriv->m_panes[0]->setText(AfxQStr(m_pPriv->m_strText));
    return TRUE;
}

UINT CStatusBar::GetItemID(int nIndex) const
{
    return nIndex >= 0 && static_cast<std::size_t>(nIndex) < m_ids.size()
               ? m_ids[static_cast<std::size_t>(nIndex)]
               : 0;
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_pPriv->m_panes.size())
        return FALSE;
    const auto i = static_cast<std::size_t>(nIndex);
    m_texts[i] = lpszNewText;
    if (i == 0)
        m_pPriv->m_strText = lpszNewText;
    m_pPriv->m_panes[i]->setText(AfxQStr(lpszNewText));
    return TRUE;
}

CString CStatusBar::GetPaneText(int nIndex) const
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_pPriv->m_panes.size())
        return CString();
    return AfxCStr(m_pPriv->m_panes[static_cast<std::size_t>(nIndex)]->text());
}

void CStatusBar::SetWindowText(LPCTSTR lpszString)
{
    m_pPriv->m_strText = lpszString;
    if (!m_pPriv->m_panes.empty())
        SetPaneText(0, lpszString);
}

void CStatusBar::GetWindowText(CString& rString) const
{
    rString = m_pPriv->m_strText;
}
