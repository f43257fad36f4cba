#pragma once
// The clip maker the refresh pass uses for imagery made on this computer (see ClipMaking.h): decodes
// each slot's images, composes the frame, encodes the clip and writes the newest frame as the still.

#include "ClipMaking.h"

namespace DirectClips {

// Makes the job's clip and still on a thread of lowered priority and waits for it. Both files are
// replaced only when complete. Images that do not decode are named in the outcome, all of them. With a
// pieces folder the clip is encoded in pieces kept there: a stop asked for (Cache::requestStop) ends the
// work after the piece in hand, and the next run goes on from the pieces made.
ClipMaking::Outcome make(const ClipMaking::Job& job);

// Decodes an image file and writes it as PNG (replacing `png` only when complete).
bool toPng(const QString& image, const QString& png, QString& error);

// Whether an image file decodes, quickly (a small size); the reason when not.
bool decodes(const QString& image, QString& error);

// Registers both with the refresh pass. Called once at start-up by the program.
void install();

} // namespace DirectClips
