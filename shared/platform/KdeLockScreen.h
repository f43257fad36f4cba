#pragma once
// KDE Plasma's lock-screen wallpaper, in kscreenlockerrc as Plasma's screen-locker settings write it: the
// greeter's image wallpaper ("[Greeter]" WallpaperPlugin=org.kde.image) with
// "[Greeter][Wallpaper][org.kde.image][General]" Image a file URL, fitted whole (FillMode 1) on black
// (Color). The greeter reads the file each time the screen locks. What the file held goes back as it was;
// an entry it did not have goes again.

#include "LockScreenPicture.h"

class KdeLockScreen : public LockScreenPicture {
public:
    explicit KdeLockScreen(QString file);
    // $XDG_CONFIG_HOME/kscreenlockerrc (~/.config when the variable is unset).
    static QString defaultFile();

    QString name() const override { return QStringLiteral("Plasma"); }
    std::optional<QStringList> current() override;
    std::optional<QString> show(const QString& file) override;
    std::optional<QString> putBack(const QStringList& recorded) override;

private:
    QString file_;
};
