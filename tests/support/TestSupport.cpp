#include "TestSupport.h"

#include "Log.h"

#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ProcessResult runSolvane(const QStringList& arguments, const QString& workingDirectory,
                         const QStringList& extraEnvironment) {
    QProcess process;
    process.setProgram(QStringLiteral(SOLVANE_BINARY));
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    QStringList environment = QProcess::systemEnvironment();
    environment << extraEnvironment;
    process.setEnvironment(environment);
    process.start();
    ProcessResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

QByteArray httpReply(int status, const QByteArray& body, const QByteArray& extraHeaders) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Status\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" +
           extraHeaders + "\r\n" + body;
}

LoopbackHttpServer::LoopbackHttpServer(QByteArray reply) : reply_(std::move(reply)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
        while (!stopping_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            // Read the request head, then answer and close.
            QByteArray request;
            char buffer[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, got);
            }
            ++requests_;
            ::send(client, reply_.constData(), size_t(reply_.size()), MSG_NOSIGNAL);
            ::close(client);
        }
    });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

QString LoopbackHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

CapturedLog::CapturedLog() {
    if (::pipe(fds_) != 0) return;
    previous_ = Log::redirectStandardError(fds_[1]);
    reader_ = std::thread([this] {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fds_[0], buffer, sizeof buffer);
            if (got <= 0) break;
            text_.append(buffer, got);
        }
    });
}

CapturedLog::~CapturedLog() {
    finish();
}

QByteArray CapturedLog::finish() {
    if (finished_) return text_;
    finished_ = true;
    Log::redirectStandardError(previous_);
    ::close(fds_[1]);
    reader_.join();
    ::close(fds_[0]);
    return text_;
}
