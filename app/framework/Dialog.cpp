#include "AfxPrivate.h"

#include "AfxApp.h"
#include "AfxDialog.h"
#include "ResourceTables.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>
#include <cstring>

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWndDlg(pParentWnd)
{
}

CDialog::~CDialog() = default;

void CDialog::CreateWidget(const CREATESTRUCT&)
{
    QWidget* pParent = AfxGetWidget(m_pParentWndDlg != nullptr ? m_pParentWndDlg : AfxGetMainWnd());
    auto* pDialog = new CQtDialog(this, pParent);
    m_pPriv->Attach(pDialog);
}

namespace
{
int Scale(int v, int base, int div)
{
    return static_cast<int>(static_cast<long long>(v) * base / div);
}
}  // namespace

INT_PTR CDialog::DoModal()
{
    const RES_DIALOG* pTemplate = ResFindDialog(m_nIDTemplate);
    if (pTemplate == nullptr || IsWindow())
        return -1;

    CREATESTRUCT cs;
    cs.style = pTemplate->dwStyle;
    cs.lpszName = pTemplate->pszCaption;
    m_dwStyle = pTemplate->dwStyle;
    CreateWidget(cs);
    auto* pDialog = static_cast<CQtDialog*>(AfxGetWidget(this));
    SetWindowText(pTemplate->pszCaption);

    // Dialog units: a quarter of the font's average character width across, an eighth of
    // its height down.
    QFont font = pDialog->font();
    if ((pTemplate->dwStyle & DS_SETFONT) && pTemplate->pszFont != nullptr && *pTemplate->pszFont != '\0')
        font.setFamily(QString::fromUtf8(pTemplate->pszFont));
    if ((pTemplate->dwStyle & DS_SETFONT) && pTemplate->nPointSize > 0)
        font.setPointSize(pTemplate->nPointSize);
    pDialog->setFont(font);
    const QFontMetrics fm(font);
    const int nBaseX =
        std::max(1, (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2);
    const int nBaseY = std::max(1, fm.height());
    pDialog->setFixedSize(Scale(pTemplate->cx, nBaseX, 4), Scale(pTemplate->cy, nBaseY, 8));

    for (std::size_t i = 0; i < pTemplate->nItems; ++i)
    {
        const RES_DLGITEM& item = pTemplate->pItems[i];
        const QRect rc(Scale(item.x, nBaseX, 4), Scale(item.y, nBaseY, 8), Scale(item.cx, nBaseX, 4),
                       Scale(item.cy, nBaseY, 8));
        const QString text = AfxQStr(item.pszText);
        const bool bVisible = (item.dwStyle & WS_VISIBLE) != 0;
        QWidget* pControl = nullptr;
        if (item.pszClass != nullptr && std::strcmp(item.pszClass, "STATIC") == 0)
        {
            auto* pLabel = new QLabel(pDialog);
            const unsigned nType = item.dwStyle & 0x1Fu;
            if (nType == SS_ICON)
            {
                // The icon keeps its own size (32 x 32); the control's size is ignored.
                const char* pszIcon = ResIconPath(static_cast<unsigned>(std::strtoul(item.pszText != nullptr ? item.pszText : "0", nullptr, 10)));
                QIcon icon(AfxQStr(pszIcon));
                pLabel->setPixmap(icon.pixmap(32, 32));
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
            auto* pButton = new QPushButton(text, pDialog);
            pButton->setGeometry(rc);
            const bool bDefault = (item.dwStyle & 0x0Fu) == BS_DEFPUSHBUTTON;
            pButton->setDefault(bDefault);
            pButton->setAutoDefault(bDefault);
            const UINT nID = static_cast<UINT>(item.nID);
            QObject::connect(pButton, &QPushButton::clicked, pDialog, [this, nID] {
                SendMessage(WM_COMMAND, nID);
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

    m_nModalResult = -1;
    OnInitDialog();
    if (m_nModalResult == -1)
        pDialog->exec();
    m_pPriv->DestroyWidget();
    return m_nModalResult;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (auto* pDialog = qobject_cast<QDialog*>(AfxGetWidget(this)))
        pDialog->QDialog::done(nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}
