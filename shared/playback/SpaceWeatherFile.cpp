#include "SpaceWeatherFile.h"

#include "Cache.h"

#include <QFileInfo>

const std::optional<SpaceWeather::Record>& SpaceWeatherFile::current() {
    const QString path = Cache::file(QString::fromLatin1(SpaceWeather::fileName));
    const QFileInfo info(path);
    const bool exists = info.exists();
    const qint64 size = exists ? info.size() : -1;
    const QDateTime modified = exists ? info.lastModified() : QDateTime();
    if (read_ && path == path_ && exists == exists_ && size == size_ && modified == modified_) return record_;
    read_ = true;
    path_ = path;
    exists_ = exists;
    size_ = size;
    modified_ = modified;
    record_ = exists ? SpaceWeather::load() : std::nullopt;
    return record_;
}
