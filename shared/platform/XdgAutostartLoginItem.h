#pragma once
// The login item as an XDG autostart entry: $XDG_CONFIG_HOME/autostart/solvane.desktop. The item is
// enabled when that file exists and is not switched off by "Hidden=true" or
// "X-GNOME-Autostart-enabled=false" (what desktop settings panels write to disable an entry).

#include "LoginItem.h"

#include <QByteArray>
#include <QString>

class XdgAutostartLoginItem : public LoginItem {
public:
    // `folder` is the autostart folder, `executable` the absolute path the entry starts.
    XdgAutostartLoginItem(QString folder, QString executable);
    // The standard folder and the installed program.
    XdgAutostartLoginItem();

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static QString defaultFolder();
    // The running program when it is solvane, else a solvane beside it or on PATH.
    static QString defaultExecutable();

    QString file() const;
    bool isEnabled() const override;
    std::optional<QString> setEnabled(bool enabled) override;

    // The entry's text for a program path, or nothing when the path cannot be written into an Exec line
    // (not absolute, or holding a line break).
    static std::optional<QByteArray> entryText(const QString& executable);
    // Whether an entry's text leaves the item on.
    static bool entryEnabled(const QByteArray& text);
    // A path as one Exec argument: quoted when it holds reserved characters, "%" doubled, and escaped
    // once more as a desktop-entry string.
    static QString execArgument(const QString& path);

private:
    QString folder_;
    QString executable_;
};
