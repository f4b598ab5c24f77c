// The Qt Widgets backend: the application, the event loop, message boxes, file dialogs,
// the help window, the profile and the system metrics.

#include "framework/qt/QtPrivate.h"

#include <QApplication>
#include <QBuffer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTextBrowser>

#include <cstdio>

namespace
{
constexpr const char* PROFILE_MRU_SECTION = "Recent File List";

bool HaveWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

class CQtPlatform : public IAfxPlatform
{
public:
    BOOL Init(int& argc, char** argv) override
    {
        if (QCoreApplication::instance() != nullptr)
            return HaveWidgets();
        // On a fractional scale (1.25, 1.5) every surface pixel still covers a whole block of
        // screen pixels: the scale is rounded to a whole number.
        QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
        m_pApp = new QApplication(argc, argv);
        // The main frame's WM_CLOSE ends the program, not Qt's last-window rule.
        QApplication::setQuitOnLastWindowClosed(false);
        return TRUE;
    }

    void Term() override
    {
        delete m_pApp;
        m_pApp = nullptr;
    }

    std::unique_ptr<CWndPeer> CreateWindowPeer(CWnd* pWnd, const CREATESTRUCT& cs) override
    {
        if (!HaveWidgets())
            return nullptr;
        return std::make_unique<CQtWndPeer>(pWnd, cs);
    }

    std::unique_ptr<CFramePeer> CreateFramePeer(CFrameWnd* pFrame, const CREATESTRUCT& cs) override
    {
        if (!HaveWidgets())
            return nullptr;
        return std::make_unique<CQtFramePeer>(pFrame, cs);
    }

    std::unique_ptr<CToolBarPeer> CreateToolBarPeer(CToolBar* pBar, const CREATESTRUCT& cs) override
    {
        if (!HaveWidgets())
            return nullptr;
        return std::make_unique<CQtToolBarPeer>(pBar, cs);
    }

    std::unique_ptr<CStatusBarPeer> CreateStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT& cs) override
    {
        if (!HaveWidgets())
            return nullptr;
        return std::make_unique<CQtStatusBarPeer>(pBar, cs);
    }

    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog* pDialog, const RES_DIALOG& dlgTemplate) override
    {
        if (!HaveWidgets())
            return nullptr;
        return std::make_unique<CQtDialogPeer>(pDialog, dlgTemplate);
    }

    int MessageBox(CWnd* pOwner, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) override
    {
        if (!HaveWidgets())
        {
            std::fprintf(stderr, "%s: %s\n", lpszCaption != nullptr ? lpszCaption : "",
                         lpszText != nullptr ? lpszText : "");
            return IDOK;
        }
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (nType & 0xF0u)
        {
        case MB_ICONSTOP: icon = QMessageBox::Critical; break;
        case MB_ICONQUESTION: icon = QMessageBox::Question; break;
        case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
        case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
        default: break;
        }
        QMessageBox box(icon, AfxQStr(lpszCaption), AfxQStr(lpszText), QMessageBox::Ok, AfxGetWidget(pOwner));
        box.exec();
        return IDOK;
    }

    BOOL PromptFileName(CWnd* pOwner, CString& rFileName, BOOL bOpenFileDialog) override
    {
        if (!HaveWidgets())
            return FALSE;
        QWidget* pParent = AfxGetWidget(pOwner);
        // All files only, and no extension added to a typed name: the extension chooses the format.
        const QString filter = QStringLiteral("All Files (*)");
        const QString result = bOpenFileDialog
                                   ? QFileDialog::getOpenFileName(pParent, QString(), AfxQStr(rFileName), filter)
                                   : QFileDialog::getSaveFileName(pParent, QString(), AfxQStr(rFileName), filter);
        if (result.isEmpty())
            return FALSE;
        rFileName = AfxCStr(result);
        return TRUE;
    }

    void ShowHelp(CWnd* pMainWnd, UINT nCmd) override
    {
        if (nCmd == HELP_QUIT)
        {
            if (m_pHelp)
                m_pHelp->close();
            return;
        }
        if (!HaveWidgets())
            return;
        if (!m_pHelp)
        {
            // Owned by the main window's widget, so it goes when the frame goes; the pointer
            // only remembers whether it is still open.
            QWidget* pParent = AfxGetWidget(pMainWnd);
            auto* pBrowser = new QTextBrowser(pParent);
            pBrowser->setWindowFlag(Qt::Window);
            pBrowser->setAttribute(Qt::WA_DeleteOnClose);
            if (const char* pszName = AfxGetHelpWindowName())
                pBrowser->setObjectName(QString::fromUtf8(pszName));
            const RES_DATA page = AfxGetHelpPage();
            pBrowser->setHtml(QString::fromUtf8(reinterpret_cast<const char*>(page.pData),
                                                static_cast<qsizetype>(page.nSize)));
            pBrowser->setWindowTitle(pBrowser->documentTitle());
            if (pParent != nullptr)
                pBrowser->setWindowIcon(pParent->windowIcon());
            pBrowser->resize(520, 600);
            m_pHelp = pBrowser;
        }
        m_pHelp->show();
        m_pHelp->raise();
        m_pHelp->activateWindow();
    }

    int RunEventLoop() override
    {
        if (QCoreApplication::instance() == nullptr)
            return 0;
        return QCoreApplication::exec();
    }

    void QuitEventLoop() override
    {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::exit(0);
    }

    BOOL Post(std::function<void()> fnTask) override
    {
        if (QCoreApplication::instance() == nullptr)
            return FALSE;
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fnTask), Qt::QueuedConnection);
        return TRUE;
    }

    std::vector<CString> LoadRecentFiles(const CString& strProfile, UINT nMax) override
    {
        QSettings settings(AfxQStr(strProfile), QSettings::IniFormat);
        settings.beginGroup(QLatin1String(PROFILE_MRU_SECTION));
        std::vector<CString> files;
        for (UINT i = 0; i < nMax; ++i)
        {
            const QString path = settings.value(QStringLiteral("File%1").arg(i + 1)).toString();
            if (!path.isEmpty())
                files.push_back(AfxCStr(path));
        }
        return files;
    }

    void SaveRecentFiles(const CString& strProfile, const std::vector<CString>& files) override
    {
        QSettings settings(AfxQStr(strProfile), QSettings::IniFormat);
        settings.beginGroup(QLatin1String(PROFILE_MRU_SECTION));
        settings.remove(QString());
        for (std::size_t i = 0; i < files.size(); ++i)
            settings.setValue(QStringLiteral("File%1").arg(i + 1), AfxQStr(files[i]));
        settings.endGroup();
        settings.sync();
    }

    int GetSystemMetrics(int nIndex) override
    {
        switch (nIndex)
        {
        case SM_CXFRAME:
        case SM_CYFRAME:
        case SM_CYCAPTION:
            return 0;  // drawn by the window manager, outside the window's own size
        case SM_CYMENU:
        {
            if (!HaveWidgets())
                return 19;
            static const int s_nMenuHeight = [] {
                QMenuBar bar;
                bar.addMenu(QStringLiteral("&File"));
                return bar.sizeHint().height();
            }();
            return s_nMenuHeight;
        }
        case SM_CXSCREEN:
        case SM_CYSCREEN:
        {
            const QScreen* pScreen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                         ? QGuiApplication::primaryScreen()
                                         : nullptr;
            if (pScreen == nullptr)
                return 0;
            return nIndex == SM_CXSCREEN ? pScreen->size().width() : pScreen->size().height();
        }
        default:
            return 0;
        }
    }

private:
    QApplication* m_pApp = nullptr;  // the one Init made, if it made one
    QPointer<QTextBrowser> m_pHelp;
};
}  // namespace

IAfxPlatform& AfxDefaultPlatform()
{
    static CQtPlatform s_platform;
    return s_platform;
}

QIcon AfxQtIconFromData(const RES_DATA& ico)
{
    QIcon icon;
    if (ico.pData == nullptr)
        return icon;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(ico.pData), static_cast<qsizetype>(ico.nSize));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    do
    {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}
