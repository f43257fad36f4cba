#pragma once
// The tray item: the sun symbol or a small live picture of the Sun, and one persistent menu whose first
// line tells in words what the program is doing. The menu is brought up to date before each opening
// and whenever the state changes, because a StatusNotifierItem host may draw it before a late update
// arrives. GUI thread only; the live picture is cut from the cache on a worker thread.

#include "FrameActions.h"
#include "MenuActions.h"
#include "Notifier.h"
#include "SourceStatus.h"
#include "SpaceWeatherFile.h"
#include "StatusLine.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class Controller;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidgetAction;

class Tray : public QObject {
    Q_OBJECT
public:
    // The live icon is checked this often and redrawn when StatusThumb says it is due.
    static constexpr int iconTickSeconds = 300;
    // The tag of the preview row at the top of the menu.
    static constexpr int previewTag = 9119;

    struct Environment {
        std::function<QDateTime()> now;   // default: the current time
        MenuActions::Environment menu;    // diagnostics and refresh seams
        FrameActions::Environment frames; // save panel, printer, sharer
        // Whether the desktop shows a tray (default: Qt's answer), and where to say that Solvane keeps
        // running when it does not (default: the desktop's notifications).
        std::function<bool()> trayAvailable;
        std::shared_ptr<Notifier> notifier;
    };

    explicit Tray(Controller& controller, Environment environment = {}, QObject* parent = nullptr);
    ~Tray() override;

    // Creates the item and its menu, draws the icon at once and starts the 300 s icon timer.
    void build();
    // Brings titles, hidden items, the status line and the preview row up to date.
    void menuNeedsUpdate();
    // Shows the sun symbol, or (when forced or due) cuts a new live picture from the newest frame.
    void refreshStatusIcon(bool force);

    // The last window closed: without a tray nothing would show that Solvane still runs, so say it once
    // in a desktop notification, with how to reopen or quit it.
    void lastWindowClosed();
    bool noticeGiven() const { return noticeGiven_; }

    QString statusLine() const;
    // The second line: where the imagery comes from and how old it is, that it is downloading, or that
    // the last pass reached no source and why; then the X-ray level, when the space-weather file has one.
    QString imageryLine() const;
    QSystemTrayIcon* item() const { return item_; }
    QAction* tryAgainItem() const { return tryAgainItem_; }
    QMenu* menu() const { return menu_; }
    MenuActions& actions() { return *actions_; }
    FrameActions& frames() { return *frames_; }
    const std::optional<QImage>& statusThumb() const { return statusThumb_; }
    const std::optional<QDateTime>& statusThumbAt() const { return statusThumbAt_; }

signals:
    // A new live picture is on the item (after refreshStatusIcon started one).
    void statusIconDrawn();

private:
    QAction* addAction(const QString& title, std::function<void()> action);
    SourceStatus::State sourceState() const;
    bool modeChosen() const;
    void updatePreview();
    void showSymbol();

    Controller& controller_;
    Environment env_;
    MenuActions* actions_ = nullptr;
    FrameActions* frames_ = nullptr;
    QSystemTrayIcon* item_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* menuLine_ = nullptr;
    QAction* imageryLine_ = nullptr;
    QAction* tryAgainItem_ = nullptr; // shown while the source could not be reached
    QAction* startItem_ = nullptr;
    QAction* desktopItem_ = nullptr;
    QAction* updateItem_ = nullptr;
    QList<QAction*> shareItems_;
    QAction* shareSeparator_ = nullptr;
    QAction* modeSeparator_ = nullptr;
    QWidgetAction* preview_ = nullptr;
    std::optional<QImage> statusThumb_;
    std::optional<QDateTime> statusThumbAt_;
    // Read again only when the file changes: the menu is brought up to date every two seconds.
    mutable SpaceWeatherFile spaceWeather_;
    bool drawing_ = false;
    bool noticeGiven_ = false;
    QTimer iconTimer_;
    QTimer follow_;
};
