#include "SingleInstance.h"

#include "Cache.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// A hand-over is a few links; anything longer is not ours.
constexpr qsizetype largestMessage = 64 * 1024;
// How long a start waits for another start that holds the lock to begin answering: a program still
// starting up (a loaded machine, a slow disk) answers late, and a reopen should not become a second one.
constexpr int claimWaitMs = 20000;
constexpr qsizetype longestSocketPath = qsizetype(sizeof(sockaddr_un::sun_path)) - 1;
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::optional<QString> SingleInstance::socketPathIn(const QStringList& folders, const QString& digest) {
    for (const QString& folder : folders) {
        if (folder.isEmpty()) continue;
        for (const QString& name : {"solvane-" + digest + ".socket", "s" + digest.left(8)}) {
            const QString path = QDir(folder).filePath(name);
            if (QFile::encodeName(path).size() <= longestSocketPath) return path;
        }
    }
    return std::nullopt;
}

QString SingleInstance::socketPath() {
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(QDir::cleanPath(Settings::d().file()).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12));
    const QStringList folders{qEnvironmentVariable("XDG_RUNTIME_DIR"), Cache::dir()};
    if (const auto path = socketPathIn(folders, digest)) return *path;
    const QString first = QDir(folders.front().isEmpty() ? folders.back() : folders.front())
                              .filePath("solvane-" + digest + ".socket");
    log("single instance: the runtime and cache folders are too deep for a socket; every start runs alone",
        LogArea::app);
    return first;
}

QByteArray SingleInstance::encode(const QList<QUrl>& links, const QStringList& options) {
    QByteArray message;
    for (const QString& option : options)
        if (option.startsWith(QLatin1String("--")) && !option.contains(QLatin1Char('\n')))
            message += option.toUtf8() + '\n';
    for (const QUrl& link : links)
        message += link.toEncoded() + '\n';
    return message + '\n';
}

std::optional<QList<QUrl>> SingleInstance::decode(const QByteArray& message) {
    // Complete when it ends with the empty line (a lone line feed is a reopen).
    if (!(message == "\n" || message.endsWith("\n\n"))) return std::nullopt;
    QList<QUrl> links;
    for (const QByteArray& line : message.split('\n'))
        if (!line.isEmpty() && !line.startsWith("--")) links << QUrl::fromEncoded(line);
    return links;
}

QStringList SingleInstance::decodeOptions(const QByteArray& message) {
    QStringList options;
    for (const QByteArray& line : message.split('\n'))
        if (line.startsWith("--")) options << QString::fromUtf8(line);
    return options;
}

bool SingleInstance::handOver(const QList<QUrl>& links, const QString& path, int waitMs,
                              const QStringList& options) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(waitMs)) return false;
    socket.write(encode(links, options));
    if (!socket.waitForBytesWritten(waitMs)) return false;
    // The running program answers once it has the links, so they are not lost when we exit; a program
    // that never answers did not take them.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    answer += socket.readAll();
    return answer.startsWith("ok\n");
}

SingleInstance::Claim SingleInstance::claim(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (lockFd_ < 0) {
        const QString lockPath = path + QStringLiteral(".lock");
        const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            log("single instance: cannot open " + lockPath + ": " +
                    QString::fromLocal8Bit(std::strerror(errno)),
                LogArea::app);
            return Claim::failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return Claim::heldElsewhere;
        }
        lockFd_ = fd;
    }
    if (!server_) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
    }
    // We hold the lock, so a socket there is a dead program's.
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        log("single instance: cannot listen on " + path + ": " + server_->errorString(), LogArea::app);
        ::close(lockFd_);
        lockFd_ = -1;
        return Claim::failed;
    }
    return Claim::listening;
}

bool SingleInstance::listen(Handler handler, const QString& path) {
    handler_ = std::move(handler);
    return claim(path) == Claim::listening;
}

SingleInstance::Start SingleInstance::start(const QList<QUrl>& links, const QString& path,
                                            const QStringList& options) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (handOver(links, path, claimWaitMs, options)) return Start::handedOver;
        switch (claim(path)) {
        case Claim::listening:
            return Start::listening;
        case Claim::failed:
            return Start::alone;
        case Claim::heldElsewhere:
            break;
        }
        if (waited.elapsed() > claimWaitMs) {
            log("single instance: the running Solvane does not answer; this one runs on alone", LogArea::app);
            return Start::alone;
        }
        // Another start holds the lock and is about to listen.
        QThread::msleep(50);
    }
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (open_ >= connectionLimit) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A connection that says nothing whole in time goes.
        QTimer::singleShot(connectionTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        auto* buffer = new QByteArray;
        connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        QPointer<SingleInstance> self(this);
        connect(socket, &QLocalSocket::readyRead, this, [self, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > largestMessage) {
                socket->abort();
                socket->deleteLater();
                return;
            }
            const auto links = decode(*buffer);
            if (!links) return;
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            if (self && self->handler_) self->handler_(*links, decodeOptions(*buffer));
        });
    }
}
