#pragma once
// One frame of a clip made on this computer from a slot's images: a channel as published, or a
// composite of several channels with everything outside the disc and its corona masked. Pure pixel
// work on decoded images; callers decode and encode.

#include "ClipMaking.h"

#include <QImage>
#include <vector>

namespace SlotPicture {

// The solar disc's radius in a square image of `size` pixels, as the archive's 1k images show it.
double discRadius(int size);

// The frame of `kind` from the channels' pictures (in the order ClipMaking names; a null image for a
// channel missing). For `single`, the one picture itself. The result is `size` x `size`, RGB32.
QImage compose(ClipMaking::Kind kind, const std::vector<QImage>& pictures, int size);

} // namespace SlotPicture
