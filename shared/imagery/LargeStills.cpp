#include "LargeStills.h"

#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "Cache.h"
#include "DirectSource.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr int sizes[] = {2048, 4096};

std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll()).trimmed();
}

void removeLarge(const QString& id, int size) {
    const QString path = Cache::file(LargeStills::fileName(id, size));
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".stamp"));
}

} // namespace

int LargeStills::sizeFor(int width) {
    if (width > sharpestAbove) return 4096;
    if (width > sharpAbove) return 2048;
    return 1024;
}

QString LargeStills::fileName(const QString& id, int size) {
    return id + QLatin1Char('.') + QString::number(size) + QStringLiteral(".jpg");
}

std::optional<QString> LargeStills::stillFor(const CacheEntry& entry, int width) {
    if (!entry.still) return std::nullopt;
    const int wanted = sizeFor(width);
    if (wanted == 1024) return *entry.still;
    const QString time = entry.stillUpdated.value_or(entry.updated);
    for (int size : {wanted, wanted == 2048 ? 4096 : 2048}) {
        const QString name = fileName(entry.id, size);
        if (QFileInfo::exists(Cache::file(name)) &&
            readText(Cache::file(name + QStringLiteral(".stamp"))) == time)
            return name;
    }
    return *entry.still;
}

LargeStills::Cost LargeStills::make(const QStringList& ids, int size) {
    Cost cost;
    QString why;
    const auto base = DirectSource::base(&why);
    struct Wanted {
        QString id;
        QString time;
        Browse::Image image;
    };
    std::vector<Wanted> wanted;
    for (const QString& id : ids) {
        for (int other : sizes)
            if (other != size) removeLarge(id, other);
        const std::vector<int> channels = DirectSource::channelsOf(id);
        const auto time = readText(Cache::file(id + QStringLiteral(".png.stamp")));
        if (size == 1024 || channels.size() != 1 || !time || !base) continue;
        const QString target = Cache::file(fileName(id, size));
        if (QFileInfo::exists(target) && readText(target + QStringLiteral(".stamp")) == *time) continue;
        const QDateTime taken = QDateTime::fromString(*time, Qt::ISODate);
        if (!taken.isValid()) continue;
        // The still's time is its image's, to the second: the name of the large image follows from it.
        const QString name = taken.toUTC().toString(QStringLiteral("yyyyMMdd_HHmmss_")) +
                             QString::number(size) + QLatin1Char('_') +
                             Browse::channelCode(channels.front()) + QStringLiteral(".jpg");
        const auto image = Browse::parseName(name, size);
        if (image) wanted.push_back({id, *time, *image});
    }
    std::vector<BrowseFetch::Request> requests;
    for (const Wanted& w : wanted) {
        BrowseFetch::Request request;
        request.url = *base + QStringLiteral("/assets/img/browse/") +
                      w.image.taken.date().toString(QStringLiteral("yyyy/MM/dd/")) + w.image.name;
        request.destination = Cache::file(fileName(w.id, size));
        request.largestBytes = qint64(32) << 20;
        requests.push_back(request);
    }
    BrowseFetch::run(requests, [&](size_t index, const BrowseFetch::Result& result) {
        ++cost.requests;
        cost.bytes += result.wireBytes;
        const Wanted& w = wanted[index];
        const QString target = requests[index].destination;
        const QString part = target + QStringLiteral(".part");
        QFile file(part);
        QString bad;
        const bool whole = result.status == 200 && file.open(QIODevice::ReadOnly) &&
                           Browse::isWholeJpeg(file.readAll(), size, &bad);
        file.close();
        if (!whole) {
            QFile::remove(part);
            // The older large still no longer matches the still; the screen shows the still itself.
            removeLarge(w.id, size);
            log(QStringLiteral("direct: no %1-pixel still of %2: %3")
                    .arg(size)
                    .arg(w.id, result.status == 200 ? bad
                               : result.status == 0 ? result.error
                                                    : QStringLiteral("HTTP %1").arg(result.status)),
                LogArea::cache);
            return result.writeFailure.isEmpty();
        }
        QFile::remove(target + QStringLiteral(".stamp"));
        if (QFile::exists(target)) QFile::remove(target);
        if (QFile::rename(part, target)) Cache::note(w.time, target + QStringLiteral(".stamp"));
        // A download the cache folder refused to write leaves the rest for another pass.
        return result.writeFailure.isEmpty();
    });
    return cost;
}
