// Where WallView's two slots show their frames: the rectangle each frame takes, its opacity and mask
// through a transition, and what a new frame repaints.

#include "WallView.h"

#include "WallViewPixels.h"
#include "WallViewSlot.h"

#include "TransitionGeometry.h"

#include <QPainter>
#include <QRegion>

void WallView::frameArrived() {
    // A new frame of a lone, opaque picture changes only its own rectangle; anything else (a transition,
    // a first frame) repaints the whole view.
    if (frameRect_.isEmpty() || running_)
        update();
    else
        update(frameRect_);
}

bool WallView::writeFrame(QPainter& painter, Slot& slot, const QRegion& region) {
    // A decoded frame shown alone and repainted whole goes straight into the window's pixels, with no
    // picture in between and no copy; anything blended, masked or repainted in part is drawn from a
    // picture, except what the chrome's fades repaint between frames, which is kept when written.
    if (!slot.decoded) return false;
    if (QRegion(frameRect_).subtracted(region).isEmpty()) {
        const auto pixels = WallViewPixels::at(painter, frameRect_, slot.size);
        if (!pixels || !slot.converter.write(slot.decoded.get(), slot.size, pixels->bits(), pixels->stride()))
            return false;
        ++framesWritten_;
        slot.underRect = animator_.animating() ? chromeBand() & frameRect_ : QRect();
        slot.under = slot.underRect.isEmpty() ? QImage() : pixels->copy(painter, slot.underRect);
        return true;
    }
    if (slot.under.isNull() || !region.intersected(frameRect_).subtracted(slot.underRect).isEmpty())
        return false;
    painter.drawImage(QRectF(slot.underRect), slot.under);
    return true;
}

QRectF WallView::frameTarget(int index) const {
    const Slot& slot = *slots_[static_cast<size_t>(index)];
    if (slot.empty()) return {};
    // Aspect fit, centred on black: the whole disc is always visible.
    QSizeF fitted = QSizeF(slot.size) / options_.scale;
    fitted.scale(QSizeF(size()), Qt::KeepAspectRatio);
    return {(width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0, fitted.width(),
            fitted.height()};
}

double WallView::layerOpacity(int slot) const {
    const Slot& held = *slots_[static_cast<size_t>(slot)];
    if (!held.player && !held.still) return 0.0;
    if (running_) {
        const auto frame = TransitionGeometry::at(running_->style, running_->first, QSizeF(size()),
                                                  clock_->now() - running_->begin);
        if (slot == running_->to) return frame.incoming;
        if (slot == running_->from) return frame.outgoing;
    }
    return slot == active_ ? 1.0 : 0.0;
}

std::optional<QPainterPath> WallView::layerMask(int slot) const {
    if (!running_ || slot != running_->to) return std::nullopt;
    return TransitionGeometry::at(running_->style, running_->first, QSizeF(size()),
                                  clock_->now() - running_->begin)
        .mask;
}
