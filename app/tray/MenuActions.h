#pragma once
// What the tray menu and the main menu do besides save/export/share/print: start the imagery, bring
// the desktop picture up to date, copy the diagnostics report, open the help page and the About box.
// GUI thread only; the desktop update refreshes the cache on a worker thread first.

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class Controller;
class QMessageBox;

class MenuActions : public QObject {
    Q_OBJECT
public:
    struct Environment {
        // The diagnostics report for now. Default: Diagnostics::report.
        std::function<QString()> diagnostics;
        // The user's immediate refresh; a time when it was refused as too soon. Runs on a worker
        // thread. Default: Cache::refreshNow without the full download.
        std::function<std::optional<QDateTime>()> refreshNow;
    };

    explicit MenuActions(Controller& controller, Environment environment = {}, QObject* parent = nullptr);

    // Desktop mode brings the picture up to date; every other mode shows the imagery now.
    void startFromMenu();
    // Refreshes the cache now (unless offline), then applies the desktop picture on the GUI thread.
    void updateDesktopFromMenu();
    void copyDiagnostics();
    // Opens our Help.html in the default browser.
    void showHelp();
    void showAbout();

    // The About box's three credit lines, as small rich text in the secondary text colour.
    static QString creditsHtml(const QString& colourName);
    // "2026-12-08 06:00:00 +0000": how the refusal's time is written in the log.
    static QString standardDescription(const QDateTime& date);

signals:
    // The desktop picture was applied after "Update Desktop Now".
    void desktopUpdated();

private:
    Controller& controller_;
    Environment env_;
    QPointer<QMessageBox> about_;
};
