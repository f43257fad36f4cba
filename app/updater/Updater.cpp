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
#include <algorithm>
#include <limits>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {
const QString offlineRefusal =
    QStringLiteral("Offline is on in Solvane's Settings, so it is not checking for updates.");
constexpr int firstCheckMs = 10 * 60 * 1000; // a while after start, so launch stays light
constexpr int dailyCheckMs = 24 * 60 * 60 * 1000;

// Starts the new program once this process has ended, so it does not hand itself over to us as a
// second instance.
void relaunchDetached(const QString& executable) {
    const QByteArray pid = QByteArray::number(qint64(::getpid()));
    const QByteArray program = QFile::encodeName(executable);
    const char* argv[] = {"/bin/sh",
                          "-c",
                          "while kill -0 \"$1\" 2>/dev/null; do sleep 0.2; done; exec \"$2\"",
                          "sh",
                          pid.constData(),
                          program.constData(),
                          nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, &attributes, const_cast<char**>(argv), environ) != 0)
        log("update: could not relaunch " + executable, LogArea::update);
    posix_spawnattr_destroy(&attributes);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
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
    if (!env_.relaunch) env_.relaunch = relaunchDetached;
    if (!env_.tell) env_.tell = showMessage;
    nightly_.setSingleShot(true);
    connect(&nightly_, &QTimer::timeout, this, &Updater::installIfStillQuiet);
    connect(&daily_, &QTimer::timeout, this, [this] {
        daily_.setInterval(dailyCheckMs);
        checkInBackground();
    });
}

Updater::~Updater() = default;

QString Updater::feedURL() {
    const std::optional<QString> setting = Settings::d().string(Settings::Key::updateFeed);
    return setting && !setting->trimmed().isEmpty() ? setting->trimmed()
                                                    : QString::fromLatin1(BuildInfo::feedURL);
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
    if (checking_) return; // the running check answers both
    checking_ = true;
    const QString feed = feedURL();
    const QString current = env_.currentVersion;
    const QString key = env_.publicKey;
    const bool download = env_.install.has_value();
    QPointer<Updater> self(this);
    QThreadPool::globalInstance()->start([self, asker, feed, current, key, download] {
        QString error;
        std::optional<AppcastItem> item;
        QByteArray tarball;
        if (const std::optional<QByteArray> body = HttpClient::get(feed, &error)) {
            item = Appcast::newest(Appcast::parse(*body, &error), current);
            if (item && download) {
                QString why;
                const std::optional<QByteArray> bytes = HttpClient::get(item->url, &why);
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
    } else if (!env_.install) {
        say(item->displayVersion +
                " is available; this copy belongs to the system's package manager, which updates it",
            "Solvane " + item->displayVersion +
                " is available. Update it with your system's software updater.");
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
    nightly_.start(int(std::clamp<qint64>(now.msecsTo(at), 0, std::numeric_limits<int>::max())));
}

void Updater::installIfStillQuiet() {
    if (!pending_) return;
    switch (when()) {
    case When::now:
        break;
    case When::overnight: {
        const QDateTime now = env_.now();
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
    if (auto problem = env_.install->install(pending.tarball, version)) {
        log("update: could not install " + version + ": " + *problem, LogArea::update);
        return problem;
    }
    if (!relaunch) {
        log("update: installed " + version + "; it runs from the next start", LogArea::update);
        return std::nullopt;
    }
    env_.relaunch(env_.install->currentExecutable());
    return std::nullopt;
}
