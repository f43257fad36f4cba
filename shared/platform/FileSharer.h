#pragma once
// The port to the desktop's way of handing a file to another program (an open-with chooser). The tray's
// "Share This Frame…" offers the saved PNG through it and falls back to the clipboard when it refuses.
//
// Header only, so code that merely talks to the port needs no platform library.

#include <QString>
#include <optional>

class FileSharer {
public:
    virtual ~FileSharer() = default;

    // Offers the file at `path` to the user's choice of program. Nothing once the desktop took it, else
    // the reason in words. Called from the GUI thread; it may wait a few seconds for the desktop.
    virtual std::optional<QString> offer(const QString& path) = 0;
};

// Where the desktop offers no chooser.
class NoFileSharer : public FileSharer {
public:
    std::optional<QString> offer(const QString&) override { return QStringLiteral("no share service"); }
};
