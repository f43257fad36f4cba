#pragma once
// One running program per user and settings file. The first GUI start listens on a local socket in
// $XDG_RUNTIME_DIR (the cache folder when that is unset); a later start hands its links over (none: a
// plain reopen) and exits. The socket's name carries a digest of the settings file's path, so programs
// run with other settings (tests, a second account's files) do not meet.
//
// GUI thread only.

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

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Where the socket lives for the current settings file.
    static QString socketPath();
    // Gives `links` to a program already listening at `path`; true when one took them.
    static bool handOver(const QList<QUrl>& links, const QString& path = socketPath(),
                         const QStringList& options = {});
    // Starts listening (replacing a socket left by a program that died); false with a log line when
    // it cannot, and the program then runs on alone.
    bool listen(Handler handler, const QString& path = socketPath());

    // The wire form of a hand-over: one switch per line (each begins with "--"), one URL per line, then
    // an empty line. A program that knows no switches refuses those lines as links.
    static QByteArray encode(const QList<QUrl>& links, const QStringList& options = {});
    // The links of a complete message, or nothing while it is incomplete.
    static std::optional<QList<QUrl>> decode(const QByteArray& message);
    // The switch lines of a message.
    static QStringList decodeOptions(const QByteArray& message);

private:
    void accept();

    QLocalServer* server_ = nullptr;
    Handler handler_;
};
