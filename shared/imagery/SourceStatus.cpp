#include "SourceStatus.h"

#include "Cache.h"
#include "CacheSettings.h"
#include "Settings.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>

namespace {

const QString seedVideo = QStringLiteral("seed.mp4");

QDateTime parsed(const QString& iso) {
    QDateTime when = QDateTime::fromString(iso, Qt::ISODate);
    if (when.isValid() && when.timeSpec() == Qt::LocalTime) when.setTimeZone(QTimeZone::utc());
    return when;
}

std::optional<QDateTime> seedTime(const std::vector<CacheEntry>& entries) {
    for (const CacheEntry& entry : entries)
        if (entry.video == seedVideo) {
            const QDateTime when = parsed(entry.updated);
            if (when.isValid()) return when;
        }
    return std::nullopt;
}

QString plural(qint64 count, const char* unit) {
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(unit) +
           (count == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" old");
}

QString showingFrom(const SourceStatus::State& state, const std::optional<QDateTime>& newest) {
    if (newest)
        return QStringLiteral("Showing imagery from ") + SourceStatus::day(*newest) + QStringLiteral(", ") +
               SourceStatus::age(*newest, state.now) + QLatin1Char('.');
    if (const auto seed = seedTime(state.entries))
        return QStringLiteral("Showing the built-in clip from ") + SourceStatus::day(*seed) +
               QLatin1Char('.');
    return {};
}

// Two sentences with one space between, or the first alone.
QString joined(const QString& first, const QString& second) {
    return second.isEmpty() ? first : first + QLatin1Char(' ') + second;
}

} // namespace

SourceStatus::State SourceStatus::current(bool downloading, const QDateTime& now) {
    State state;
    state.pass = Cache::lastPass();
    state.entries = Cache::entries();
    state.imageryHost = Settings::imageryHost();
    state.offline = Settings::offline();
    state.downloading = downloading;
    state.meteredHolds = CacheSettings::meteredHolds();
    state.now = now;
    return state;
}

QString SourceStatus::configuredHost(const QString& imageryHost) {
    return imageryHost.trimmed().isEmpty() ? QString::fromLatin1(directHost) : imageryHost.trimmed();
}

QString SourceStatus::sourceName(const QString& host) {
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String(directHost) ||
        trimmed.startsWith(QLatin1String("sdo.gsfc.nasa.gov")))
        return QStringLiteral("NASA SDO");
    return trimmed;
}

QString SourceStatus::age(const QDateTime& when, const QDateTime& now) {
    const qint64 seconds = std::max<qint64>(0, when.secsTo(now));
    if (seconds < 60) return QStringLiteral("less than a minute old");
    if (seconds < 2 * 3600) return plural(seconds / 60, "minute");
    if (seconds < 2 * 86400) return plural(seconds / 3600, "hour");
    return plural(seconds / 86400, "day");
}

QString SourceStatus::day(const QDateTime& when) {
    static const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    return english.toString(when.toUTC().date(), QStringLiteral("d MMM yyyy"));
}

std::optional<QDateTime> SourceStatus::newestImagery(const std::vector<CacheEntry>& entries,
                                                     const std::optional<Cache::LastPass>& pass) {
    std::optional<QDateTime> newest;
    auto consider = [&newest](const QString& iso) {
        const QDateTime when = parsed(iso);
        if (when.isValid() && (!newest || when > *newest)) newest = when;
    };
    for (const CacheEntry& entry : entries)
        if (entry.video != seedVideo) consider(entry.updated);
    // The pass's newest only counts while its imagery is still on disk.
    if (pass && newest) consider(pass->newest);
    return newest;
}

namespace {
QString reasonOf(const Cache::LastPass& pass) {
    QString reason = pass.reason.trimmed();
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason.isEmpty() ? QStringLiteral("no answer") : reason;
}
} // namespace

std::optional<QString> SourceStatus::unreached(const std::optional<Cache::LastPass>& before,
                                               const std::optional<Cache::LastPass>& after) {
    if (!after || after->reached || after == before) return std::nullopt;
    return QStringLiteral("can't reach ") + sourceName(after->host) + QStringLiteral(": ") + reasonOf(*after);
}

std::optional<QString> SourceStatus::problem(const Cache::LastPass& pass) {
    auto sentence = [](QString text) {
        text = text.trimmed();
        while (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        if (!text.isEmpty()) text[0] = text[0].toUpper();
        return text + QLatin1Char('.');
    };
    if (!pass.writeFailure.trimmed().isEmpty()) return sentence(pass.writeFailure);
    if (!pass.cutShort.trimmed().isEmpty())
        return sentence(QStringLiteral("the last check was ") + pass.cutShort.trimmed());
    return std::nullopt;
}

QString SourceStatus::showing(const State& state) {
    return showingFrom(state, newestImagery(state.entries, state.pass));
}

QString SourceStatus::line(const State& state) {
    const QString host = state.pass ? state.pass->host : configuredHost(state.imageryHost);
    const QString name = sourceName(host.isEmpty() ? configuredHost(state.imageryHost) : host);
    const auto newest = newestImagery(state.entries, state.pass);
    if (state.downloading) return QStringLiteral("Downloading imagery from ") + name + QStringLiteral("…");
    if (state.offline) return joined(QStringLiteral("Offline."), showingFrom(state, newest));
    if (state.pass && !state.pass->reached)
        return joined(QStringLiteral("Can't reach ") + name + QStringLiteral(": ") + reasonOf(*state.pass) +
                          QLatin1Char('.'),
                      showingFrom(state, newest));
    if (state.pass)
        if (const auto stopped = problem(*state.pass)) return joined(*stopped, showingFrom(state, newest));
    if (newest)
        return QStringLiteral("Imagery from ") + name + QStringLiteral("; the newest image is ") +
               age(*newest, state.now) + QLatin1Char('.');
    if (!state.pass)
        return joined(QStringLiteral("Nothing from ") + name + QStringLiteral(" yet."),
                      showingFrom(state, newest));
    return joined(QStringLiteral("Nothing new from ") + name + QLatin1Char('.'), showingFrom(state, newest));
}

QString SourceStatus::meteredNote(const State& state) {
    if (!state.meteredHolds || state.offline || state.downloading) return QString();
    return QStringLiteral("On a metered network: new images wait until Settings allows them.");
}

QString SourceStatus::lineWithNetwork(const State& state) {
    return joined(line(state), meteredNote(state));
}
