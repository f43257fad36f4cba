#pragma once
// The updater: reads the appcast, downloads a newer version, checks its length and signature, and installs
// it at one of three moments: now (then relaunches), overnight in the quiet hour (an unattended kiosk), or
// when the program quits. A copy the package manager owns is never replaced: the updater only says that a
// newer version exists. GUI thread only; the feed and the download are read on a worker thread.

#include "Appcast.h"
#include "Mode.h"
#include "UserInstall.h"

#include <QDateTime>
#include <QObject>
#include <QTimeZone>
#include <QTimer>
#include <functional>
#include <optional>

class Updater : public QObject {
    Q_OBJECT
public:
    enum class When { now, overnight, onQuit };

    struct Environment {
        std::function<QDateTime()> now;     // the clock; the system's by default
        QTimeZone calendar;                 // where the quiet hour is read; the system's by default
        QString publicKey;                  // base64 Ed25519; the built-in one by default
        QString currentVersion;             // our build number by default
        std::optional<UserInstall> install; // where updates go; nothing: only tell
        // This run's arguments (without the program); QCoreApplication's by default.
        std::optional<QStringList> arguments;
        // Starts the installed program with the arguments, in place of this process or once it has gone;
        // by default an exec in a kiosk session (whose end would end the session), else a detached start.
        std::function<void(const QString& executable, const QStringList& arguments)> relaunch;
        // A message for the person at the screen (a dialog by default).
        std::function<void(const QString& text)> tell;
    };

    explicit Updater(Environment environment, QObject* parent = nullptr);
    ~Updater() override;

    // The decision made when an update is ready; answers onQuit until set.
    std::function<When()> when = [] { return When::onQuit; };

    // Starts checking: at once when the checkUpdatesNow setting is on, then once a day.
    void start();
    // The person's "Check for Updates…": also says when there is nothing newer.
    void checkNow();
    // One check in the background (the daily one).
    void checkInBackground();

    // The feed read: the updateFeed setting when present, else the built-in one; empty when neither is
    // usable (a build without a feed, or one naming a reserved host).
    static QString feedURL();
    // Whether a built-in feed may be read: an https URL whose host is not a reserved name (.example,
    // .invalid, .test, .localhost and localhost), which only a build made without a real feed carries.
    static bool usableBuiltInFeed(const QString& url);
    // Whether `publicKey` (base64) is an Ed25519 public key; without one no download can be trusted.
    static bool usableKey(const QString& publicKey);
    // The arguments a relaunch gets: this run's switches and their values; links were handled already.
    static QStringList relaunchArguments(const QStringList& arguments);
    // A kiosk session (--kiosk) is replaced in place: its display-manager session ends with the process.
    static bool relaunchInPlace(const QStringList& arguments);

    // A verified download, handed over on the GUI thread: decides when it installs. The reason when an
    // install made at once failed.
    std::optional<QString> ready(const AppcastItem& item, const QByteArray& tarball);
    // The overnight timer's work, public so tests can fire it at a chosen clock time.
    void installIfStillQuiet();
    // Installs what waits for quit (called as the program ends).
    void installOnQuit();

    std::optional<QDateTime> nightlyAt() const { return nightlyAt_; }
    bool hasPending() const { return pending_.has_value(); }
    bool checking() const { return checking_; }

signals:
    // A check has ended (with or without an update); for tests and the tray's status.
    void checkFinished();

private:
    struct Pending {
        AppcastItem item;
        QByteArray tarball;
    };
    enum class Asker { person, schedule };
    void check(Asker asker);
    void finish(Asker asker, const std::optional<AppcastItem>& item, const QByteArray& tarball,
                const QString& error);
    void scheduleOvernight();
    void armNightly(const QDateTime& now);
    std::optional<QString> install(const Pending& pending, bool relaunch);

    Environment env_;
    std::optional<Pending> pending_;
    std::optional<QDateTime> nightlyAt_;
    QTimer nightly_;
    QTimer daily_;
    bool checking_ = false;
};

// The decision of when a ready update installs, from plain facts of the running program.
Updater::When updateMoment(bool controllerRuns, bool installNowSetting, Mode mode, bool showing,
                           bool preferencesVisible);
