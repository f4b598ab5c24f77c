#include "HelpWindow.h"

#include "AfxQt.h"
#include "ResourceTables.h"
#include "resource.h"

#include <QIcon>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

void ShowHelpWindow()
{
    // Owned by the main window's widget, so it goes when the frame goes; the pointer only
    // remembers whether it is still open.
    static QPointer<QTextBrowser> s_pBrowser;
    if (!s_pBrowser)
    {
        CWnd* pMain = AfxGetMainWnd();
        QWidget* pParent = pMain != nullptr ? AfxGetWidget(pMain) : nullptr;
        auto* pBrowser = new QTextBrowser(pParent);
        pBrowser->setWindowFlag(Qt::Window);
        pBrowser->setAttribute(Qt::WA_DeleteOnClose);
        pBrowser->setObjectName(QStringLiteral("vellumHelp"));
        pBrowser->setSource(QUrl(QStringLiteral("qrc") + QString::fromUtf8(ResHelpPath())));
        pBrowser->setWindowTitle(pBrowser->documentTitle());
        pBrowser->setWindowIcon(QIcon(QString::fromUtf8(ResIconPath(IDR_MAINFRAME))));
        pBrowser->resize(520, 600);
        s_pBrowser = pBrowser;
    }
    s_pBrowser->show();
    s_pBrowser->raise();
    s_pBrowser->activateWindow();
}
