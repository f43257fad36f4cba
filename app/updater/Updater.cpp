#include "Updater.h"

#include "BuildInfo.h"
#include "HttpClient.h"
#include "Log.h"
#include "QuietHour.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "UpdatePackage.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {
// An argv for exec and spawn: the leading words, then the arguments, then the closing null.
class CArguments {
public:
    CArguments(std::vector<QByteArray> lead, const QStringList& arguments) : words_(std::move(lead)) {
        for (const QString& argument : arguments)
            words_.push_back(argument.toLocal8Bit());
        for (QByteArray& word : words_)
            pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.data(); }

private:
    std::vector<QByteArray> words_;
    std::vector<char*> pointers_;
};

const QString offlineRefusal =
    QStringLiteral("Offline is on in Solvane's Settings, so it is not checking for updates.");
constexpr int firstCheckMs = 10 * 60 * 1000; // a while after start, so launch stays light
constexpr int dailyCheckMs = 24 * 60 * 60 * 1000;
// The portable build carries its libraries (about 60 MB); the limit leaves room to grow.
constexpr qsizetype largestDownload = qsizetype(256) << 20;

// Starts the new program with the arguments once this process has ended, so it does not hand itself over
// to us as a second instance.
void relaunchDetached(const QString& executable, const QStringList& arguments) {
    const QByteArray pid = QByteArray::number(qint64(::getpid()));
    CArguments argv({QByteArray("/bin/sh"), QByteArray("-c"),
                     QByteArray("pid=$1; shift; while kill -0 \"$pid\" 2>/dev/null; do sleep 0.2; done; "
                                "exec \"$@\""),
                     QByteArray("sh"), pid, QFile::encodeName(executable)},
                    arguments);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    if (posix_spawn(&child, argv.data()[0], nullptr, &attributes, argv.data(), environ) != 0)
        log("update: could not relaunch " + executable, LogArea::update);
    posix_spawnattr_destroy(&attributes);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

// Becomes the new program in this process, which keeps a display-manager session alive; a detached
// start when that fails.
void relaunch(const QString& executable, const QStringList& arguments) {
    if (!Updater::relaunchInPlace(arguments)) return relaunchDetached(executable, arguments);
    CArguments argv({QFile::encodeName(executable)}, arguments);
    std::fflush(nullptr);
    ::execv(argv.data()[0], argv.data());
    log("update: could not run " + executable + " in place: " + QString::fromLocal8Bit(std::strerror(errno)),
        LogArea::update);
    relaunchDetached(executable, arguments);
}

void showMessage(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Solvane"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
} // namespace

Updater::When updateMoment(bool controllerRuns, bool installNowSetting, Mode mode, bool showing,
                           bool preferencesVisible) {
    if (!controllerRuns) return Updater::When::onQuit;
    if (installNowSetting) return Updater::When::now;
    if (mode == Mode::kiosk) return Updater::When::overnight;
    if (mode == Mode::desktop && !showing && !preferencesVisible) return Updater::When::now;
    return Updater::When::onQuit;
}

Updater::Updater(Environment environment, QObject* parent) : QObject(parent), env_(std::move(environment)) {
    if (!env_.now) env_.now = [] { return QDateTime::currentDateTime(); };
    if (!env_.calendar.isValid()) env_.calendar = QTimeZone::systemTimeZone();
    if (env_.publicKey.isEmpty()) env_.publicKey = QString::fromLatin1(BuildInfo::updatePublicKey);
    if (env_.currentVersion.isEmpty()) env_.currentVersion = QString::fromLatin1(BuildInfo::buildNumber);
    if (!env_.arguments) env_.arguments = QCoreApplication::arguments().mid(1);
    if (!env_.relaunch) env_.relaunch = relaunch;
    if (!env_.tell) env_.tell = showMessage;
    nightly_.setSingleShot(true);
    // A coarse timer may fire minutes early over a night; the install waits for the quiet hour itself.
    nightly_.setTimerType(Qt::PreciseTimer);
    connect(&nightly_, &QTimer::timeout, this, &Updater::installIfStillQuiet);
    connect(&daily_, &QTimer::timeout, this, [this] {
        daily_.setInterval(dailyCheckMs);
        checkInBackground();
    });
}

Updater::~Updater() = default;

QString Updater::feedURL() {
    const std::optional<QString> setting = Settings::d().string(Settings::Key::updateFeed);
    if (setting && !setting->trimmed().isEmpty()) return setting->trimmed();
    const QString builtIn = QString::fromLatin1(BuildInfo::feedURL).trimmed();
    return usableBuiltInFeed(builtIn) ? builtIn : QString();
}

bool Updater::usableBuiltInFeed(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString host = parsed.host().toLower();
    if (!parsed.isValid() || parsed.scheme() != QStringLiteral("https") || host.isEmpty()) return false;
    if (host == QStringLiteral("localhost")) return false;
    for (const char* reserved : {".example", ".invalid", ".test", ".localhost"})
        if (host.endsWith(QLatin1String(reserved)) || host == QLatin1String(reserved + 1)) return false;
    return true;
}

bool Updater::usableKey(const QString& publicKey) {
    const auto key = QByteArray::fromBase64Encoding(publicKey.trimmed().toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
    return key && key.decoded.size() == 32; // crypto_sign_PUBLICKEYBYTES
}

QStringList Updater::relaunchArguments(const QStringList& arguments) {
    QStringList kept;
    for (const QString& argument : arguments)
        if (!argument.startsWith(QStringLiteral("solvane:"), Qt::CaseInsensitive)) kept << argument;
    return kept;
}

bool Updater::relaunchInPlace(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--kiosk"));
}

void Updater::start() {
    daily_.start(firstCheckMs);
    if (Settings::d().boolean(Settings::Key::checkUpdatesNow)) checkInBackground();
}

void Updater::checkNow() {
    check(Asker::person);
}

void Updater::checkInBackground() {
    check(Asker::schedule);
}

void Updater::check(Asker asker) {
    if (Settings::offline()) {
        log("update: " + offlineRefusal, LogArea::update);
        if (asker == Asker::person) env_.tell(offlineRefusal);
        emit checkFinished();
        return;
    }
    const QString feed = feedURL();
    if (feed.isEmpty()) {
        log("update: no update feed in this build", LogArea::update);
        if (asker == Asker::person)
            env_.tell(
                QStringLiteral("This copy of Solvane has no update feed, so it does not check for updates."));
        emit checkFinished();
        return;
    }
    if (checking_) return; // the running check answers both
    checking_ = true;
    const QString current = env_.currentVersion;
    const QString key = env_.publicKey;
    // A portable install takes only portable builds: the install tree relies on the system's libraries.
    const QString os = env_.install && env_.install->portable() ? Appcast::portableOs : QString();
    // Nothing is downloaded that could not be checked, nor again what already waits to install.
    const bool download = env_.install.has_value() && usableKey(key);
    const QString waiting = pending_ ? pending_->item.version : QString();
    QPointer<Updater> self(this);
    QThreadPool::globalInstance()->start([self, asker, feed, current, key, os, download, waiting] {
        QString error;
        std::optional<AppcastItem> item;
        QByteArray tarball;
        if (const std::optional<QByteArray> body = HttpClient::get(feed, &error)) {
            item = Appcast::newest(Appcast::parse(*body, &error), current, os);
            const bool held =
                item && !waiting.isEmpty() && Appcast::compareVersions(item->version, waiting) <= 0;
            if (item && download && !held) {
                QString why;
                const std::optional<QByteArray> bytes =
                    HttpClient::get(item->url, &why, HttpClient::Protocols::httpsOnly, largestDownload);
                if (!bytes)
                    error = "could not download " + item->displayVersion + ": " + why;
                else if (auto problem = UpdatePackage::verify(*bytes, item->length, item->signature, key))
                    error = "refused " + item->displayVersion + ": " + *problem;
                else
                    tarball = *bytes;
            }
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, asker, item, tarball, error] {
                if (self) self->finish(asker, item, tarball, error);
            },
            Qt::QueuedConnection);
    });
}

void Updater::finish(Asker asker, const std::optional<AppcastItem>& item, const QByteArray& tarball,
                     const QString& error) {
    checking_ = false;
    auto say = [this, asker](const QString& line, const QString& text) {
        log("update: " + line, LogArea::update);
        if (asker == Asker::person) env_.tell(text);
    };
    if (!error.isEmpty()) {
        say(error.startsWith(QStringLiteral("refused")) ? error : "check failed: " + error,
            "Solvane could not update: " + error);
    } else if (!item) {
        say(env_.currentVersion + " is the newest version",
            "Solvane is up to date (build " + env_.currentVersion + ").");
    } else if (pending_ && Appcast::compareVersions(item->version, pending_->item.version) <= 0) {
        say(pending_->item.displayVersion + " is downloaded already and waits to install",
            "Solvane " + pending_->item.displayVersion + " is downloaded and waits to install.");
    } else if (!env_.install) {
        say(item->displayVersion +
                " is available; this copy belongs to the system's package manager, which updates it",
            "Solvane " + item->displayVersion +
                " is available. Update it with your system's software updater.");
    } else if (!usableKey(env_.publicKey)) {
        say(item->displayVersion + " is available; this build carries no key to check downloads with, so "
                                   "it does not download it",
            "Solvane " + item->displayVersion +
                " is available, but this copy cannot check downloads, so it does not install it.");
    } else if (const std::optional<QString> problem = ready(*item, tarball);
               problem && asker == Asker::person) {
        env_.tell("Solvane could not install " + item->displayVersion + ": " + *problem);
    }
    emit checkFinished();
}

std::optional<QString> Updater::ready(const AppcastItem& item, const QByteArray& tarball) {
    const QString version = item.displayVersion;
    // A newer download replaces one that waits.
    nightly_.stop();
    nightlyAt_.reset();
    pending_ = Pending{item, tarball};
    switch (when()) {
    case When::onQuit:
        log("update: " + version + " downloaded; installs on quit", LogArea::update);
        break;
    case When::now: {
        const Pending now = *pending_;
        pending_.reset();
        return install(now, true);
    }
    case When::overnight:
        scheduleOvernight();
        break;
    }
    return std::nullopt;
}

void Updater::scheduleOvernight() {
    const QDateTime now = env_.now();
    const QDateTime at = QuietHour::next(now, env_.calendar);
    log("update: " + pending_->item.displayVersion + " downloaded; this kiosk installs it at " +
            at.toString(Qt::ISODate),
        LogArea::update);
    nightlyAt_ = at;
    armNightly(now);
}

void Updater::armNightly(const QDateTime& now) {
    nightly_.start(int(std::clamp<qint64>(now.msecsTo(*nightlyAt_), 0, std::numeric_limits<int>::max())));
}

void Updater::installIfStillQuiet() {
    if (!pending_) return;
    switch (when()) {
    case When::now:
        break;
    case When::overnight: {
        const QDateTime now = env_.now();
        if (nightlyAt_ && now < *nightlyAt_) {
            armNightly(now); // woken before the time: the rest of the wait, nothing to say
            return;
        }
        if (QuietHour::next(now, env_.calendar) != now) {
            scheduleOvernight(); // slept through the quiet hour: the next one
            return;
        }
        break;
    }
    case When::onQuit:
        return; // stays pending for quit
    }
    nightly_.stop();
    nightlyAt_.reset();
    const Pending now = *pending_;
    pending_.reset();
    install(now, true);
}

void Updater::installOnQuit() {
    if (!pending_) return;
    nightly_.stop();
    nightlyAt_.reset();
    const Pending last = *pending_;
    pending_.reset();
    install(last, false);
}

std::optional<QString> Updater::install(const Pending& pending, bool relaunch) {
    const QString version = pending.item.displayVersion;
    if (!env_.install) return QStringLiteral("this copy is not a per-user install");
    if (relaunch) log("update: installing " + version + " now and relaunching", LogArea::update);
    // The folder is named from the signed bytes where they say; the feed's text is not signed.
    const std::optional<QString> signedVersion = UpdatePackage::version(pending.tarball);
    if (signedVersion && *signedVersion != version) {
        const QString problem = "the download holds version " + *signedVersion + ", the feed says " + version;
        log("update: could not install " + version + ": " + problem, LogArea::update);
        return problem;
    }
    if (auto problem = env_.install->install(pending.tarball, version)) {
        log("update: could not install " + version + ": " + *problem, LogArea::update);
        return problem;
    }
    if (!relaunch) {
        log("update: installed " + version + "; it runs from the next start", LogArea::update);
        return std::nullopt;
    }
    env_.relaunch(env_.install->currentExecutable(), relaunchArguments(*env_.arguments));
    return std::nullopt;
}
