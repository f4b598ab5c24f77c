// Modal dialogs built from their templates as QDialogs.

#include "framework/qt/QtPrivate.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
int Scale(int v, int base, int div)
{
    return static_cast<int>(static_cast<long long>(v) * base / div);
}

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down.
QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int nBaseX = std::max(
        1, (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2);
    return QSize(nBaseX, std::max(1, fm.height()));
}

QWidget* DialogParent(CDialog* pDialog)
{
    return AfxGetWidget(pDialog->GetOwnerWnd());
}
}  // namespace

CQtDialogPeer::CQtDialogPeer(CDialog* pDialog, const RES_DIALOG& dlgTemplate)
    : CQtPeer<CDialogPeer>(pDialog, new CQtDialog(pDialog, DialogParent(pDialog)))
{
    auto* pWidget = static_cast<CQtDialog*>(Widget());
    pWidget->setWindowTitle(AfxQStr(dlgTemplate.pszCaption));

    QFont font = pWidget->font();
    if ((dlgTemplate.dwStyle & DS_SETFONT) && dlgTemplate.pszFont != nullptr && *dlgTemplate.pszFont != '\0')
        font.setFamily(QString::fromUtf8(dlgTemplate.pszFont));
    if ((dlgTemplate.dwStyle & DS_SETFONT) && dlgTemplate.nPointSize > 0)
        font.setPointSize(dlgTemplate.nPointSize);
    pWidget->setFont(font);
    const QSize base = DialogBaseUnits(font);
    const int nBaseX = base.width();
    const int nBaseY = base.height();
    pWidget->setFixedSize(Scale(dlgTemplate.cx, nBaseX, 4), Scale(dlgTemplate.cy, nBaseY, 8));

    // The template's position counts from the top-left corner of the owner frame's client
    // area, the part below its menu bar.
    if (auto* pOwner = qobject_cast<QMainWindow*>(pWidget->parentWidget()))
    {
        const int nMenu = pOwner->menuWidget() != nullptr ? pOwner->menuWidget()->height() : 0;
        const QPoint origin = pOwner->mapToGlobal(QPoint(0, nMenu));
        pWidget->move(origin + QPoint(Scale(dlgTemplate.x, nBaseX, 4), Scale(dlgTemplate.y, nBaseY, 8)));
    }

    for (std::size_t i = 0; i < dlgTemplate.nItems; ++i)
    {
        const RES_DLGITEM& item = dlgTemplate.pItems[i];
        const QRect rc(Scale(item.x, nBaseX, 4), Scale(item.y, nBaseY, 8), Scale(item.cx, nBaseX, 4),
                       Scale(item.cy, nBaseY, 8));
        const QString text = AfxQStr(item.pszText);
        const bool bVisible = (item.dwStyle & WS_VISIBLE) != 0;
        QWidget* pControl = nullptr;
        if (item.pszClass != nullptr && std::strcmp(item.pszClass, "STATIC") == 0)
        {
            auto* pLabel = new QLabel(pWidget);
            const unsigned nType = item.dwStyle & 0x1Fu;
            if (nType == SS_ICON)
            {
                // The icon keeps its own size (32 x 32); the control's size is ignored.
                const auto nIcon = static_cast<unsigned>(std::strtoul(item.pszText != nullptr ? item.pszText : "0", nullptr, 10));
                pLabel->setPixmap(AfxQtIconFromData(AfxFindIcon(nIcon)).pixmap(32, 32));
                pLabel->setGeometry(rc.x(), rc.y(), 32, 32);
                pLabel->setObjectName(QStringLiteral("icon"));
            }
            else
            {
                pLabel->setText(text);
                pLabel->setGeometry(rc);
                pLabel->setAlignment(nType == SS_CENTER  ? Qt::AlignHCenter | Qt::AlignTop
                                     : nType == SS_RIGHT ? Qt::AlignRight | Qt::AlignTop
                                                         : Qt::AlignLeft | Qt::AlignTop);
            }
            pControl = pLabel;
        }
        else if (item.pszClass != nullptr && std::strcmp(item.pszClass, "BUTTON") == 0)
        {
            auto* pButton = new QPushButton(text, pWidget);
            pButton->setGeometry(rc);
            const bool bDefault = (item.dwStyle & 0x0Fu) == BS_DEFPUSHBUTTON;
            pButton->setDefault(bDefault);
            pButton->setAutoDefault(bDefault);
            const UINT nID = static_cast<UINT>(item.nID);
            CWnd* pOwnerWnd = pDialog;
            QObject::connect(pButton, &QPushButton::clicked, pWidget, [pOwnerWnd, nID] {
                pOwnerWnd->SendMessage(WM_COMMAND, nID);
            });
            if (bDefault)
                pButton->setFocus();
            pControl = pButton;
        }
        if (pControl != nullptr)
        {
            pControl->setProperty("afxCtrlId", item.nID);
            pControl->setVisible(bVisible);
        }
    }
}

void CQtDialogPeer::RunModal()
{
    if (auto* pDialog = qobject_cast<QDialog*>(Widget()))
        pDialog->exec();
}

void CQtDialogPeer::EndModal(INT_PTR nResult)
{
    if (auto* pDialog = qobject_cast<QDialog*>(Widget()))
        pDialog->QDialog::done(static_cast<int>(nResult));
}
