#include "ClipMaking.h"

namespace {
ClipMaking::MakeClip registeredMaker;
ClipMaking::ToPng registeredConverter;
ClipMaking::Decodes registeredCheck;
} // namespace

void ClipMaking::install(MakeClip makeClip, ToPng toPng, Decodes decodes) {
    registeredMaker = std::move(makeClip);
    registeredConverter = std::move(toPng);
    registeredCheck = std::move(decodes);
}

const ClipMaking::MakeClip& ClipMaking::makeClip() {
    return registeredMaker;
}

const ClipMaking::ToPng& ClipMaking::toPng() {
    return registeredConverter;
}

const ClipMaking::Decodes& ClipMaking::decodes() {
    return registeredCheck;
}
