#pragma once
// What a clip file holds, read once when it is opened: its length and its video track's size and turn.

#include <QSize>
#include <QString>
#include <optional>

struct ClipAsset {
    QString path;
    double durationSeconds = 0;
    QSize size;                    // the video track's stored size, before the display rotation
    int rotationDegrees = 0;       // clockwise turn that shows the picture upright: 0, 90, 180 or 270
    std::optional<int> frameCount; // as the container states it, when it does
    double frameRate = 0;          // frames per second, 0 when unknown

    // The size the picture shows at, after the rotation.
    QSize displaySize() const { return rotationDegrees % 180 ? size.transposed() : size; }

    // Reads the clip's header; nothing, with the reason in `error`, when it is no playable video.
    static std::optional<ClipAsset> open(const QString& path, QString* error = nullptr);
};
