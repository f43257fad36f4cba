#pragma once
// The port to the desktop's reduce-motion preference (fewer moving transitions, no flickering looks).
// Read at every use, so a change made while the program runs applies to the next clip.
//
// GUI thread only.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class MotionPreference {
public:
    virtual ~MotionPreference() = default;
    virtual bool reduceMotion() = 0;
};

// No such preference on this desktop: motion is never reduced.
class NoMotionPreference : public MotionPreference {
public:
    bool reduceMotion() override { return false; }
};

// KDE Plasma: AnimationDurationFactor=0 in the [KDE] group of kdeglobals. The first folder holding a
// value wins: the user's configuration folder, then the system's ($XDG_CONFIG_DIRS).
class KdeMotionPreference : public MotionPreference {
public:
    explicit KdeMotionPreference(QStringList folders = defaultFolders());
    static QStringList defaultFolders();
    bool reduceMotion() override;

    // The factor written in one kdeglobals text, if any.
    static std::optional<double> animationFactor(const QByteArray& text);

private:
    QStringList folders_;
};

// GNOME and desktops that share its settings: org.gnome.desktop.interface enable-animations false.
class GnomeMotionPreference : public MotionPreference {
public:
    // Nothing when the schema is not installed (GSettings would abort on an unknown schema).
    static std::unique_ptr<GnomeMotionPreference> open();
    ~GnomeMotionPreference() override;
    bool reduceMotion() override;

private:
    explicit GnomeMotionPreference(void* settings) : settings_(settings) {}
    void* settings_; // GSettings*, kept out of this header so GLib's names stay out of Qt code
};
