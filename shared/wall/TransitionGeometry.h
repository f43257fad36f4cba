#pragma once
// What a transition between two clips looks like at a moment: the opacity of the outgoing and incoming
// video layers and the incoming layer's mask. Pure functions of the style, the bounds and the seconds
// since the transition began, so the wall draws exactly what the tests check.

#include "Transition.h"

#include <QPainterPath>
#include <QSizeF>
#include <optional>

struct TransitionFrame {
    double outgoing = 0.0; // opacity of the layer that is leaving
    double incoming = 1.0; // opacity of the layer that is arriving
    // Where the incoming layer shows (view coordinates, y downwards); absent means everywhere.
    std::optional<QPainterPath> mask;
};

namespace TransitionGeometry {
// Fade-through-black's fade-out; none on the first clip, so the first picture rises out of black.
double fadeOutSeconds(Transition style, bool first);
// Seconds after the start when the transition's done action runs (the outgoing player is let go).
double doneAfter(Transition style, bool first);
// The picture at `seconds` after the start; before 0 it is the start, after the end the end.
TransitionFrame at(Transition style, bool first, QSizeF bounds, double seconds);
// The mask shapes of the reveal styles at progress 0 ... 1 (already eased by the caller).
QPainterPath circleMask(QSizeF bounds, double progress);
QPainterPath wipeMask(QSizeF bounds, double progress);
} // namespace TransitionGeometry
