#pragma once
// The desktop picture of KDE Plasma, per screen, through the shell's scripting call
// org.kde.PlasmaShell.evaluateScript on the session bus. Each screen's desktop containment takes the
// image wallpaper with the picture fitted whole (FillMode 1, keep aspect ratio) on black.

#include "DesktopPicture.h"

class PlasmaDesktopPicture : public DesktopPicture {
public:
    QString name() const override { return QStringLiteral("Plasma"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

    // The scripts, for tests: one that prints "<screen> <image>|<fill mode>" per screen, and one that sets a
    // screen's picture (fill mode nothing: leave it as it is).
    static QString readScript(int screenCount);
    static QString setScript(int screen, const QString& pictureUrl, std::optional<int> fillMode,
                             const QString& colour);

private:
    // The script's printed output, or the reason it failed.
    static std::pair<QString, std::optional<QString>> evaluate(const QString& script);
};
