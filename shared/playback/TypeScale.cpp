#include "TypeScale.h"

#include <algorithm>
#include <cmath>

double TypeScale::factor(double height, ViewKind kind) {
    if (kind == ViewKind::preview || !std::isfinite(height)) return 1.0;
    if (kind == ViewKind::mini) return std::clamp(height / miniReference, miniFactor, 1.0);
    return std::min(maxFactor, std::max(1.0, height / reference));
}

double TypeScale::points(double size, double factor) {
    return std::round(size * factor * 2.0) / 2.0;
}
