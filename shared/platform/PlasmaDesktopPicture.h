#pragma once
// The desktop picture of KDE Plasma, per screen, through the shell's scripting call
// org.kde.PlasmaShell.evaluateScript on the session bus. Each screen's desktop containment takes the
// image wallpaper with the picture fitted whole (FillMode 1, keep aspect ratio) on black.

#include "DesktopPicture.h"

#include <QJsonObject>

class PlasmaDesktopPicture : public DesktopPicture {
public:
    QString name() const override { return QStringLiteral("Plasma"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

    // The scripts, for tests: one that prints "<screen> <JSON record>" per screen (the wallpaper plugin
    // and every setting of it), one that sets a screen's picture (fill mode nothing: leave it as it is),
    // and one that puts a recorded plugin and its settings back.
    static QString readScript(int screenCount);
    static QString setScript(int screen, const QString& pictureUrl, std::optional<int> fillMode,
                             const QString& colour);
    static QString restoreScript(int screen, const QString& plugin, const QJsonObject& config);

private:
    // The script's printed output, or the reason it failed.
    static std::pair<QString, std::optional<QString>> evaluate(const QString& script);
};
