#pragma once
// The port to the picture the desktop's lock screen shows. With the sunOnLockScreen setting on, the
// desktop picture manager (app/desktop) puts the first screen's still there, after reading what it showed
// so that it can put exactly that back. One adapter per desktop with a lock-screen picture of its own;
// Platform::lockScreenPicture chooses.
//
// GUI thread; every call finishes before it returns (GSettings, a small file).

#include <QString>
#include <QStringList>
#include <optional>

class LockScreenPicture {
public:
    virtual ~LockScreenPicture() = default;

    // A short name for log lines and tests ("GNOME", "Plasma", "none").
    virtual QString name() const = 0;
    // Why the lock screen cannot show the Sun here, a short sentence for Preferences; empty where it can.
    virtual QString unavailable() const { return {}; }
    // What the lock screen shows now: one "key=value" text for every setting `show` changes that the
    // person has set, the value as the desktop stores it; a setting left at its default is not listed.
    // Nothing when it cannot be read.
    virtual std::optional<QStringList> current() = 0;
    // Shows the picture in `file` fitted whole on black. Nothing on success, else the reason in words.
    virtual std::optional<QString> show(const QString& file) = 0;
    // Puts back what `current` read: each listed setting its value, every other one its default.
    virtual std::optional<QString> putBack(const QStringList& recorded) = 0;
};

// Where the desktop has no lock-screen picture we can set: reads nothing, sets nothing, says why.
class NoLockScreenPicture : public LockScreenPicture {
public:
    QString name() const override { return QStringLiteral("none"); }
    QString unavailable() const override {
        return QStringLiteral("Only GNOME's and KDE Plasma's lock screens can show the Sun.");
    }
    std::optional<QStringList> current() override { return std::nullopt; }
    std::optional<QString> show(const QString&) override { return unavailable(); }
    std::optional<QString> putBack(const QStringList&) override { return unavailable(); }
};
