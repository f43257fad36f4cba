#pragma once
// The view XScreenSaver's window holds: black, and on a screen that plays, one WallView filling it, the
// same view the app shows on a wall, with the app's settings and, where it can, the app's cache.
//
// The host (SaverHost) drives it as a screen-saver host drives its views: startAnimation when showing
// begins, animateOneFrame every animationInterval, stopAnimation when showing ends. GUI thread only.

#include "WallView.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <chrono>
#include <optional>

class SolvaneSaverView : public QWidget {
public:
    static constexpr std::chrono::seconds animationInterval{5};

    // Where the view is: its screen's index as the app numbers screens, the screen's device pixels per
    // point and its output name. A view without a screen is index 0 at scale 2.
    struct Placement {
        int index = 0;
        double scale = 2.0;
        std::optional<QString> screenName;
    };

    // Runs the process's one-time setup (settings and cache) if nothing has yet.
    explicit SolvaneSaverView(bool isPreview, QWidget* parent = nullptr);
    ~SolvaneSaverView() override;

    // Shows the screen's products, or stays black when the screen is set to off.
    void startAnimation(const Placement& placement);
    // Stops and drops the wall; the view is black again.
    void stopAnimation();
    // The host's periodic call: the headroom line every other call. Playback runs on its own.
    void animateOneFrame();
    // No options sheet: everything comes from the app's settings.
    bool hasConfigureSheet() const { return false; }

    WallView* wall() const { return wall_; }
    qint64 ticks() const { return ticks_; }
    bool isPreview() const { return preview_; }

    // The brightest value a colour component may take on the screen, relative to white. X11 outputs
    // have no extended range, so this is 1.
    static double headroom() { return 1.0; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshIfStale();

    QPointer<WallView> wall_;
    qint64 ticks_ = 0;
    bool preview_ = false;
    std::optional<QString> screenName_;
};
