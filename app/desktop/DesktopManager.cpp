#include "DesktopManager.h"

#include "Cache.h"
#include "LargeStills.h"
#include "Log.h"
#include "Platform.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <filesystem>

namespace {

Desktop::Applied& applied() {
    static Desktop::Applied last;
    return last;
}

std::shared_ptr<DesktopPicture>& adapter() {
    static std::shared_ptr<DesktopPicture> picture;
    return picture;
}

DesktopPicture& picture() {
    if (!adapter()) adapter() = Platform::desktopPicture(Desktop::dir());
    return *adapter();
}

// The connected screens, in the system's order, with their output names and device-pixel rectangles.
std::vector<DesktopScreen> screens() {
    std::vector<DesktopScreen> out;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        out.push_back({screen->name(), QRect(qRound(g.x() * ratio), qRound(g.y() * ratio),
                                             qRound(g.width() * ratio), qRound(g.height() * ratio))});
    }
    return out;
}

// Copies a still into place under a temporary name first, so an interrupted copy never stands under
// the final name (a name that exists is never copied again).
std::optional<QString> copyInto(const QString& from, const QString& to) {
    const QString partial = to + QStringLiteral(".part");
    QFile::remove(partial);
    QFile source(from);
    if (!source.copy(partial)) return source.errorString();
    if (!QFile::rename(partial, to)) {
        QFile::remove(partial);
        return QStringLiteral("could not move it into place");
    }
    return std::nullopt;
}

// A name that stays inside the folder it is joined to: not empty, not "." or "..", without "/" and
// without control characters. Ids, still names and stamps come from the cache's manifest.
bool plainName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f;
    });
}

// The cached stills, in the cache's order, whose names are safe to join to a folder.
std::vector<CacheEntry> usableStills() {
    std::vector<CacheEntry> stills;
    for (const CacheEntry& entry : Cache::entries()) {
        if (!entry.still) continue;
        if (!plainName(entry.id) || !plainName(*entry.still) || !plainName(Desktop::fileName(entry))) {
            log("desktop: skipped a cached still whose name is not a plain file name: " + entry.id,
                LogArea::desktop);
            continue;
        }
        stills.push_back(entry);
    }
    return stills;
}

// The copies this manager writes: "<id>-<stamp>.png", the stamp a time whose colons became hyphens,
// "<id>-<stamp>-2048.jpg" from a large still, and the ".part" of one being copied. Nothing else in the
// folder is ours to remove.
bool ourCopy(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral(
        R"(^.+-\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d(\.\d+)?(Z|[+-]\d\d-?\d\d)?(\.png|-\d{4}\.jpg)(\.part)?$)"));
    return pattern.match(name).hasMatch();
}

// A screen that comes or goes changes what each screen should show (and a composed layout's shape): once
// pictures have been set, a change of the screen list sets them again when it has settled.
void followScreens() {
    static QTimer* settle = nullptr;
    if (settle || !qGuiApp) return;
    settle = new QTimer(qGuiApp);
    settle->setSingleShot(true);
    settle->setInterval(2000);
    QObject::connect(settle, &QTimer::timeout, [] {
        if (!Settings::desktopActive()) return;
        log("desktop: the screens changed, setting the pictures again", LogArea::desktop);
        Desktop::apply();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, settle, [] { settle->start(); });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, settle, [] { settle->start(); });
}

// A black picture of one pixel in the desktop folder (fitted on black it covers the screen), or an empty
// URL when it cannot be written.
QUrl blankPicture() {
    const QString path = QDir(Desktop::dir()).filePath(QStringLiteral("blank.png"));
    if (!QFile::exists(path)) {
        QImage black(1, 1, QImage::Format_RGB32);
        black.fill(Qt::black);
        if (!black.save(path, "PNG")) {
            log("desktop: could not write " + path + "; the picture stays", LogArea::desktop);
            return {};
        }
    }
    return QUrl::fromLocalFile(path);
}

} // namespace

Desktop::Applied Desktop::lastApplied() {
    return applied();
}

QString Desktop::dir() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    const QString folder = data + QStringLiteral("/Solvane/desktop");
    std::error_code error;
    std::filesystem::create_directories(folder.toStdString(), error);
    if (error)
        log("desktop: could not create " + folder + ": " + QString::fromStdString(error.message()),
            LogArea::desktop);
    return folder;
}

void Desktop::usePicture(std::shared_ptr<DesktopPicture> replacement) {
    adapter() = std::move(replacement);
}

void Desktop::apply(Step step) {
    if (!Settings::desktopActive()) return;
    const std::vector<CacheEntry> stills = usableStills();
    if (stills.empty()) {
        log("desktop: no stills cached yet", LogArea::desktop);
        return;
    }
    remember();

    QHash<QString, QString> updated;
    for (const CacheEntry& entry : stills)
        updated.insert(entry.id, entry.updated);
    const std::vector<DesktopScreen> now = screens();
    // The counter names the next step; the step on screen now is the one before it.
    const qint64 counter = Settings::desktopCounter();
    const bool stay = step == Step::stay && counter > 0;
    const std::vector<Pick> picks =
        plan(stills, Settings::products(), int(now.size()), stay ? counter - 1 : counter);

    const QDir folder(dir());
    QSet<QString> wanted;
    std::vector<PicturePlacement> placements;
    std::vector<const Pick*> placed;
    QStringList placedNames; // the copy each placed screen shows, a larger still's where one was used
    QHash<QString, CacheEntry> byID;
    for (const CacheEntry& entry : stills)
        byID.insert(entry.id, entry);
    for (const Pick& pick : picks) {
        // A large screen shows NASA's larger image of the same time, where one was fetched.
        const QString still =
            LargeStills::stillFor(byID.value(pick.id), now[size_t(pick.screen)].geometry.width())
                .value_or(pick.still);
        QString name = pick.fileName;
        if (still != pick.still)
            name = name.chopped(4) + QLatin1Char('-') + still.section(QLatin1Char('.'), -2);
        const QString destination = folder.filePath(name);
        wanted.insert(name);
        if (!QFile::exists(destination)) {
            if (const auto failure = copyInto(Cache::file(still), destination)) {
                log("desktop: could not copy " + still + " for the desktop: " + *failure, LogArea::desktop);
                continue; // this screen keeps its picture; the others go on
            }
        }
        placements.push_back({pick.screen, QUrl::fromLocalFile(destination), PictureFit::fitOnBlack});
        placed.push_back(&pick);
        placedNames << name;
    }

    const auto answers = picture().set(now, placements);
    const Pick* first = nullptr; // the first screen that shows its still, for the lock screen
    QString firstName;
    QString firstFailure;
    bool anySet = false;
    for (size_t i = 0; i < placed.size(); ++i) {
        const Pick& pick = *placed[i];
        const QString screen = now[size_t(pick.screen)].name;
        const std::optional<QString> failure = i < answers.size() ? answers[i] : QStringLiteral("no answer");
        if (failure) {
            if (firstFailure.isEmpty()) firstFailure = *failure;
            log("desktop: " + screen + " failed: " + *failure, LogArea::desktop);
            continue;
        }
        anySet = true;
        log("desktop: " + screen + " -> " + pick.id + " (" + updated.value(pick.id, QStringLiteral("?")) +
                ")",
            LogArea::desktop);
        if (!first) {
            first = &pick;
            firstName = placedNames[qsizetype(i)];
        }
    }
    if (first)
        followLockScreen(folder.filePath(firstName), first->id);
    else if (!Settings::sunOnLockScreen())
        putBackLockScreen();
    // A screen that shows products but has none of them cached keeps its picture; say so.
    for (size_t s = 0; s < now.size(); ++s) {
        const bool picked = std::any_of(picks.begin(), picks.end(),
                                        [s](const Pick& pick) { return size_t(pick.screen) == s; });
        if (picked || !Settings::isEnabled(int(s))) continue;
        const QStringList ids = Settings::productList(int(s));
        log("desktop: " + now[s].name + " keeps its picture: no still cached for " +
                (ids.isEmpty() ? QStringLiteral("any product") : ids.join(QStringLiteral(", "))),
            LogArea::desktop);
    }
    if (anySet)
        applied() = {QDateTime::currentDateTimeUtc(), QString()};
    else if (!firstFailure.isEmpty())
        applied().failure = firstFailure;
    if (!stay) Settings::setDesktopCounter(counter + 1);
    followScreens();

    // Old copies go as soon as no screen shows them; anything else the user put here stays.
    for (const QString& name : folder.entryList(QDir::Files))
        if (!wanted.contains(name) && ourCopy(name)) QFile::remove(folder.filePath(name));
}

void Desktop::remember() {
    if (Settings::previousDesktop()) return;
    const std::vector<DesktopScreen> now = screens();
    QStringList pictures = picture().current(now);
    while (pictures.size() < qsizetype(now.size()))
        pictures << QString();
    pictures = pictures.mid(0, qsizetype(now.size()));
    Settings::setPreviousDesktop(pictures);
    log("desktop: remembered the previous picture on " + QString::number(now.size()) + " screen(s)",
        LogArea::desktop);
}

void Desktop::restore() {
    putBackLockScreen();
    const std::optional<QStringList> previous = Settings::previousDesktop();
    if (!previous) {
        if (adapter()) adapter()->release();
        return;
    }
    const std::vector<DesktopScreen> now = screens();
    std::vector<PicturePlacement> placements;
    std::optional<QUrl> blank;
    for (size_t s = 0; s < now.size() && qsizetype(s) < previous->size(); ++s) {
        const QString text = previous->at(qsizetype(s));
        if (text.isEmpty()) {
            // Nothing was there before ours: plain black takes the Sun away, as a bare root shows. A
            // screen left alone (Off) keeps what it has.
            if (!Settings::isEnabled(int(s))) continue;
            if (!blank) blank = blankPicture();
            if (blank->isEmpty()) continue;
            placements.push_back({int(s), *blank, PictureFit::fitOnBlack});
            log("desktop: " + now[s].name + " had no picture before; clearing ours", LogArea::desktop);
            continue;
        }
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid()) continue;
        placements.push_back({int(s), url, PictureFit::asRecorded});
    }
    if (!placements.empty()) {
        const auto answers = picture().set(now, placements);
        for (size_t i = 0; i < placements.size(); ++i) {
            const std::optional<QString> failure =
                i < answers.size() ? answers[i] : QStringLiteral("no answer");
            if (failure)
                log("desktop: could not put back the picture on " + now[size_t(placements[i].screen)].name +
                        ": " + *failure,
                    LogArea::desktop);
        }
    }
    picture().release();
    Settings::setPreviousDesktop(std::nullopt);
    log("desktop: restored", LogArea::desktop);
}

void Desktop::syncLockScreen() {
    if (!Settings::sunOnLockScreen() || !Settings::desktopActive()) {
        putBackLockScreen();
        return;
    }
    // What the last update put on the first screen (each update moves the counter on after it).
    const std::vector<Pick> picks = plan(usableStills(), Settings::products(), int(screens().size()),
                                         std::max<qint64>(Settings::desktopCounter() - 1, 0));
    if (picks.empty()) return; // nothing cached yet: the first update brings it
    const Pick& first = picks.front();
    const QString destination = QDir(dir()).filePath(first.fileName);
    if (!QFile::exists(destination)) {
        if (const auto failure = copyInto(Cache::file(first.still), destination)) {
            log("desktop: could not copy " + first.still + " for the lock screen: " + *failure,
                LogArea::desktop);
            return;
        }
    }
    followLockScreen(destination, first.id);
}
