#include "TransitionGeometry.h"

#include "Animator.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double crossfadeSeconds = 0.6;
constexpr double blackFadeSeconds = 0.35;
constexpr double blackFadeInSeconds = 0.35;
constexpr double blackDoneMargin = 0.4;
constexpr double circleSeconds = 0.9;
constexpr double wipeSeconds = 0.6;

double fraction(double seconds, double duration) {
    if (!(duration > 0.0)) return 1.0;
    return std::clamp(seconds / duration, 0.0, 1.0);
}
} // namespace

namespace TransitionGeometry {

double fadeOutSeconds(Transition style, bool first) {
    return style == Transition::black && !first ? blackFadeSeconds : 0.0;
}

double doneAfter(Transition style, bool first) {
    switch (style) {
    case Transition::blink:
        return 0.0;
    case Transition::crossfade:
        return crossfadeSeconds;
    case Transition::black:
        return fadeOutSeconds(style, first) + blackDoneMargin;
    case Transition::circle:
        return circleSeconds;
    case Transition::wipe:
        return wipeSeconds;
    }
    return 0.0;
}

QPainterPath circleMask(QSizeF bounds, double progress) {
    const QPointF centre(bounds.width() / 2.0, bounds.height() / 2.0);
    const double full = std::hypot(bounds.width(), bounds.height()) / 2.0;
    // From the ellipse in the 2 x 2 square round the centre to the circle through the corners.
    const double radius = 1.0 + (full - 1.0) * std::clamp(progress, 0.0, 1.0);
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath wipeMask(QSizeF bounds, double progress) {
    QPainterPath path;
    path.addRect(QRectF(0.0, 0.0, bounds.width() * std::clamp(progress, 0.0, 1.0), bounds.height()));
    return path;
}

TransitionFrame at(Transition style, bool first, QSizeF bounds, double seconds) {
    TransitionFrame frame;
    switch (style) {
    case Transition::blink:
        frame.outgoing = 0.0;
        frame.incoming = 1.0;
        break;
    case Transition::crossfade: {
        const double x = fraction(seconds, crossfadeSeconds);
        frame.outgoing = 1.0 - x;
        frame.incoming = x;
        break;
    }
    case Transition::black: {
        const double fadeOut = fadeOutSeconds(style, first);
        frame.outgoing = 1.0 - fraction(seconds, fadeOut);
        // The fade-in waits for the fade-out; until then the incoming layer stays black.
        frame.incoming = fraction(seconds - fadeOut, blackFadeInSeconds);
        break;
    }
    case Transition::circle:
    case Transition::wipe: {
        const double duration = style == Transition::circle ? circleSeconds : wipeSeconds;
        const double x = fraction(seconds, duration);
        frame.incoming = 1.0;
        if (x >= 1.0) {
            // Done: the mask comes off and the outgoing layer goes away at once.
            frame.outgoing = 0.0;
        } else {
            frame.outgoing = 1.0;
            const double eased = easeInEaseOut(x);
            frame.mask = style == Transition::circle ? circleMask(bounds, eased) : wipeMask(bounds, eased);
        }
        break;
    }
    }
    return frame;
}

} // namespace TransitionGeometry
