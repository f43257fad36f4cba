#pragma once
// The controller of what the program puts on screen: one full-screen WallWindow per enabled screen
// while the imagery shows, their close buttons or badges, the keyboard and scroll wheel of a showing
// wall, the fading of the controls and the pointer, and the rebuild when the screens change.
// GUI thread only. Settings are read each time they are needed; nothing is copied.

#include "AppParts.h"
#include "Mode.h"
#include "WallView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <functional>
#include <vector>

class CloseButton;
class ModeBadge;
class WallWindow;

class App : public QObject {
    Q_OBJECT
public:
    static constexpr double settleSeconds = 1.5;
    static constexpr double buttonFadeSeconds = 2.5;
    static constexpr double rebuildDelaySeconds = 0.5;

    struct Environment {
        // Seconds since the last input; by default the time since our own windows last saw input.
        std::function<double()> secondsIdle;
        // Seams handed to every WallView (tests give a manual clock and a fixed cache).
        std::function<WallView::Environment()> wallEnvironment;
        // What dismissing a wall opens; until the Preferences window exists it quits the application.
        std::function<void()> openPreferences;
    };

    explicit App(Environment environment = {});
    ~App() override;

    // Puts the imagery on screen for the mode; `force` (--start) shows walls even in desktop mode.
    void show(bool force = false);
    void hide();
    void build();
    void dismiss();
    // Waits for the idle time, then shows the current mode (the Preferences window's arm button);
    // disarm stops waiting (the Preferences window opening).
    void arm();
    void disarm();
    void screensChanged();
    void setButtons(bool visible);
    void setCursor(bool hidden);
    // The 0.25 s controller tick (the wall part: control and pointer fading).
    void tick();

    bool showing() const { return showing_; }
    bool armedWaiting() const { return armedWaiting_; }
    bool coversAll() const { return coversAll_; }
    bool buttonsVisible() const { return buttonsVisible_; }
    bool cursorHidden() const { return cursorHidden_; }
    bool rebuildPending() const { return rebuild_.isActive(); }
    const std::vector<WallWindow*>& windows() const { return windows_; }
    const std::vector<WallView*>& walls() const { return walls_; }
    const std::vector<CloseButton*>& closeButtons() const { return closeButtons_; }
    const std::vector<ModeBadge*>& badges() const { return badges_; }
    int builds() const { return builds_; }
    // The parts the controller calls but does not own; main wires them before launch.
    AppParts& parts() { return parts_; }

    // Key and scroll handling of a showing wall; true when the event was consumed.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);
    bool handleScroll(QObject* target, QPointF pixelDelta, QPoint angleDelta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearWalls();
    void fadeControls(bool visible);
    void watchScreens();
    double secondsIdle() const;
    // The mode the walls follow: a forced showing in desktop mode behaves as the wall mode.
    Mode mode() const;
    static std::vector<QRect> screenFrames();

    Environment env_;
    AppParts parts_;
    std::vector<WallWindow*> windows_;
    std::vector<WallView*> walls_;
    std::vector<CloseButton*> closeButtons_;
    std::vector<ModeBadge*> badges_;
    bool showing_ = false;
    bool armedWaiting_ = false;
    bool buttonsVisible_ = false;
    bool cursorHidden_ = false;
    std::vector<QRect> builtFor_;
    bool coversAll_ = false;
    QTimer rebuild_;
    QTimer tick_;
    QElapsedTimer lastInput_;
    int builds_ = 0;
    bool forced_ = false;
};
