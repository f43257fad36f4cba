#pragma once
// GNOME's lock-screen picture through GSettings (org.gnome.desktop.screensaver, which GNOME Shell draws,
// blurred, behind its unlock dialog): picture-uri, scaled whole (picture-options "scaled") on black
// (primary-color). What the person had set is read as GVariant text and goes back as it was; a key they
// never set goes back to its default.

#include "LockScreenPicture.h"

class GSettingsLockScreen : public LockScreenPicture {
public:
    static constexpr const char* schema = "org.gnome.desktop.screensaver";

    QString name() const override { return QStringLiteral("GNOME"); }
    std::optional<QStringList> current() override;
    std::optional<QString> show(const QString& file) override;
    std::optional<QString> putBack(const QStringList& recorded) override;
};
