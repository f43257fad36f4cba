#pragma once
// The mini player: a small always-on-top tool window in the top-right corner of the usable area that
// plays screen 0's products while the user works. It pauses whenever the play policy says no (covered,
// low power, on battery); the policy is asked again when the window is covered or uncovered, hidden or
// shown, and when the power state changes. Exists only between two toggles. GUI thread only.

#include "WallView.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QWindow;
class WaylandLayerSurface;
class WindowOcclusion;

class MiniPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 320;
    static constexpr int height = 180;
    static constexpr int inset = 24;

    // Whether the wall should play, given whether its window is covered (hidden and minimised count).
    // By default the live desktop's rule: LivePower::shouldPlay.
    using PlayPolicy = std::function<bool(bool occluded)>;

    explicit MiniPlayer(PlayPolicy shouldPlay = {},
                        std::function<WallView::Environment()> wallEnvironment = {});
    ~MiniPlayer() override;

    // Opens the player, or closes it (stopping its wall) when it is open.
    void toggle();
    bool isOpen() const { return window_ != nullptr; }
    QWidget* window() const { return window_.get(); }
    // Where the compositor has layers (Wayland), the player is an overlay surface and its window stays
    // hidden; nothing elsewhere.
    WaylandLayerSurface* layer() const { return layer_.get(); }
    WallView* wall() const { return wall_; }
    // Asks the policy again and pauses or resumes the wall.
    void apply();

    // Called with each new window before it shows (the main menu goes on it).
    std::function<void(QWidget* window)> onWindowMade;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void open();
    void close();

    PlayPolicy shouldPlay_;
    std::function<WallView::Environment()> wallEnvironment_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<WaylandLayerSurface> layer_;
    QPointer<WallView> wall_;
    WindowOcclusion* occlusion_ = nullptr;
    bool closing_ = false;
};
