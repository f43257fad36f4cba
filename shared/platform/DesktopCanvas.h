#pragma once
// What the adapters share: drawing stills fitted on black into screen rectangles (for desktops that take
// one picture for all screens, or a root pixmap), and the options an adapter records in a picture URL's
// fragment so that it can put a picture back exactly as it was.

#include "DesktopPicture.h"

#include <QImage>
#include <QMap>
#include <QPair>

class QPainter;

namespace DesktopCanvas {

// The rectangle around every screen (empty for no screens).
QRect bounds(const std::vector<DesktopScreen>& screens);

// Fills `target` (in the canvas's pixels) black and draws the picture in `file` into it, scaled up or
// down to fit whole and centred. Nothing on success, else why the picture could not be read.
std::optional<QString> drawFitted(QImage& canvas, const QRect& target, const QString& file);
// The same with a picture already read, through a painter of the caller's.
void drawFitted(QPainter& painter, const QRect& target, const QImage& picture);

// `file` as URL text with `options` as its fragment ("key=value&..."); plain URL text without options.
QString withOptions(const QUrl& file, const QList<QPair<QString, QString>>& options);
// The options a URL carries in its fragment (key -> value).
QMap<QString, QString> options(const QUrl& url);
// The URL without its fragment.
QUrl withoutOptions(QUrl url);
// The local path of a picture URL text, also for a bare path; empty when it names no local file.
QString localPath(const QString& urlOrPath);

} // namespace DesktopCanvas
