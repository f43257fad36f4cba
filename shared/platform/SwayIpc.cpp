#include "SwayIpc.h"

#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>
#include <memory>

namespace {

const QByteArray magic = QByteArrayLiteral("i3-ipc");

QString tooLarge() {
    return QStringLiteral("the compositor's answer is larger than %1 MiB").arg(SwayIpc::largestMessage >> 20);
}

} // namespace

QByteArray SwayIpc::message(quint32 type, const QByteArray& payload) {
    QByteArray framed = magic;
    // The protocol uses the machine's own byte order; every wlroots machine we run on is little-endian.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    const quint32 numbers[2] = {qToLittleEndian(quint32(payload.size())), qToLittleEndian(type)};
    framed.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
    return framed + payload;
}

SwayIpc::Read SwayIpc::take(QByteArray& buffer, quint32& type, QByteArray& payload, QString& why) {
    if (!magic.startsWith(buffer.left(magic.size()))) {
        why = QStringLiteral("the compositor answered in an unknown format");
        return Read::refused;
    }
    if (buffer.size() < headerSize) return Read::incomplete;
    const quint32 length = qFromLittleEndian<quint32>(buffer.constData() + magic.size());
    if (qsizetype(length) > largestMessage) {
        why = tooLarge();
        return Read::refused;
    }
    if (buffer.size() < headerSize + qsizetype(length)) return Read::incomplete;
    type = qFromLittleEndian<quint32>(buffer.constData() + magic.size() + 4);
    payload = buffer.mid(headerSize, length);
    buffer.remove(0, headerSize + length);
    return Read::whole;
}

std::pair<QByteArray, std::optional<QString>> SwayIpc::request(const QString& socketPath, quint32 type,
                                                               const QByteArray& payload,
                                                               Clock::time_point deadline) {
    if (socketPath.isEmpty()) return {{}, QStringLiteral("no compositor socket (SWAYSOCK is empty)")};
    auto left = [deadline] {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return int(std::max<qint64>(0, rest.count()));
    };
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(left()))
        return {{}, QStringLiteral("could not reach %1: %2").arg(socketPath, socket.errorString())};
    socket.write(message(type, payload));
    if (!socket.waitForBytesWritten(left()))
        return {{}, QStringLiteral("could not send: ") + socket.errorString()};

    QByteArray reply;
    for (;;) {
        quint32 answered = 0;
        QByteArray answer;
        QString why;
        switch (take(reply, answered, answer, why)) {
        case Read::whole:
            return {answer, std::nullopt};
        case Read::refused:
            return {{}, why};
        case Read::incomplete:
            break;
        }
        // Each wait is for what is left of the whole request: a trickle cannot stretch it.
        if (left() == 0 || !socket.waitForReadyRead(left()))
            return {{},
                    QStringLiteral("no whole answer from the compositor within %1 s")
                        .arg(double(longestWait.count()) / 1000.0)};
        reply += socket.read(largestMessage + headerSize - reply.size() + 1);
    }
}

void SwayIpc::ask(const QString& socketPath, quint32 type, const QByteArray& payload, QObject* context,
                  Answer done) {
    // The socket belongs to `context`: when that goes, the request goes with it, unanswered.
    auto* socket = new QLocalSocket(context);
    auto* timer = new QTimer(socket);
    auto buffer = std::make_shared<QByteArray>();
    auto answered = std::make_shared<bool>(false);
    auto finish = [socket, answered, done = std::move(done)](const QByteArray& answer,
                                                             const QString& failure) {
        if (*answered) return;
        *answered = true;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        done(answer, failure);
    };
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, socket, [finish] {
        finish({}, QStringLiteral("no whole answer from the compositor within %1 s")
                       .arg(double(longestWait.count()) / 1000.0));
    });
    QObject::connect(socket, &QLocalSocket::connected, socket,
                     [socket, framed = message(type, payload)] { socket->write(framed); });
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer, finish] {
        *buffer += socket->read(largestMessage + headerSize - buffer->size() + 1);
        quint32 answered = 0;
        QByteArray answer;
        QString why;
        switch (take(*buffer, answered, answer, why)) {
        case Read::whole:
            finish(answer, {});
            break;
        case Read::refused:
            finish({}, why);
            break;
        case Read::incomplete:
            break;
        }
    });
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, [socket, socketPath, finish] {
        finish({}, QStringLiteral("could not reach %1: %2").arg(socketPath, socket->errorString()));
    });
    timer->start(longestWait);
    if (socketPath.isEmpty()) {
        QTimer::singleShot(
            0, socket, [finish] { finish({}, QStringLiteral("no compositor socket (SWAYSOCK is empty)")); });
        return;
    }
    socket->connectToServer(socketPath);
}
