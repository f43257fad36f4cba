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

namespace {
bool differs(Look look) {
    return look == Look::running || look == Look::base;
}
bool singleFrame(std::optional<int> realFrames) {
    return realFrames && *realFrames <= 1;
}
} // namespace

Look Looks::resolved(const QString& product, Look look, ReduceMotion reduceMotion,
                     std::optional<int> realFrames) {
    const Look shown = resolved(product, look, reduceMotion);
    return differs(shown) && singleFrame(realFrames) ? Look::natural : shown;
}

QString Looks::singleFrameNote(Look asked, std::optional<int> realFrames) {
    if (!differs(asked) || !singleFrame(realFrames)) return {};
    return label(asked) + QStringLiteral(" needs more than one frame; showing Natural");
}
