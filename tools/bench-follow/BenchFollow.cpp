// A simulated day of following NASA: the light passes (one every 20 minutes, at :07, :27 and :47) and
// the day's scheduled pass, against a stand-in of NASA SDO's browse archive that publishes as NASA does
// (each image listed 4 to 7 minutes after it was taken), served by nginx on loopback three ways:
// compressing with validators (gzip on, etag on), plain (neither), and plain without ranges. The day is
// simulated by handing the passes a clock, not by waiting. Prints per server: freshness (the newest frame
// on screen minus NASA's newest image, sampled every minute: median and worst), and per product-day the
// requests, the listing bytes and the image bytes on the wire, against the goals (freshness at most 40
// minutes; listings at most half the images with the compressing server, at most equal with the plain).
// Then what following costs in CPU over the day, as a share of one core (goal at most 1 %): the light
// passes and the clips they re-make (see FollowCost.h for how the re-making is estimated), with one
// re-make against ffmpeg encoding as many frames of the product's images, in the same run.
//
// Usage: bench-follow [--products 171,304] [--generator 'COMMAND']   (products: the program's defaults)
// The generator lays out the stand-in; {root}, {now}, {hours} and {channels} are filled in. By default
// /usr/bin/python3 tools/mirror/make_browse.py {root} --now {now} --hours {hours} --channels {channels}.
// Clips are not encoded during the day (the maker records what it would make), but for the first light
// pass, whose real making is timed and added to when each new frame reaches the screen, and the last
// four of the first server's day, which time three re-makes per product.
#include "BrowseFetch.h"
#include "BrowseRules.h"
#include "Cache.h"
#include "ClipMaking.h"
#include "DirectClips.h"
#include "DirectSource.h"
#include "Follow.h"
#include "FollowCost.h"
#include "FollowPass.h"
#include "MirrorServers.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sys/resource.h>

namespace {

// The simulated day: noon to noon, so that it crosses midnight.
const QDateTime dayStart(QDate(2026, 12, 1), QTime(12, 0), QTimeZone::utc());
const QDateTime dayEnd = dayStart.addDays(1);

QDateTime taken(const QString& name) {
    return QDateTime(QDate::fromString(name.left(8), QStringLiteral("yyyyMMdd")),
                     QTime::fromString(name.mid(9, 6), QStringLiteral("HHmmss")), QTimeZone::utc());
}

// NASA lists an image 4 to 7 minutes after taking it; the same name always gets the same delay.
QDateTime listedAt(const QString& name) {
    return taken(name).addSecs(240 + qint64(qHash(name) % 181));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path + ".tmp");
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return false;
    file.close();
    QFile::remove(path);
    return QFile::rename(path + ".tmp", path);
}

// The archive as NASA would show it at a moment: each day folder's listing keeps the lines of images
// already listed then (and every line that names no image); folders of later days are not there yet.
class Archive {
public:
    explicit Archive(const QString& root) : root_(root) {
        QDir browse(root + "/assets/img/browse");
        for (const QString& year : browse.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& month :
                 QDir(browse.filePath(year)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                for (const QString& day :
                     QDir(browse.filePath(year + "/" + month)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                    const QString folder = browse.filePath(year + "/" + month + "/" + day);
                    full_[QDate(year.toInt(), month.toInt(), day.toInt())] = {
                        folder, readAll(folder + "/index.html")};
                }
    }
    void publish(const QDateTime& now) {
        static const QRegularExpression image(R"((\d{8}_\d{6})_\d+_[0-9A-Za-z]+\.jpg)");
        for (const auto& [day, held] : full_) {
            const QString path = held.first + "/index.html";
            if (day > now.date()) {
                QFile::remove(path);
                continue;
            }
            QByteArray shown;
            shown.reserve(held.second.size());
            for (const QByteArray& line : held.second.split('\n')) {
                const auto match = image.match(QString::fromLatin1(line));
                if (match.hasMatch() && listedAt(match.captured(0)) > now) continue;
                shown += line;
                shown += '\n';
            }
            shown.chop(1);
            if (readAll(path) != shown) writeAll(path, shown);
        }
    }

private:
    QString root_;
    std::map<QDate, std::pair<QString, QByteArray>> full_;
};

struct Day {
    std::vector<double> freshness; // minutes, one per simulated minute
    qint64 requests = 0;
    qint64 listingBytes = 0;
    qint64 imageBytes = 0;
    double passSeconds = 0;         // CPU of the light passes, less what was spent inside the maker
    std::map<QString, int> remakes; // per product, the clips the light passes re-made
};

// The light passes at the end of the day whose clips are made for real: each product's first make
// there leaves its pieces current, and the later ones are re-makes with one new slot, timed.
constexpr int realPassesAtEnd = 4;

// A channel as the stand-in's truth file names it: "171", "HMIIC".
QString truthKey(int channel) {
    QString code = Browse::channelCode(channel);
    while (code.startsWith('0'))
        code.remove(0, 1);
    return code;
}

double percentile(std::vector<double> values, double at) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(std::clamp(at, 0.0, 1.0) * double(values.size() - 1))];
}

std::optional<QDateTime> newestOnScreen(const QString& product) {
    for (const CacheEntry& entry : Cache::entries())
        if (entry.id == product) return QDateTime::fromString(entry.updated, Qt::ISODate);
    return std::nullopt;
}

// A scheduled pass at simulated time `now`, with the deadline a real one starts with.
DirectSource::Outcome scheduledPass(const QSet<QString>& wanted, const QDateTime& now) {
    PassDeadline deadline = DirectSource::startingDeadline();
    return DirectSource::run(wanted, {}, deadline, now);
}

Day simulate(const QString& cache, const QStringList& products, const std::map<QString, QStringList>& truth,
             Archive& archive, FollowCost::Maker& maker, double& makingSeconds) {
    Cache::setDir(cache);
    QSet<QString> wanted(products.begin(), products.end());
    // The 48 hours before the day, filled by a scheduled pass (not counted).
    archive.publish(dayStart);
    const DirectSource::Outcome first = scheduledPass(wanted, dayStart);
    Cache::rewriteManifest(first.products);

    Day day;
    std::map<QString, std::vector<std::pair<QDateTime, QDateTime>>> shown; // per product: (from, newest)
    for (const QString& product : products)
        if (const auto newest = newestOnScreen(product)) shown[product].push_back({dayStart, *newest});
    const BrowseFetch::Counters before = BrowseFetch::counters();
    const QDateTime scheduled = dayStart.addSecs(12 * 3600);
    bool scheduledDone = false;
    std::vector<QDateTime> starts;
    for (QDateTime at = Follow::nextStart(dayStart); at <= dayEnd; at = Follow::nextStart(at))
        starts.push_back(at);
    // The first run makes its first pass's clips for real (to time the making) and its last passes'.
    const bool firstRun = makingSeconds < 0;
    maker.takeCounts();
    for (size_t pass = 0; pass < starts.size(); ++pass) {
        const QDateTime at = starts[pass];
        if (!scheduledDone && at >= scheduled) {
            // The day's scheduled pass (refreshMinutes 1440), between two light passes.
            archive.publish(scheduled);
            const DirectSource::Outcome pass = scheduledPass(wanted, scheduled);
            Cache::rewriteManifest(pass.products);
            scheduledDone = true;
        }
        archive.publish(at);
        const bool timed = makingSeconds < 0;
        const bool real = timed || (firstRun && pass + realPassesAtEnd >= starts.size());
        maker.setMode(real ? FollowCost::Maker::Mode::real : FollowCost::Maker::Mode::recorded);
        maker.setCounting(true);
        QElapsedTimer clock;
        clock.start();
        const double cpu = FollowCost::cpuSeconds(RUSAGE_SELF);
        const double inside = maker.insideSeconds();
        const FollowPass::Outcome outcome = FollowPass::run(wanted, at);
        day.passSeconds += FollowCost::cpuSeconds(RUSAGE_SELF) - cpu - (maker.insideSeconds() - inside);
        maker.setCounting(false);
        maker.setMode(FollowCost::Maker::Mode::recorded);
        if (timed) makingSeconds = double(clock.nsecsElapsed()) / 1e9;
        day.listingBytes += outcome.listingBytes;
        day.imageBytes += outcome.imageBytes;
        for (const QString& product : products)
            if (const auto newest = newestOnScreen(product))
                shown[product].push_back({at.addMSecs(qint64(makingSeconds * 1000)), *newest});
    }
    day.remakes = maker.takeCounts();
    const BrowseFetch::Counters after = BrowseFetch::counters();
    day.requests = after.requests - before.requests;
    // The scheduled pass's bytes: everything on the wire less what the light passes counted, split by
    // what it fetched (it lists, and fetches only what the light passes missed).
    const qint64 wire = after.wireBytes - before.wireBytes;
    day.listingBytes += std::max<qint64>(0, wire - day.listingBytes - day.imageBytes);

    for (const QString& product : products) {
        // NASA's images of the product's channels: when each was taken, and when it was listed.
        std::vector<std::pair<QDateTime, QDateTime>> published;
        for (int channel : DirectSource::channelsOf(product)) {
            const auto it = truth.find(truthKey(channel));
            if (it == truth.end()) continue;
            for (const QString& name : it->second)
                published.push_back({taken(name), listedAt(name)});
        }
        const auto& times = shown[product];
        for (QDateTime at = dayStart; at <= dayEnd; at = at.addSecs(60)) {
            QDateTime nasa;
            for (const auto& [time, listed] : published)
                if (listed <= at && (!nasa.isValid() || time > nasa)) nasa = time;
            QDateTime screen;
            for (const auto& [from, newest] : times)
                if (from <= at) screen = newest;
            if (!nasa.isValid() || !screen.isValid()) continue;
            day.freshness.push_back(std::max<double>(0, double(screen.secsTo(nasa)) / 60.0));
        }
    }
    return day;
}

// What following cost over the day with the costliest server: the passes as measured, the re-making as
// each product's count of re-makes times its timed re-make (FollowCost.h); each re-make beside ffmpeg
// encoding as many of the product's newest images (for a composite, its first channel's: ffmpeg cannot
// compose), which are the frames of the newest piece and as many more.
bool printCost(const QStringList& products, const std::vector<Day>& days, const FollowCost::Maker& maker,
               const QString& timedOn, const QString& work) {
    const auto remaking = [&](const Day& day) {
        double seconds = 0;
        for (const auto& [product, count] : day.remakes)
            if (const auto it = maker.remakes().find(product); it != maker.remakes().end())
                seconds += count * it->second.cpuSeconds;
        return seconds;
    };
    const Day& day = *std::max_element(days.begin(), days.end(), [&](const Day& a, const Day& b) {
        return a.passSeconds + remaking(a) < b.passSeconds + remaking(b);
    });
    bool complete = true;
    for (const QString& product : products) {
        const auto it = maker.remakes().find(product);
        const auto count = day.remakes.find(product);
        if (it == maker.remakes().end()) {
            std::printf("%s: no re-make was timed (no two real makes in a row at the day's end)\n",
                        qPrintable(product));
            complete = false;
            continue;
        }
        const FollowCost::Remake& remake = it->second;
        QStringList images;
        for (auto slot = remake.frames.rbegin();
             slot != remake.frames.rend() && images.size() < std::lround(remake.framesEncoded); ++slot)
            for (const QString& file : *slot)
                if (!file.isEmpty()) {
                    images.prepend(file);
                    break;
                }
        const double ffmpeg = images.isEmpty() ? -1 : FollowCost::ffmpegSeconds(images, work);
        std::printf(
            "%s: %d re-makes x %.2f s CPU (mean of %d timed with %s: %.0f frames encoded, the "
            "clip joined, the still written); ffmpeg on the newest %lld of its images %.2f s CPU: ratio "
            "%.2f\n",
            qPrintable(product), count == day.remakes.end() ? 0 : count->second, remake.cpuSeconds,
            remake.count, qPrintable(timedOn), remake.framesEncoded, qint64(images.size()), ffmpeg,
            ffmpeg > 0 ? remake.cpuSeconds / ffmpeg : 0.0);
    }
    const double share = (day.passSeconds + remaking(day)) / double(dayStart.secsTo(dayEnd)) * 100;
    std::printf("following costs %.2f %% of a core over the day (passes %.1f s, re-making clips %.1f s; goal "
                "<= 1 %%)%s\n",
                share, day.passSeconds, remaking(day),
                !complete    ? ": INCOMPLETE"
                : share <= 1 ? ""
                             : ": MISSED");
    return complete;
}

} // namespace

int main(int argc, char** argv) {
    QStringList products = Settings::defaultProducts();
    QString generator =
        "/usr/bin/python3 " SOLVANE_SOURCE_DIR
        "/tools/mirror/make_browse.py {root} --now {now} --hours {hours} --channels {channels}";
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (option == "--products")
            products = value.split(',', Qt::SkipEmptyParts);
        else if (option == "--generator")
            generator = value;
    }
    QStringList channels;
    for (const QString& product : products)
        for (int channel : DirectSource::channelsOf(product))
            channels << truthKey(channel);
    channels.removeDuplicates();

    QTemporaryDir temp;
    QFile::setPermissions(temp.path(),
                          QFile::permissions(temp.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    Settings::d().useFile(temp.path() + "/settings.plist");
    Settings::setProducts({products.join(',')});
    const TestCertificate certificate = TestCertificate::make(temp.path());
    qputenv("SSL_CERT_FILE", certificate.certificate.toUtf8());
    const QString root = temp.path() + "/archive";
    QString command = generator;
    command.replace("{root}", root)
        .replace("{now}", dayEnd.toString("yyyy-MM-ddTHH:mm:ssZ"))
        .replace("{hours}", "74")
        .replace("{channels}", channels.join(','));
    QStringList words = QProcess::splitCommand(command);
    QProcess layout;
    layout.setProcessChannelMode(QProcess::ForwardedChannels);
    layout.start(words.takeFirst(), words);
    if (!layout.waitForFinished(3600000) || layout.exitCode() != 0) {
        std::fprintf(stderr, "bench-follow: the generator failed: %s\n", qPrintable(command));
        return 1;
    }
    std::map<QString, QStringList> truth;
    const QJsonObject images =
        QJsonDocument::fromJson(readAll(root + "/.work/truth.json")).object()["images"].toObject();
    for (auto it = images.begin(); it != images.end(); ++it)
        for (const auto& name : it.value().toArray())
            truth[it.key()] << name.toString();
    Archive archive(root);

    double making = -1; // timed on the first light pass
    FollowCost::Maker maker;
    // As the program installs them, but for the maker: the decode check is part of what a pass costs.
    ClipMaking::install([&maker](const ClipMaking::Job& job) { return maker.make(job); }, &DirectClips::toPng,
                        &DirectClips::decodes);
    BrowseFetch::setFirstPause(std::chrono::milliseconds(50));

    const QString types = "types { text/html html; image/jpeg jpg; } ";
    const std::vector<std::pair<QString, QString>> servers{
        {"compressing, validators", types + "gzip on; gzip_min_length 256; etag on;"},
        {"plain", types + "gzip off; etag off; if_modified_since off;"},
        {"plain, no ranges", types + "gzip off; etag off; if_modified_since off; max_ranges 0;"},
    };
    std::printf("bench-follow: %s, a simulated day (%s to %s UTC)\n", qPrintable(products.join(", ")),
                qPrintable(dayStart.toString("d MMM HH:mm")), qPrintable(dayEnd.toString("d MMM HH:mm")));
    std::printf("%-26s %9s %7s %9s %13s %13s %9s %9s  %s\n", "server", "fresh med", "worst", "requests",
                "listing bytes", "image bytes", "list/img", "pass CPU", "goals");
    const double productDays = double(products.size());
    std::vector<Day> days;
    for (size_t index = 0; index < servers.size(); ++index) {
        const auto& [name, lines] = servers[index];
        const QString work = temp.path() + QString("/nginx-%1").arg(index);
        QDir().mkpath(work);
        NginxMirror server(root, certificate, work, lines);
        if (!server.running()) {
            std::fprintf(stderr, "bench-follow: nginx did not start\n");
            return 1;
        }
        qputenv("SOLVANE_SDO_BASE", ("https://" + server.host()).toUtf8());
        const Day& day = days.emplace_back(
            simulate(temp.path() + QString("/cache-%1").arg(index), products, truth, archive, maker, making));
        const double median = percentile(day.freshness, 0.5);
        const double worst = percentile(day.freshness, 1.0);
        const double ratio = day.imageBytes > 0 ? double(day.listingBytes) / double(day.imageBytes) : 0;
        const double limit = index == 0 ? 0.5 : 1.0;
        std::printf(
            "%-26s %6.1f min %3.0f min %9.0f %13.0f %13.0f %9.2f %7.2f s  freshness %s, listings %s\n",
            qPrintable(name), median, worst, double(day.requests) / productDays,
            double(day.listingBytes) / productDays, double(day.imageBytes) / productDays, ratio,
            day.passSeconds, worst <= 40 ? "met" : "MISSED", ratio <= limit ? "met" : "MISSED");
    }
    std::printf(
        "a light pass that re-made the clips for real took %.1f s here; each new frame reaches the screen "
        "that much after its pass starts\n",
        making);
    return printCost(products, days, maker, servers[0].first, temp.path() + "/ffmpeg") ? 0 : 1;
}
