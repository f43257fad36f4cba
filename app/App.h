#pragma once
// The controller of what the program puts on screen: one full-screen WallWindow per enabled screen
// while the imagery shows, their close buttons or badges, the keyboard and scroll wheel of a showing
// wall, the 0.25 s tick (idle time, the saver's arming and dismissal, the fading of the controls and the
// pointer), the display-sleep inhibit, the rebuild when the screens change, the launch sequence, links
// and re-opening. GUI thread only. Settings are read each time they are needed; nothing is copied.

#include "AppParts.h"
#include "Controller.h"
#include "Diagnostics.h"
#include "FollowPass.h"
#include "Mode.h"
#include "WallView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CloseButton;
class Follower;
class IdleTime;
class NetworkCost;
class ModeBadge;
class MotionPreference;
class ScreenLock;
class SleepInhibit;
class WallWindow;

class App : public QObject, public Controller {
    Q_OBJECT
public:
    static constexpr double settleSeconds = 1.5;
    static constexpr double buttonFadeSeconds = 2.5;
    static constexpr double rebuildDelaySeconds = 0.5;
    static constexpr double dismissIdleSeconds = 0.5;
    static constexpr int refreshEverySeconds = Diagnostics::checkEverySeconds;

    // The desktop services the controller uses; anything left empty does nothing (main hands in the
    // Linux adapters, tests fakes).
    struct Environment {
        // Seconds since the last input; overrides `idle` (tests give a plain value).
        std::function<double()> secondsIdle;
        // The session's idle time; input to our own windows counts as well.
        std::shared_ptr<IdleTime> idle;
        std::shared_ptr<SleepInhibit> sleep;
        std::shared_ptr<ScreenLock> lock;
        // The desktop's reduce-motion preference, handed to every wall unless wallEnvironment gives one.
        std::shared_ptr<MotionPreference> motion;
        // Seams handed to every WallView (tests give a manual clock and a fixed cache).
        std::function<WallView::Environment()> wallEnvironment;
        // Whether the network is metered; none: never.
        std::shared_ptr<NetworkCost> network;
        // One light pass (FollowPass::run when empty); tests record instead.
        std::function<FollowPass::Outcome(const QSet<QString>& products, const QDateTime& now)> followPass;
    };

    // What the command line asks of the launch.
    struct Launch {
        bool forceStart = false;        // --start: show at once, whatever the mode
        bool kioskSession = false;      // --kiosk: this run is a kiosk, whatever the mode setting
        std::optional<double> autoQuit; // --seconds N
        QList<QUrl> links;              // solvane:// links given as arguments
    };

    explicit App(Environment environment = {});
    ~App() override;

    // The launch sequence: appearance, carry-over, saver refresh, seed, tray, tick, refresh timer,
    // updater, live desktop, then what to show first, the links and the automatic quit.
    void launch(const Launch& options);

    // Puts the imagery on screen for the mode; `force` (--start) shows walls even in desktop mode.
    void show(bool force = false) override;
    void hide() override;
    void build();
    void dismiss();
    // Waits for the idle time, then shows the current mode (the Preferences window's arm button);
    // disarm stops waiting (the Preferences window opening).
    void arm() override;
    void disarm() override;
    void screensChanged();
    // The debounced check after a screen change: rebuilds when showing and the frames of the connected
    // screens differ from those of the last build.
    void layoutChanged(const std::vector<QRect>& frames);
    void setButtons(bool visible);
    void setCursor(bool hidden);
    void lockScreen();
    // The 0.25 s controller tick.
    void tick();

    // Links handed to the program (its arguments, or a second start's); each is acted on or refused
    // with a log line.
    void openLinks(const QList<QUrl>& links);
    // The program was started again without links: Preferences, unless the imagery shows.
    void reopen();
    // A later start's request as the lines handed over to this program ("--start", "--kiosk",
    // "--seconds N"), and back; unknown lines are ignored.
    static QStringList handOverOptions(const Launch& request);
    static Launch fromHandOver(const QList<QUrl>& links, const QStringList& options);
    // Acts on a later start's request: its links, the walls or the kiosk it asks for, its automatic
    // quit; a start that asks nothing opens Preferences.
    void takeOver(const Launch& request);

    bool showing() const override { return showing_; }
    bool armed() const { return armed_; }
    bool armedWaiting() const override { return armedWaiting_; }
    bool coversAll() const { return coversAll_; }
    bool buttonsVisible() const { return buttonsVisible_; }
    bool cursorHidden() const { return cursorHidden_; }
    bool rebuildPending() const { return rebuild_.isActive(); }
    bool ticking() const { return tick_.isActive(); }
    bool refreshTimerRunning() const { return hourly_.isActive(); }
    // The light passes that follow NASA while the Sun is shown.
    Follower& follower() { return *follower_; }
    // The network is metered and the person has not allowed downloads on it.
    bool meteredHolds() const;
    // A refresh pass is running on its background thread.
    bool refreshing() const override { return refreshing_->load(); }
    std::optional<QDateTime> nextRefresh() const override;
    void tryAgain() override { startRefresh(); }
    // Seconds since the last input, the session's or our own windows', whichever is less.
    double secondsIdle() const;
    // Whether the session's idle time can be known; without it nothing starts after idle time.
    bool hasIdleSource() const override;
    // The mode the walls follow now (a forced showing in desktop mode behaves as the wall mode).
    Mode mode() const override;
    const std::vector<WallWindow*>& windows() const { return windows_; }
    const std::vector<WallView*>& walls() const override { return walls_; }
    const std::vector<CloseButton*>& closeButtons() const { return closeButtons_; }
    const std::vector<ModeBadge*>& badges() const { return badges_; }
    int builds() const { return builds_; }
    // The parts the controller calls but does not own; main wires them before launch.
    AppParts& parts() { return parts_; }

    // The windows reach the other parts through the controller.
    void statusChanged() override { parts_.statusChanged(); }
    void applyDesktopPicture() override { parts_.applyDesktopPicture(); }
    void restoreDesktopPicture() override { parts_.restoreDesktopPicture(); }
    void syncLiveDesktop() override { parts_.syncLiveDesktop(); }
    QString installSaver() override { return parts_.installSaver(); }
    void checkForUpdates() override { parts_.checkForUpdates(); }
    void showPreferences() override { parts_.showPreferences(); }
    void showWelcome() override { parts_.showWelcome(); }
    void toggleMiniPlayer() override { parts_.toggleMiniPlayer(); }

    // Key and scroll handling of a showing wall; true when the event was consumed.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);
    bool handleScroll(QObject* target, QPointF pixelDelta, QPoint angleDelta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearWalls();
    void nothingToShow();
    void followNetwork();
    void quitAfter(double seconds);
    // Whether an event's receiver is one of the wall windows (or inside one).
    bool isWallTarget(QObject* target) const;
    void fadeControls(bool visible);
    void watchScreens();
    void present();
    void holdKeys();
    void startRefresh();
    void watchNetwork();
    void followed(bool madeClips);
    void watchFirstLight();
    // The cached stills as one text (id and stamp a line), to see when a pass has brought new ones.
    static QString stillsNow();
    // Records the connected screens for the diagnostics report of another process (--diagnose).
    static void recordScreens();
    static std::vector<QRect> screenFrames();

    Environment env_;
    AppParts parts_;
    std::vector<WallWindow*> windows_;
    std::vector<WallView*> walls_;
    std::vector<CloseButton*> closeButtons_;
    std::vector<ModeBadge*> badges_;
    bool showing_ = false;
    bool armed_ = false;
    bool armedWaiting_ = false;
    bool buttonsVisible_ = false;
    bool cursorHidden_ = false;
    std::vector<QRect> builtFor_;
    bool coversAll_ = false;
    QTimer rebuild_;
    QTimer tick_;
    QTimer hourly_;
    Follower* follower_ = nullptr;
    // The hourly pass came round while a light pass held the cache: it runs when that one ends.
    bool refreshAfterFollow_ = false;
    // While a pass runs: whether new stills have arrived for the desktop picture.
    QTimer firstLight_;
    QString stillsAtStart_;
    QElapsedTimer lastInput_;
    int builds_ = 0;
    bool forced_ = false;
    bool kioskSession_ = false;
    // The idle time has reached the threshold and the showing was tried once in this idle period.
    bool idleTried_ = false;
    bool launched_ = false;
    // Shared with the refresh thread, which may outlive the controller at exit.
    std::shared_ptr<std::atomic<bool>> refreshing_ = std::make_shared<std::atomic<bool>>(false);
};
