#include "Diagnostics.h"

#include "BuildInfo.h"
#include "Cache.h"
#include "DirectSource.h"
#include "GeomagneticStatus.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SourceStatus.h"
#include "SpaceWeather.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

QString info(const char* value) {
    const QString text = QString::fromUtf8(value);
    return text.isEmpty() ? QStringLiteral("unknown") : text;
}

QString yesNo(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString isoDate(const QDateTime& when) {
    return when.toUTC().toString(Qt::ISODate);
}

QString dateOrNever(const QDateTime& when) {
    if (!when.isValid() || when <= Settings::distantPast()) return QStringLiteral("never");
    return isoDate(when);
}

// 5 is written "5.0"; other values in their shortest exact form. A hand-edited settings file can hold
// any double, infinities included, so whole numbers are recognised without converting to an integer.
QString decimal(double value) {
    if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::trunc(value))
        return QString::number(value, 'f', 0) + QStringLiteral(".0");
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString orText(const QString& value, const char* otherwise) {
    return value.isEmpty() ? QString::fromLatin1(otherwise) : value;
}

QString indexLine() {
    QFile file(Cache::file(QStringLiteral("index.json")));
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("  none on disk");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("  unreadable: ") + error.errorString();
    if (!document.isObject()) return QStringLiteral("  unreadable: the index is not a JSON object");
    const QJsonObject index = document.object();
    const QJsonValue generated = index.value(QLatin1String("generated"));
    const QJsonValue mirrored = index.value(QLatin1String("mirrored"));
    const QJsonValue failed = index.value(QLatin1String("failed"));
    if (!generated.isUndefined() && !generated.isString())
        return QStringLiteral("  unreadable: generated is not a text");
    // An empty list says nothing failed; a list of anything but names records nothing.
    QString failedText = QStringLiteral("not recorded");
    if (failed.isArray()) {
        QStringList ids;
        for (const QJsonValue& id : failed.toArray())
            if (id.isString()) ids << id.toString();
        if (!ids.isEmpty())
            failedText = ids.join(QLatin1Char(' '));
        else if (failed.toArray().isEmpty())
            failedText = QStringLiteral("none");
    }
    return QStringLiteral("  generated ") +
           (generated.isString() ? generated.toString() : QStringLiteral("unknown")) +
           QStringLiteral(", mirrored ") +
           (mirrored.isString() ? mirrored.toString() : QStringLiteral("not recorded")) +
           QStringLiteral(", failed ") + failedText;
}

// The space-weather file: where it comes from and how old it is, the X-ray level now, and the flares
// that peaked in the 48 hours before `now` (one still in progress counts by its class so far).
QStringList spaceWeatherLines(const std::optional<SpaceWeather::Record>& record, const QDateTime& now) {
    if (!record) return {QStringLiteral("  no space-weather file yet")};
    QStringList lines;
    const int satellite = record->latest ? record->latest->satellite : 0;
    lines << QStringLiteral("  source ") + SpaceWeather::sourceName(satellite) +
                 (record->fetched.isValid()
                      ? QStringLiteral(", file from ") + isoDate(record->fetched) + QStringLiteral(", ") +
                            SourceStatus::age(record->fetched, now)
                      : QStringLiteral(", file of unknown age"));
    if (record->latest)
        lines << QStringLiteral("  X-ray level ") + SpaceWeather::classFromFlux(record->latest->flux) +
                     QStringLiteral(" at ") + isoDate(record->latest->time);
    else
        lines << QStringLiteral("  X-ray level unknown");
    const auto recent = SpaceWeather::within(record->flares, now.addSecs(-48 * 3600), now);
    QStringList counts;
    for (const char letter : {'C', 'M', 'X'})
        counts << QStringLiteral("%1 %2")
                      .arg(QLatin1Char(letter))
                      .arg(
                          std::count_if(recent.begin(), recent.end(), [letter](const SpaceWeather::Flare& f) {
                              return f.peakClass.startsWith(QLatin1Char(letter));
                          }));
    lines << QStringLiteral("  flares in the last 48 hours: ") + counts.join(QStringLiteral(", "));
    if (const auto top = SpaceWeather::largest(recent)) {
        QString when;
        if (!top->peak.isValid())
            when = QStringLiteral("in progress since ") + isoDate(top->begin);
        else
            when = (top->inProgress() ? QStringLiteral("peak so far ") : QStringLiteral("peak ")) +
                   isoDate(top->peak);
        lines << QStringLiteral("  largest ") + top->peakClass + QStringLiteral(", ") + when;
    } else {
        lines << QStringLiteral("  largest: none");
    }
    return lines;
}

// The address the direct source reads, as this process would: NASA SDO's own, or the stand-in that
// SOLVANE_SDO_BASE names.
QString directBase() {
    QString error;
    const auto base = DirectSource::base(&error);
    if (!base) return error;
    const char* override = std::getenv("SOLVANE_SDO_BASE");
    return override && *override ? *base + QStringLiteral(" from SOLVANE_SDO_BASE") : *base;
}

// One line per connected screen with the entry it shows (the entries repeat when there are more screens
// than entries), then the entries stored for screens that are not connected now. Without the connected
// screens, the stored entries alone.
QStringList screenLines(const QStringList& products, const std::optional<QStringList>& screens) {
    auto entry = [](const QString& text) { return orText(text, "every product"); };
    QStringList lines;
    if (!screens) {
        lines << QStringLiteral("  connected screens not known: Solvane is not running");
        for (int i = 0; i < products.size(); ++i)
            lines << QStringLiteral("  screen %1: ").arg(i + 1) + entry(products[i]);
        return lines;
    }
    lines << (screens->size() == 1 ? QStringLiteral("  1 screen connected")
                                   : QStringLiteral("  %1 screens connected").arg(screens->size()));
    for (int i = 0; i < screens->size(); ++i)
        lines << QStringLiteral("  screen %1 (%2): ").arg(i + 1).arg(screens->at(i)) +
                     entry(products.isEmpty() ? QString() : products[i % products.size()]);
    for (qsizetype i = screens->size(); i < products.size(); ++i)
        lines << QStringLiteral("  screen %1: ").arg(i + 1) + entry(products[i]) +
                     QStringLiteral(" (not connected)");
    return lines;
}

} // namespace

QString Diagnostics::cadence(double refreshMinutes) {
    const QString often =
        refreshMinutes == 720 ? QStringLiteral("twice a day") : QStringLiteral("once a day");
    return QStringLiteral("checks every hour; fetches new images ") + often +
           QStringLiteral(", sooner after a failed check or for a missing product");
}

QString Diagnostics::logHint() {
    return QStringLiteral("journalctl -t solvane shows every log line with its time "
                          "(add SOLVANE_CATEGORY=desktop for the desktop picture alone)");
}

QString Diagnostics::screenText(const QString& name, int width, int height) {
    return QStringLiteral("%1, %2x%3")
        .arg(name.isEmpty() ? QStringLiteral("unnamed") : name)
        .arg(width)
        .arg(height);
}

QString Diagnostics::screensRecord() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) folder = QDir::tempPath();
    return folder + QStringLiteral("/solvane-screens");
}

bool Diagnostics::recordScreens(const QStringList& screens, const QString& path) {
    QSaveFile file(path);
    QByteArray text = "pid " + QByteArray::number(qint64(::getpid())) + '\n';
    for (const QString& screen : screens)
        text += screen.toUtf8() + '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit()) return true;
    log(QStringLiteral("diagnostics: could not record the screens in ") + path + QStringLiteral(": ") +
            file.errorString(),
        LogArea::app);
    return false;
}

std::optional<QStringList> Diagnostics::connectedScreens(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty() || !lines.front().startsWith(QLatin1String("pid "))) return std::nullopt;
    bool ok = false;
    const qint64 pid = lines.takeFirst().mid(4).toLongLong(&ok);
    // A record left by a program that ended says nothing about the screens now.
    if (!ok || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM)) return std::nullopt;
    return lines;
}

QString Diagnostics::operatingSystem(const QString& osRelease) {
    QFile file(osRelease);
    QString pretty, name, version;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals <= 0) continue;
            QString value = line.mid(equals + 1).trimmed();
            if (value.size() >= 2 &&
                (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))) &&
                value.endsWith(value.front()))
                value = value.mid(1, value.size() - 2);
            const QString key = line.left(equals);
            if (key == QLatin1String("PRETTY_NAME")) pretty = value;
            if (key == QLatin1String("NAME")) name = value;
            if (key == QLatin1String("VERSION_ID")) version = value;
        }
    }
    if (!pretty.isEmpty()) return pretty;
    if (!name.isEmpty()) return version.isEmpty() ? name : name + QLatin1Char(' ') + version;
    utsname system{};
    if (::uname(&system) == 0) return QStringLiteral("Linux ") + QString::fromLocal8Bit(system.release);
    return QStringLiteral("Linux");
}

QStringList Diagnostics::homes() {
    QStringList found;
    found << QString::fromLocal8Bit(std::getenv("HOME"));
    found << QDir::homePath();
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        found << QString::fromLocal8Bit(user->pw_dir);
    else
        found << QString();
    return found;
}

QString Diagnostics::redact(const QString& text, const QStringList& homePaths) {
    std::vector<QString> paths;
    for (const QString& path : homePaths)
        if (path.size() > 1) paths.push_back(path);
    std::stable_sort(paths.begin(), paths.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
    QString result = text;
    for (const QString& path : paths)
        result.replace(path, QStringLiteral("~"));
    return result;
}

QString Diagnostics::report(const QDateTime& now, const std::optional<QStringList>& screens) {
    QStringList lines;
    lines << QStringLiteral("Solvane ") + info(BuildInfo::version) + QStringLiteral(" (") +
                 info(BuildInfo::buildNumber) + QStringLiteral(") ") + info(BuildInfo::gitCommit);
    lines << operatingSystem();
    lines << QStringLiteral("report ") + isoDate(now);
    const QString feed = QString::fromUtf8(BuildInfo::feedURL);
    lines << QStringLiteral("update feed ") + (feed.isEmpty() ? QStringLiteral("none in this build") : feed);
    lines << QStringLiteral("log: ") + logHint();
    lines << QString();

    lines << QStringLiteral("Settings");
    lines << QStringLiteral("  mode ") + Modes::rawValue(Settings::mode());
    lines << screenLines(Settings::products(), screens);
    lines << QStringLiteral("  idle minutes ") + decimal(Settings::idleMinutes()) +
                 QStringLiteral(", lock on dismiss ") + yesNo(Settings::lockOnDismiss());
    lines << QStringLiteral("  offline ") + yesNo(Settings::offline()) + QStringLiteral(", ") +
                 cadence(Settings::refreshMinutes()) +
                 QStringLiteral(" (%1 min)").arg(qint64(Settings::refreshMinutes()));
    lines << QStringLiteral("  desktop picture ") + yesNo(Settings::desktop()) +
                 QStringLiteral(", previous picture remembered ") +
                 yesNo(Settings::previousDesktop().has_value());
    lines << QStringLiteral("  attribution ") + yesNo(Settings::attribution()) +
                 QStringLiteral(", shuffle ") + yesNo(Settings::shuffle()) + QStringLiteral(", loops ") +
                 QString::number(Settings::loops()) + QStringLiteral(", transition ") +
                 Transitions::rawValue(Settings::transition());
    const QString imageryHost = Settings::imageryHost();
    lines << QStringLiteral("  imagery host ") +
                 (imageryHost.isEmpty() ? QStringLiteral("none (NASA SDO, direct at ") + directBase() + ')'
                                        : imageryHost) +
                 QStringLiteral(", store host ") + orText(Settings::storeHost(), "none");
    lines << QStringLiteral("  last scheduled check ") + dateOrNever(Settings::lastCheck()) +
                 QStringLiteral(", last button check ") + dateOrNever(Settings::lastManual());
    lines << QString();

    lines << QStringLiteral("Cache");
    lines << QStringLiteral("  folder ") + Cache::dir() +
                 (Cache::readOnly() ? QStringLiteral(" (read-only)") : QString());
    const auto entries = Cache::entries();
    lines << QStringLiteral("  %1 product(s) on disk").arg(entries.size());
    for (const CacheEntry& entry : entries) {
        QString line = QStringLiteral("  ") + orText(entry.id, "unknown") +
                       QStringLiteral(": clip through ") + orText(entry.updated, "unknown");
        line += entry.still
                    ? QStringLiteral(", still ") + entry.stillUpdated.value_or(QStringLiteral("unknown"))
                    : QStringLiteral(", no still");
        if (entry.frameCount) line += QStringLiteral(", %1 real frames").arg(*entry.frameCount);
        lines << line;
    }
    const auto lastPass = Cache::lastPass();
    if (const auto newest = SourceStatus::newestImagery(entries, lastPass))
        lines << QStringLiteral("  newest image ") + isoDate(*newest) + QStringLiteral(", ") +
                     SourceStatus::age(*newest, now);
    else
        lines << QStringLiteral("  newest image: none downloaded");
    lines << QString();

    lines << QStringLiteral("Index");
    lines << indexLine();
    lines << QString();

    lines << QStringLiteral("Last pass");
    if (const auto& pass = lastPass) {
        lines << QStringLiteral("  finished ") + pass->finished + QStringLiteral(", ") +
                     (pass->check ? QStringLiteral("checked") : QStringLiteral("filled missing")) +
                     (pass->everything ? QStringLiteral(", everything") : QString());
        const bool direct = pass->host == QLatin1String(DirectSource::hostLabel);
        lines << QStringLiteral("  host ") +
                     (direct ? directBase() + QStringLiteral(" (direct)") : pass->host) +
                     (pass->usedOrigin ? QStringLiteral(" (origin fallback)") : QString());
        lines << QStringLiteral("  listed %1, moved %2, pruned %3, failed ")
                         .arg(pass->listed)
                         .arg(pass->moved)
                         .arg(pass->pruned) +
                     (pass->failed.isEmpty() ? QStringLiteral("none") : pass->failed.join(QLatin1Char(' ')));
        lines << QStringLiteral("  source ") + SourceStatus::sourceName(pass->host) +
                     (pass->reached
                          ? QStringLiteral(", answered")
                          : QStringLiteral(", not reached: ") + orText(pass->reason, "no reason given"));
        for (const QString& stopped : {pass->writeFailure, pass->cutShort})
            if (!stopped.isEmpty()) lines << QStringLiteral("  ") + stopped;
    } else {
        lines << QStringLiteral("  none recorded");
    }
    lines << QString();

    const std::optional<SpaceWeather::Record> weather = SpaceWeather::load();
    lines << QStringLiteral("Space weather");
    lines << spaceWeatherLines(weather, now);
    lines << QString();
    lines << QStringLiteral("Geomagnetic");
    lines << GeomagneticStatus::reportLines(weather ? std::optional(weather->geomagnetic) : std::nullopt,
                                            now);
    return redact(lines.join(QLatin1Char('\n')), homes());
}
