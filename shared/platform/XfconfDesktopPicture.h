#pragma once
// The desktop picture of Xfce, per monitor, through xfconf (the org.xfce.Xfconf service on the session
// bus, which xfdesktop watches): channel "xfce4-desktop", property
// /backdrop/screen0/monitor<NAME>/workspace<N>/last-image on every workspace the monitor has, with the
// image style "scaled" (fitted whole) on a solid black background. What was there (every workspace's
// picture, image style, colour style and colours) is recorded whole and put back the same way.

#include "DesktopPicture.h"

#include <QJsonObject>
#include <QVariant>

class XfconfDesktopPicture : public DesktopPicture {
public:
    QString name() const override { return QStringLiteral("Xfce"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

    static constexpr int scaled = 4; // xfdesktop's image-style for "scaled"

    // The property folder of a monitor's workspace.
    static QString workspaceBase(const QString& monitor, int workspace);

private:
    // The workspace numbers xfconf holds for a monitor; at least workspace 0.
    static QList<int> workspaces(const QString& monitor);
    static std::optional<QString> put(const QString& property, const QVariant& value);
    // Puts a monitor's recorded backdrop properties back, removing those added since.
    static std::optional<QString> putBack(const QString& monitor, const QJsonObject& record);
};
