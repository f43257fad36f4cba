#pragma once
// The live desktop: in desktop mode with the liveDesktop setting on, one window per enabled screen just
// above the desktop picture and below every other window (type Desktop), playing that screen's clips in
// a WallView. Each screen's wall pauses while its window is fully covered, in Low Power Mode, or on
// battery when pauseOnBattery is on; a paused wall decodes nothing.
//
// Process-wide (LiveDesktop::shared()), GUI thread only. Running means: windows and walls, the
// watchers (occlusion per window, the power reader, the screen list) and a 30-second timer that
// re-reads the power state in case a service sends no signal.

#include "WallView.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class PaintedSurface;
class WindowOcclusion;

class LiveDesktop : public QObject {
    Q_OBJECT
public:
    static constexpr int powerTickMs = 30000;

    struct Pair {
        QWidget* window = nullptr;
        WallView* wall = nullptr;
        WindowOcclusion* occlusion = nullptr;
        QString screen; // the output name, for log lines
        // On Wayland: the surface showing the wall below the windows (a layer surface, or a desktop
        // window on XWayland), whose own window then stays hidden.
        std::shared_ptr<PaintedSurface> layer;
    };

    static LiveDesktop& shared();

    // Seams for tests and benchmarks: what every WallView is given (empty: the real cache and clock).
    void setWallEnvironment(std::function<WallView::Environment()> make) {
        wallEnvironment_ = std::move(make);
    }

    // Starts or stops to match the settings (liveDesktop, the mode, the channel); a running live
    // desktop is rebuilt only when the screens or their products changed.
    void sync();
    // Takes everything down; nothing happens (and nothing is logged) when already stopped.
    void stop();
    // Pauses or resumes every wall by the current occlusion and power state.
    void apply();

    bool running() const { return !pairs_.empty() || timer_.isActive(); }
    const std::vector<Pair>& pairs() const { return pairs_; }

private:
    LiveDesktop() = default;
    void start();
    void keepBelowIcons();

    // What each screen was built with: its rectangle and products ("off" for none).
    using Layout = std::vector<std::pair<QRect, QStringList>>;
    static Layout wantedLayout();

    std::vector<Pair> pairs_;
    Layout built_;
    std::vector<QMetaObject::Connection> observers_;
    QTimer timer_;
    std::function<WallView::Environment()> wallEnvironment_;
};
