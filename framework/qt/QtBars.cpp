// The toolbar and the status bar as Qt bars.

#include "framework/qt/QtPrivate.h"

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace
{
constexpr int TOOL_IMAGE_WIDTH = 16;
constexpr int TOOL_IMAGE_HEIGHT = 15;

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
            return !(dwStyle & CBRS_TOOLTIPS) || a->toolTip().isEmpty();
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

// The button images of a bitmap resource, light grey (the bar's face) made transparent.
QImage ToolImages(UINT nIDBitmap)
{
    const RES_DATA data = AfxFindBitmap(nIDBitmap);
    if (data.pData == nullptr)
        return QImage();
    QImage image = QImage::fromData(data.pData, static_cast<int>(data.nSize), "BMP");
    if (image.isNull() || image.width() < TOOL_IMAGE_WIDTH)
        return QImage();
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb face = qRgb(192, 192, 192);
    for (int y = 0; y < image.height(); ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == face)
                line[x] = 0;
    }
    return image;
}
}  // namespace

CQtToolBarPeer::CQtToolBarPeer(CToolBar* pBar, const CREATESTRUCT&)
    : CQtPeer<CToolBarPeer>(pBar, new QToolBar(AfxGetMainWindow(pBar->GetDockingFrame()))), m_pBar(pBar)
{
    QToolBar* pToolBar = Bar();
    pToolBar->setObjectName(QStringLiteral("toolbar%1").arg(pBar->GetDlgCtrlID()));
    pToolBar->setIconSize(QSize(TOOL_IMAGE_WIDTH, TOOL_IMAGE_HEIGHT));
    pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    pToolBar->setMovable(false);
    pToolBar->setFloatable(false);
    pToolBar->setVisible(false);
    if (QMainWindow* pWindow = AfxGetMainWindow(pBar->GetDockingFrame()))
        pWindow->addToolBar(AfxQtAreaFromStyle(pBar->GetBarStyle()), pToolBar);
}

QToolBar* CQtToolBarPeer::Bar() const
{
    return static_cast<QToolBar*>(Widget());
}

void CQtToolBarPeer::ButtonsChanged()
{
    QToolBar* pToolBar = Bar();
    if (pToolBar == nullptr)
        return;
    pToolBar->clear();
    m_actions.clear();

    const QImage images = ToolImages(m_pBar->GetBitmapID());
    const int nImages = images.isNull() ? 0 : images.width() / TOOL_IMAGE_WIDTH;
    auto* pFilter = new CToolTipFilter(m_pBar, pToolBar);
    CFrameWnd* pFrame = m_pBar->GetDockingFrame();
    for (const CToolButton& button : m_pBar->GetButtons())
    {
        if (button.nID == ID_SEPARATOR)
        {
            pToolBar->addSeparator();
            m_actions.emplace_back();
            continue;
        }
        auto* a = new QAction(pToolBar);
        if (button.iImage >= 0 && button.iImage < nImages)
            a->setIcon(QIcon(QPixmap::fromImage(
                images.copy(button.iImage * TOOL_IMAGE_WIDTH, 0, TOOL_IMAGE_WIDTH, images.height()))));
        a->setData(button.nID);
        const QString tip = AfxQStr(AfxTipOf(AfxFindString(button.nID)));
        a->setText(tip);
        a->setToolTip(tip);
        const UINT nID = button.nID;
        QObject::connect(a, &QAction::triggered, pToolBar, [pFrame, nID] {
            if (pFrame != nullptr)
                pFrame->RunCommand(nID);
        });
        pToolBar->addAction(a);
        if (QWidget* pButton = pToolBar->widgetForAction(a))
            pButton->installEventFilter(pFilter);
        m_actions.emplace_back(a);
    }
    ButtonStatesChanged();
}

void CQtToolBarPeer::ButtonStatesChanged()
{
    const std::vector<CToolButton>& buttons = m_pBar->GetButtons();
    for (std::size_t i = 0; i < buttons.size() && i < m_actions.size(); ++i)
    {
        QAction* a = m_actions[i];
        if (a == nullptr)
            continue;
        a->setEnabled(buttons[i].bEnabled != FALSE);
        a->setCheckable(buttons[i].nCheck >= 0);
        if (buttons[i].nCheck >= 0)
            a->setChecked(buttons[i].nCheck != 0);
    }
}

void CQtToolBarPeer::DockingChanged()
{
    QToolBar* pToolBar = Bar();
    if (pToolBar == nullptr)
        return;
    // A side must accept the bar on both counts: the bar's style and the frame's.
    const DWORD dwBar = m_pBar->GetDockStyle();
    const CFrameWnd* pFrame = m_pBar->GetDockingFrame();
    const DWORD dwSides = dwBar & (pFrame != nullptr ? pFrame->GetDockStyle() : 0);
    Qt::ToolBarAreas areas;
    if (dwSides & CBRS_ALIGN_TOP)
        areas |= Qt::TopToolBarArea;
    if (dwSides & CBRS_ALIGN_BOTTOM)
        areas |= Qt::BottomToolBarArea;
    if (dwSides & CBRS_ALIGN_LEFT)
        areas |= Qt::LeftToolBarArea;
    if (dwSides & CBRS_ALIGN_RIGHT)
        areas |= Qt::RightToolBarArea;
    pToolBar->setMovable(dwBar != 0);
    pToolBar->setFloatable(dwBar != 0);
    if (areas)
        pToolBar->setAllowedAreas(areas);
    else if (dwBar != 0)
        pToolBar->setAllowedAreas(Qt::AllToolBarAreas);  // the frame decides later
}

// ---------------------------------------------------------------------------------------

CQtStatusBarPeer::CQtStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT&)
    : CQtPeer<CStatusBarPeer>(pBar, new QStatusBar(AfxGetMainWindow(pBar->GetDockingFrame()))), m_pBar(pBar)
{
    auto* pStatusBar = static_cast<QStatusBar*>(Widget());
    pStatusBar->setObjectName(QStringLiteral("statusbar%1").arg(pBar->GetDlgCtrlID()));
    // The frame starts 256 pixels wide: a size grip would leave the message pane too little room.
    pStatusBar->setSizeGripEnabled(false);
    pStatusBar->setVisible(false);
    if (QMainWindow* pWindow = AfxGetMainWindow(pBar->GetDockingFrame()))
        pWindow->setStatusBar(pStatusBar);
}

void CQtStatusBarPeer::PanesChanged()
{
    auto* pStatusBar = static_cast<QStatusBar*>(Widget());
    if (pStatusBar == nullptr)
        return;
    for (QLabel* pPane : m_panes)
        if (pPane != nullptr)
        {
            pStatusBar->removeWidget(pPane);
            delete pPane;
        }
    m_panes.clear();
    for (const CStatusPane& pane : m_pBar->GetPanes())
    {
        auto* pLabel = new QLabel(pStatusBar);
        pLabel->setText(AfxQStr(pane.strText));
        if (pane.nID == ID_SEPARATOR)
        {
            // A long message must not widen the window.
            pLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            pLabel->setMinimumWidth(0);
            pStatusBar->addWidget(pLabel, 1);
        }
        else
        {
            pLabel->setAlignment(Qt::AlignCenter);
            pLabel->setFrameShape(QFrame::Panel);
            pLabel->setFrameShadow(QFrame::Sunken);
            pLabel->setContentsMargins(1, 0, 1, 0);
            pLabel->setMinimumWidth(pLabel->sizeHint().width());
            // The platform does not tell the lock and kana states: show the panes greyed.
            pLabel->setEnabled(false);
            pStatusBar->addPermanentWidget(pLabel);
        }
        m_panes.emplace_back(pLabel);
    }
}

void CQtStatusBarPeer::PaneTextChanged(int nIndex)
{
    const std::vector<CStatusPane>& panes = m_pBar->GetPanes();
    const auto i = static_cast<std::size_t>(nIndex);
    if (nIndex < 0 || i >= panes.size() || i >= m_panes.size() || m_panes[i] == nullptr)
        return;
    m_panes[i]->setText(AfxQStr(panes[i].strText));
}
