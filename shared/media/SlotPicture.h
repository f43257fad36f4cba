#pragma once
// One frame of a clip made on this computer from a slot's images: a channel as published, or a
// composite of several channels. Pure pixel work on decoded images; callers decode and encode.

#include "ClipMaking.h"

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>
#include <vector>

namespace SlotPicture {

// The solar disc's radius in a square image of `size` pixels, as the archive's 1k images show it.
double discRadius(int size);

// How one channel's brightness (0-255) is stretched to fill its primary: the level of the dark sky
// becomes black and the brightest of the disc full light.
using Stretch = std::array<std::uint8_t, 256>;
// The stretch of a channel from one of its pictures (`size` square). A picture without contrast (or
// none) gets the identity.
Stretch stretchOf(const QImage& picture, int size);

// What the frames of one clip share, worked out once: which channel each pixel of the rainbow shows
// (as runs along each row), and each channel's stretch in the ultraviolet composite. compose() only
// reads it (several threads may compose at once); stretchFrom() must not run beside it.
class Composer {
public:
    // `channels` pictures per frame (ClipMaking's order), `size` x `size` frames.
    Composer(ClipMaking::Kind kind, int channels, int size);

    // The part of channel `index`'s picture that frames show; a picture decoded to just this rectangle
    // (with the rectangle's top left as its offset) composes as the whole one does.
    QRect region(int index) const;

    // Stretches each channel as its picture here has it (the ultraviolet composite; the others ignore
    // it). A null picture leaves that channel's stretch as it was (the identity at first).
    void stretchFrom(const std::vector<QImage>& pictures);

    // The frame, RGB32, `size` x `size`, from one picture per channel: the whole picture, or just its
    // region (see region()), or any other size (then scaled); a null image for a channel missing. For
    // `single`, the one picture itself.
    QImage compose(const std::vector<QImage>& pictures) const;

    // Each channel's stretch (the identity where none was set): part of what a frame is made of.
    const std::vector<Stretch>& stretches() const { return stretches_; }

private:
    struct Run {
        int from;    // first pixel of the row
        int to;      // one past the last
        int channel; // whose picture fills it
    };
    ClipMaking::Kind kind_;
    int channels_;
    int size_;
    std::vector<Run> runs_;      // the rainbow's wedges, row after row
    std::vector<int> rowStarts_; // index into runs_ of each row's first run, and one past the end
    std::vector<QRect> regions_;
    std::vector<Stretch> stretches_;
};

// One frame on its own: a composer for it, stretched from these pictures.
QImage compose(ClipMaking::Kind kind, const std::vector<QImage>& pictures, int size);

} // namespace SlotPicture
