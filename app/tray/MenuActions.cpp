#include "MenuActions.h"

#include "BuildInfo.h"
#include "Cache.h"
#include "Controller.h"
#include "Diagnostics.h"
#include "Log.h"
#include "Resources.h"
#include "Settings.h"
#include "Share.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScreen>
#include <QThreadPool>
#include <QUrl>

MenuActions::MenuActions(Controller& controller, Environment environment, QObject* parent)
    : QObject(parent), controller_(controller), env_(std::move(environment)) {
    if (!env_.diagnostics)
        env_.diagnostics = [] {
            // This process knows its screens first hand.
            QStringList screens;
            for (const QScreen* screen : QGuiApplication::screens())
                screens << Diagnostics::screenText(screen->name(), screen->geometry().width(),
                                                   screen->geometry().height());
            return Diagnostics::report(QDateTime::currentDateTimeUtc(), screens);
        };
    if (!env_.refreshNow) env_.refreshNow = [] { return Cache::refreshNow(false); };
}

void MenuActions::startFromMenu() {
    // Before a mode is chosen there is nothing to start: the welcome window asks for one.
    if (!Settings::configured() && controller_.mode() != Mode::kiosk) {
        controller_.showWelcome();
        return;
    }
    if (controller_.mode() == Mode::desktop)
        updateDesktopFromMenu();
    else
        controller_.show();
}

QString MenuActions::standardDescription(const QDateTime& date) {
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

void MenuActions::updateDesktopFromMenu() {
    // What is cached goes on the desktop at once; a refresh (which may wait for a running pass) follows.
    controller_.applyDesktopPicture();
    controller_.statusChanged();
    QPointer<MenuActions> self(this);
    auto refreshNow = env_.refreshNow;
    QThreadPool::globalInstance()->start([self, refreshNow] {
        if (!Settings::offline())
            if (const auto next = refreshNow())
                log(QStringLiteral("update: checked recently, next check allowed at ") +
                        standardDescription(*next),
                    LogArea::app);
        // The picture is applied from what is cached, whether or not the refresh ran.
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (!self) return;
                self->controller_.applyDesktopPicture();
                self->controller_.statusChanged();
                emit self->desktopUpdated();
            },
            Qt::QueuedConnection);
    });
}

void MenuActions::copyDiagnostics() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(env_.diagnostics());
    log(QStringLiteral("diagnostics copied to the clipboard"), LogArea::app);
}

void MenuActions::showHelp() {
    const auto page = Resources::path(QStringLiteral("Help.html"));
    if (!page) {
        log(QStringLiteral("help: the help page is missing"), LogArea::app);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(*page)))
        log(QStringLiteral("help: no program opened ") + *page, LogArea::app);
}

QString MenuActions::creditsHtml(const QString& colourName) {
    const QString host = QString::fromUtf8(Settings::defaultStoreHost);
    // A build that names no web page shows no link.
    const QString link =
        host.isEmpty() ? QString() : QStringLiteral("<br><a href=\"https://%1\">%1</a>").arg(host);
    return QStringLiteral(
               "<p style=\"font-size: small; color: %1\">"
               "Live solar imagery from NASA's Solar Dynamics Observatory, processed by the AIA "
               "science team and prepared for Solvane by Tessly.<br>"
               "Saved frames carry their provenance, which Orvelle, Tessly's image viewer, shows.%2</p>")
        .arg(colourName, link);
}

void MenuActions::showAbout() {
    // One box at a time; a second click brings it forward. Not modal, so the tray keeps working.
    if (!about_) {
        about_ =
            new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Solvane"), QString(), QMessageBox::Ok);
        about_->setAttribute(Qt::WA_DeleteOnClose);
        about_->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
        about_->setTextFormat(Qt::RichText);
        const QString secondary = about_->palette().color(QPalette::PlaceholderText).name();
        about_->setText(QStringLiteral("<h3>Solvane</h3><p>Version %1 (%2)</p>")
                            .arg(Share::appVersion(), QString::fromUtf8(BuildInfo::buildNumber)) +
                        creditsHtml(secondary));
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}
