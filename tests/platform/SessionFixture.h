#pragma once
// What the session tests share: the sandbox home, test pictures, reading the X root, waiting for bus names.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>

struct TestSession {
    QString home;
    static TestSession* current;
};

// A PNG of one colour in `folder`; its path.
QString solidPicture(const QString& folder, const QString& name, QColor colour, QSize size);
// The colour of a pixel of an image file (invalid when unreadable).
QColor pixelAt(const QString& file, QPoint point);
// The root window as a PNG through xwd and ImageMagick; empty on failure.
QString grabRoot(const QString& folder);
// Whether `name` is owned on the session (false) or system (true) bus, waiting up to 30 s for it.
bool waitForName(const QString& name, bool system);
