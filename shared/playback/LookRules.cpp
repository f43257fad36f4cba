#include "LookRules.h"

#include <algorithm>

std::vector<Look> Looks::allowed(const QString& product) {
    if (product.toLower().startsWith(QLatin1String("punch")))
        return {Look::natural, Look::detail, Look::running};
    return {allCases.begin(), allCases.end()};
}

Look Looks::resolved(const QString& product, Look look) {
    const auto looks = allowed(product);
    return std::find(looks.begin(), looks.end(), look) != looks.end() ? look : Look::natural;
}

Look Looks::resolved(const QString& product, Look look, ReduceMotion reduceMotion) {
    if (reduceMotion == ReduceMotion::on && look == Look::running) return Look::natural;
    return resolved(product, look);
}

namespace {

Look after(const std::vector<Look>& looks, Look look) {
    const auto at = std::find(looks.begin(), looks.end(), look);
    if (at == looks.end()) return Look::natural;
    const auto following = std::next(at);
    return following == looks.end() ? looks.front() : *following;
}

} // namespace

Look Looks::next(const QString& product, Look look) {
    return after(allowed(product), look);
}

Look Looks::next(const QString& product, Look look, ReduceMotion reduceMotion) {
    auto looks = allowed(product);
    if (reduceMotion == ReduceMotion::on) std::erase(looks, Look::running);
    return after(looks, look);
}
