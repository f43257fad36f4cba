#pragma once
// Notifications through the freedesktop Notifications service on the session bus, which every desktop's
// notification daemon (GNOME Shell, Plasma, dunst, mako, xfce4-notifyd) answers.

#include "Notifier.h"

class FreedesktopNotifier : public Notifier {
public:
    std::optional<QString> notify(const QString& title, const QString& body) override;
};
