#include "ClipMaking.h"

namespace {
ClipMaking::MakeClip registeredMaker;
ClipMaking::ToPng registeredConverter;
} // namespace

void ClipMaking::install(MakeClip makeClip, ToPng toPng) {
    registeredMaker = std::move(makeClip);
    registeredConverter = std::move(toPng);
}

const ClipMaking::MakeClip& ClipMaking::makeClip() {
    return registeredMaker;
}

const ClipMaking::ToPng& ClipMaking::toPng() {
    return registeredConverter;
}
