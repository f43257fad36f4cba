#include "ClipAsset.h"

#include "Decoder.h"

std::optional<ClipAsset> ClipAsset::open(const QString& path, QString* error) {
    const auto decoder = Decoder::open(path, Decoder::Threads::single, error);
    if (!decoder) return std::nullopt;
    ClipAsset asset;
    asset.path = path;
    asset.durationSeconds = decoder->durationSeconds();
    asset.size = decoder->codedSize();
    asset.rotationDegrees = decoder->rotationDegrees();
    asset.frameCount = decoder->frameCount();
    asset.frameRate = decoder->frameRate();
    return asset;
}
