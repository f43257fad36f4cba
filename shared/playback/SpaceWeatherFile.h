#pragma once
// The space-weather file as its readers (walls, tray, saver) see it: read again only when it changed on
// disk, so asking often costs one look at the file's size and time, and a damaged file is reported once,
// not at every asking. Never waits on the refresh pass: the pass replaces the file atomically. One
// instance per reader, on one thread.

#include "SpaceWeather.h"

#include <QDateTime>
#include <QString>
#include <optional>

class SpaceWeatherFile {
public:
    // The record in the cache folder's file now; nothing when there is none or it is unreadable.
    const std::optional<SpaceWeather::Record>& current();

private:
    bool read_ = false;
    QString path_;
    bool exists_ = false;
    qint64 size_ = -1;
    QDateTime modified_;
    std::optional<SpaceWeather::Record> record_;
};
