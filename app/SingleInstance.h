#pragma once
// One running program per user and settings file. The first GUI start takes a lock beside the socket,
// then listens on a local socket in $XDG_RUNTIME_DIR (the cache folder when that is unset or too deep for
// a socket's name); a later start hands its links over (none: a plain reopen) and exits. The socket's
// name carries a digest of the settings file's path, so programs run with other settings (tests, a second
// account's files) do not meet. Holding the lock is what makes a program the one: starts made at the same
// moment cannot both listen, and a socket left by a dead program can be replaced safely.
//
// GUI thread only (handOver also from any thread, on its own socket).

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Called with the links and the switches ("--start", "--kiosk", "--seconds N") a later start handed
    // over; neither is a plain reopen.
    using Handler = std::function<void(const QList<QUrl>& links, const QStringList& options)>;
    enum class Start { handedOver, listening, alone };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Where the socket lives for the current settings file.
    static QString socketPath();
    // The first of `folders` in which a socket named for `digest` fits the 107 bytes a socket's path may
    // have: the usual name, else a shorter one. Nothing when none fits.
    static std::optional<QString> socketPathIn(const QStringList& folders, const QString& digest);

    // Gives `links` and `options` to a program already listening at `path`; true when it answered that
    // it took them.
    static bool handOver(const QList<QUrl>& links, const QString& path = socketPath(), int waitMs = 5000,
                         const QStringList& options = {});
    // Takes the lock and starts listening (replacing a socket left by a program that died). False when
    // another program holds the lock, or with a log line when it cannot listen.
    bool listen(Handler handler, const QString& path = socketPath());
    // A start: hands `links` over to the running program, or becomes it. While another start holds the
    // lock but does not answer yet, keeps trying for a while; then runs on alone, with a log line.
    Start start(const QList<QUrl>& links, const QString& path = socketPath(),
                const QStringList& options = {});
    // Who receives what later starts hand over.
    void setHandler(Handler handler) { handler_ = std::move(handler); }

    // The wire form of a hand-over: one switch per line (each begins with "--"), one URL per line, then
    // an empty line. A program that knows no switches refuses those lines as links.
    static QByteArray encode(const QList<QUrl>& links, const QStringList& options = {});
    // The links of a complete message, or nothing while it is incomplete.
    static std::optional<QList<QUrl>> decode(const QByteArray& message);
    // The switch lines of a message.
    static QStringList decodeOptions(const QByteArray& message);

    // A connection that has not sent a whole message by then is closed, and no more than
    // `connectionLimit` are open at once, so a flood cannot use up the descriptors (the server would stop).
    int connectionTimeoutMs = 5000;
    int connectionLimit = 32;

private:
    enum class Claim { listening, heldElsewhere, failed };
    Claim claim(const QString& path);
    void accept();

    QLocalServer* server_ = nullptr;
    Handler handler_;
    int lockFd_ = -1;
    int open_ = 0;
};
