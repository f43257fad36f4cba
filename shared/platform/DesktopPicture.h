#pragma once
// The port to the picture the desktop shows behind the windows, screen by screen. The desktop manager
// (app/desktop) reads the pictures once to put them back later, and sets the cached stills; one adapter
// per desktop family does the talking (Platform::desktopPicture chooses it).
//
// Called from the GUI thread; every call finishes before it returns (short D-Bus, IPC or X11 round trips).

#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <vector>

struct DesktopScreen {
    QString name;   // the output name, e.g. "HDMI-1"
    QRect geometry; // in device pixels, in the desktop's coordinates
};

// How a picture goes on a screen: ours are fitted whole on black; one put back takes the options the
// adapter recorded with it (carried in the URL's fragment), or the desktop's default.
enum class PictureFit { fitOnBlack, asRecorded };

struct PicturePlacement {
    int screen = 0; // index into the screen list of the same call
    QUrl picture;   // a local file URL
    PictureFit fit = PictureFit::fitOnBlack;
};

class DesktopPicture {
public:
    virtual ~DesktopPicture() = default;

    // A short name for log lines and tests ("GNOME", "Plasma", "Xfce", "sway", "layer shell", "X11 root",
    // "none").
    virtual QString name() const = 0;

    // The picture on each screen now, one absolute URL text per screen (empty when it has none or the
    // desktop cannot say). An adapter may add what it needs to put the picture back exactly (options)
    // as the URL's fragment.
    virtual QStringList current(const std::vector<DesktopScreen>& screens) = 0;

    // Puts each placement's picture on its screen; screens without a placement keep what they show
    // where the desktop allows it. One answer per placement, in order: nothing on success, else the
    // reason in words.
    virtual std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                                    const std::vector<PicturePlacement>& placements) = 0;

    // Takes away what the adapter itself keeps on screen (surfaces of its own), so that what the
    // desktop had shows again; called once the recorded pictures are back. Adapters that only change
    // the desktop's own settings have nothing to take away.
    virtual void release() {}
};

// The adapter where no desktop offers a way: reads nothing, and every set fails with its reason.
class NoDesktopPicture : public DesktopPicture {
public:
    QString name() const override { return QStringLiteral("none"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override {
        QStringList none;
        for (size_t i = 0; i < screens.size(); ++i)
            none << QString();
        return none;
    }
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>&,
                                            const std::vector<PicturePlacement>& placements) override {
        return std::vector<std::optional<QString>>(
            placements.size(), QStringLiteral("this desktop offers no way to set its picture"));
    }
};
