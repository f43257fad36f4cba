#include "LookState.h"

#include "Looks.h"
#include "SolarTime.h"

#include <cmath>
#include <cstdlib>

LookState::LookState(std::shared_ptr<FrameSource> frames, Look look, int lag)
    : frames_(std::move(frames)), look_(look), lag_(lag) {}

QImage LookState::render(const Request& request) {
    switch (look_) {
    case Look::natural:
        return request.source;
    case Look::detail:
        return Looks::detail(request.source); // the same extent as the source
    case Look::running:
        return runningDifference(request.source, request.seconds);
    case Look::base:
        return baseDifference(request.source);
    }
    return request.source;
}

QImage LookState::runningDifference(const QImage& source, double seconds) {
    const double rounded = SolarTime::roundHalfAway(seconds * SolarTime::fps);
    // A time that is not finite (or absurd) has no slot: show the frame against itself, flat grey.
    if (!std::isfinite(rounded) || std::abs(rounded) > 1e9) return difference(source, source, source.rect());
    const int slot = static_cast<int>(rounded);
    const int window = lag_ + 6;

    std::optional<QImage> reference;
    const int prior = slot - lag_;
    {
        std::lock_guard guard(lock_);
        history_[slot] = source;
        // Keep only the frames near the current one, so looping and scrubbing cannot grow the history.
        for (auto it = history_.begin(); it != history_.end();)
            it = std::abs(it->first - slot) > window ? history_.erase(it) : std::next(it);
        if (prior < 0)
            reference = source;
        else if (auto found = history_.find(prior); found != history_.end())
            reference = found->second;
    }
    if (!reference) reference = fetch(prior);
    return difference(source, reference ? *reference : source, source.rect());
}

QImage LookState::baseDifference(const QImage& source) {
    std::optional<QImage> reference;
    {
        std::lock_guard guard(lock_);
        reference = base_;
    }
    if (!reference) {
        if (auto first = fetch(0)) {
            std::lock_guard guard(lock_);
            if (!base_) base_ = *first;
            reference = base_;
        }
    }
    return difference(source, reference ? *reference : source, source.rect());
}

std::optional<QImage> LookState::fetch(int slot) {
    if (!frames_ || slot < 0) return std::nullopt;
    std::lock_guard guard(fetchLock_);
    auto frame = frames_->frameAt(slot, static_cast<qint32>(SolarTime::fps));
    if (frame && frame->isNull()) return std::nullopt;
    return frame;
}

QImage LookState::difference(const QImage& a, const QImage& b, const QRect& rect) {
    // Decoded frames are already in display tone: the linear working values passed through the sRGB
    // tone curve. So the kernel runs on them as they are, and the result is in display tone as well;
    // going to linear light and back around it would only add rounding.
    const auto cropped = [&rect](const QImage& image) {
        return image.rect() == rect ? image : image.copy(rect);
    };
    return cropped(Looks::difference(a, cropped(b)));
}

size_t LookState::historySize() const {
    std::lock_guard guard(lock_);
    return history_.size();
}

std::vector<int> LookState::historySlots() const {
    std::lock_guard guard(lock_);
    std::vector<int> slotCount;
    for (const auto& [slot, frame] : history_)
        slotCount.push_back(slot);
    return slotCount;
}

bool LookState::hasBase() const {
    std::lock_guard guard(lock_);
    return base_.has_value();
}
