#include "StatusLine.h"

#include <QLocale>
#include <cmath>

QString statusLine(const StatusState& state) {
    const QString name = Modes::segmentTitle(state.mode);
    // The minutes are truncated, so 2.9 reads "2 min idle"; a huge stored value must not overflow.
    const double minutes = std::isfinite(state.idleMinutes) ? std::trunc(state.idleMinutes) : 0.0;
    const QString idle = QString::number(minutes, 'f', 0) + QStringLiteral(" min idle");
    if (state.showing) return name + QStringLiteral(": on screen");
    if (!state.configured) return QStringLiteral("No mode chosen yet");
    if (state.armedWaiting) return name + QStringLiteral(": armed, starts after ") + idle;
    switch (state.mode) {
    case Mode::wall:
    case Mode::kiosk:
        return name + QStringLiteral(": ready");
    case Mode::saver:
        return QStringLiteral("Screen Saver: starts after ") + idle;
    case Mode::desktop:
        if (state.offline) return QStringLiteral("Desktop: picture fixed, not updating");
        // The last try's failure first: a picture set earlier may be gone since.
        if (!state.pictureFailure.isEmpty()) return QStringLiteral("Desktop: the picture could not be set");
        if (state.pictureSet)
            return QStringLiteral("Desktop: picture set at ") +
                   QLocale().toString(state.pictureSet->toLocalTime().time(), QLocale::ShortFormat);
        return QStringLiteral("Desktop: waiting for today's Sun");
    }
    return name;
}

MenuLook menuLook(Mode mode, bool desktopActive, bool configured) {
    MenuLook look;
    if (!configured) {
        look.startVisible = false;
        look.updateVisible = mode != Mode::kiosk;
        return look;
    }
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
