#include "Transition.h"

namespace Transitions {

QString rawValue(Transition transition) {
    switch (transition) {
    case Transition::blink:
        return QStringLiteral("blink");
    case Transition::crossfade:
        return QStringLiteral("crossfade");
    case Transition::black:
        return QStringLiteral("black");
    case Transition::circle:
        return QStringLiteral("circle");
    case Transition::wipe:
        return QStringLiteral("wipe");
    }
    return QStringLiteral("black");
}

std::optional<Transition> fromRawValue(const QString& raw) {
    for (Transition transition : allCases)
        if (rawValue(transition) == raw) return transition;
    return std::nullopt;
}

QString label(Transition transition) {
    switch (transition) {
    case Transition::blink:
        return QStringLiteral("Blink");
    case Transition::crossfade:
        return QStringLiteral("Crossfade");
    case Transition::black:
        return QStringLiteral("Fade through black");
    case Transition::circle:
        return QStringLiteral("Circular reveal");
    case Transition::wipe:
        return QStringLiteral("Wipe");
    }
    return {};
}

bool keepsInstant(Transition transition) {
    switch (transition) {
    case Transition::crossfade:
    case Transition::circle:
    case Transition::wipe:
        return true;
    case Transition::blink:
    case Transition::black:
        return false;
    }
    return false;
}

Transition effective(Transition transition, bool first, bool reduceMotion) {
    if (reduceMotion && (transition == Transition::circle || transition == Transition::wipe))
        return Transition::crossfade;
    if (first && transition == Transition::blink) return Transition::crossfade;
    return transition;
}

} // namespace Transitions
