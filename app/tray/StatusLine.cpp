#include "StatusLine.h"

#include <cmath>

QString statusLine(const StatusState& state) {
    const QString name = Modes::segmentTitle(state.mode);
    // The minutes are truncated, so 2.9 reads "2 min idle"; a huge stored value must not overflow.
    const double minutes = std::isfinite(state.idleMinutes) ? std::trunc(state.idleMinutes) : 0.0;
    const QString idle = QString::number(minutes, 'f', 0) + QStringLiteral(" min idle");
    if (state.showing) return name + QStringLiteral(": on screen");
    if (state.armedWaiting) return name + QStringLiteral(": armed, starts after ") + idle;
    switch (state.mode) {
    case Mode::wall:
    case Mode::kiosk:
        return name + QStringLiteral(": ready");
    case Mode::saver:
        return QStringLiteral("Screen Saver: starts after ") + idle;
    case Mode::desktop:
        if (state.offline) return QStringLiteral("Desktop: picture fixed, not updating");
        return QStringLiteral("Desktop: picture updates ") +
               (state.refreshMinutes == 720 ? QStringLiteral("twice a day") : QStringLiteral("once a day"));
    }
    return name;
}

MenuLook menuLook(Mode mode, bool desktopActive) {
    MenuLook look;
    switch (mode) {
    case Mode::wall:
        look.startTitle = QStringLiteral("Start Wall Now");
        break;
    case Mode::desktop:
        break;
    case Mode::saver:
        look.startTitle = QStringLiteral("Start Screen Saver Now");
        break;
    case Mode::kiosk:
        look.startTitle = QStringLiteral("Start Kiosk Now");
        break;
    }
    look.startVisible = mode != Mode::desktop;
    look.desktopVisible = desktopActive;
    look.updateVisible = mode != Mode::kiosk;
    look.shareVisible = mode != Mode::kiosk;
    return look;
}

bool StatusThumb::due(const std::optional<QDateTime>& last, const QDateTime& now) {
    return !last || last->secsTo(now) >= intervalSeconds;
}
