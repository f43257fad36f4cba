#pragma once
// Shares through the desktop portal's OpenURI interface (OpenFile with "ask", so the user picks the
// program), which GNOME, KDE and the other portal backends answer on the session bus.

#include "FileSharer.h"

class PortalFileSharer : public FileSharer {
public:
    std::optional<QString> offer(const QString& path) override;
};
