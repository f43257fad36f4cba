#pragma once
// XScreenSaver as the screen-saver host. Its list of hacks is the `programs:` resource of ~/.xscreensaver
// (one entry a line, each line ending in "\n\" but the last); registering merges one line for our hack
// into it and writes the file back atomically. Restarting is `xscreensaver-command -restart`, the settings
// are `xscreensaver-settings`.

#include "ScreenSaverHost.h"

#include <QString>
#include <optional>

class XScreenSaverHost : public ScreenSaverHost {
public:
    struct Places {
        QString file;           // the user's settings: ~/.xscreensaver
        QString systemDefaults; // XScreenSaver's own defaults, whose list a new file starts from
        QString command;        // xscreensaver-command: asks the running daemon
    };
    // The user's file, the installed defaults and the daemon's command.
    XScreenSaverHost();
    explicit XScreenSaverHost(Places places);

    std::optional<QString> registerHack(const QString& name, const QString& program) override;
    void restart() override;
    bool openSettings() override;
    bool isDesktopsSaver() const override;

    // ---- Pure rules ----

    // The entry for a hack: its name in quotes, then the program quoted for the shell, then --root.
    static QString entry(const QString& name, const QString& program);
    // `text` (the file, or nothing when it is missing) with the entry in its programs list: an entry
    // whose command runs a program named `programFileName` is replaced in place (the header kept when it
    // shares the header's line), else the entry is appended, so the user's
    // order (and the index a "selected:" line names) stays. A file without a list gets
    // `systemPrograms` (the defaults' "*programs:" block, if any) with the entry appended.
    static QString merged(const std::optional<QString>& text, const QString& entry,
                          const QString& programFileName, const std::optional<QString>& systemPrograms);
    // The "*programs:" block of XScreenSaver's defaults file, as lines of a user file ("programs:" ...).
    static std::optional<QString> programsBlock(const QString& defaults);

private:
    Places places_;
};
