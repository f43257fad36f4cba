#include "SingleInstance.h"

#include "Cache.h"
#include "Log.h"
#include "Settings.h"
#include "SettingsStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace {
constexpr int waitMs = 5000;
// A hand-over is a few links; anything longer is not ours.
constexpr qsizetype largestMessage = 64 * 1024;
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

QString SingleInstance::socketPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) folder = Cache::dir();
    const QByteArray digest =
        QCryptographicHash::hash(QDir::cleanPath(Settings::d().file()).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    return QDir(folder).filePath("solvane-" + QString::fromLatin1(digest) + ".socket");
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

bool SingleInstance::handOver(const QList<QUrl>& links, const QString& path, const QStringList& options) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(waitMs)) return false;
    socket.write(encode(links, options));
    if (!socket.waitForBytesWritten(waitMs)) return false;
    // The running program answers once it has the links, so they are not lost when we exit.
    socket.waitForReadyRead(waitMs);
    return true;
}

bool SingleInstance::listen(Handler handler, const QString& path) {
    handler_ = std::move(handler);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!server_->listen(path)) {
        // Nobody answered there a moment ago, so the socket is a dead program's.
        QLocalServer::removeServer(path);
        if (!server_->listen(path)) {
            log("single instance: cannot listen on " + path + ": " + server_->errorString(), LogArea::app);
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* buffer = new QByteArray;
        connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        QPointer<SingleInstance> self(this);
        connect(socket, &QLocalSocket::readyRead, this, [self, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > largestMessage) {
                socket->abort();
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
