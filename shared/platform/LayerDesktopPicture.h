#pragma once
// The desktop picture where the compositor offers layers (zwlr_layer_shell_v1) and no desktop service we
// know sets pictures (Hyprland, niri, river, labwc, Wayfire, COSMIC; sway without its IPC socket): each
// screen's still on a surface of our own on its output, fitted whole on black, in the layer the live
// desktop uses: below every window, above the wallpaper that the compositor or its helper (swaybg,
// hyprpaper) keeps in the background layer, whose stacking among its own surfaces we cannot know. A live
// desktop on the same output plays in its place. Taking the surfaces away lets the wallpaper show again.
// The surfaces last as long as the program.
//
// The picture stays with its output's name: an output that goes and comes back (a monitor unplugged and
// plugged in again) gets its surface again. GUI thread: the surfaces live on Qt's Wayland connection, so
// a call from another thread is carried over to it and waited for.

#include "DesktopPicture.h"

#include <QImage>
#include <QObject>
#include <map>
#include <memory>

class QScreen;
class WaylandLayerSurface;

class LayerDesktopPicture : public QObject, public DesktopPicture {
    Q_OBJECT
public:
    // Create on the GUI thread (Qt's Wayland platform, a compositor with layers).
    LayerDesktopPicture();
    ~LayerDesktopPicture() override;

    QString name() const override { return QStringLiteral("layer shell"); }
    // The compositor's own wallpaper is not ours to read: empty for every screen.
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    // Ours go on each screen's surface; a recorded one takes our surface away from its screen, since
    // what was there is what the compositor shows without us.
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;
    void release() override;

    // The outputs that show a picture of ours now, for tests.
    QStringList showing() const;

private:
    struct Shown {
        QImage picture;
        std::unique_ptr<WaylandLayerSurface> surface; // none while its output is away
    };
    std::optional<QString> place(QScreen* screen, const QString& file);
    void makeSurface(QScreen* screen);
    void screenAdded(QScreen* screen);

    std::map<QString, Shown> shown_; // by output name
};
