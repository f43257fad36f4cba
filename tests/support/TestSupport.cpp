#include "TestSupport.h"

#include "Log.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    ~Pipe() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
    }
};

std::vector<QByteArray> environmentWith(const QStringList& extra) {
    std::map<QByteArray, QByteArray> variables;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray line(*entry);
        variables[line.left(line.indexOf('='))] = line;
    }
    for (const QString& item : extra) {
        const QByteArray line = item.toLocal8Bit();
        variables[line.left(line.indexOf('='))] = line;
    }
    std::vector<QByteArray> lines;
    for (auto& [name, line] : variables)
        lines.push_back(line);
    return lines;
}

} // namespace

ProcessResult runProgram(const QString& program, const QStringList& arguments,
                         const QString& workingDirectory, const QStringList& extraEnvironment,
                         int timeoutMs) {
    ProcessResult result;
    Pipe out;
    Pipe err;
    if (!out.open() || !err.open()) return result;

    CStrings argv(QStringList{program} + arguments);
    CStrings envp(environmentWith(extraEnvironment));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    const QByteArray folder = workingDirectory.toLocal8Bit();
    if (!folder.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    pid_t child = -1;
    const int failed = ::posix_spawnp(&child, argv.data()[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return result;
    ::close(out.write);
    out.write = -1;
    ::close(err.write);
    err.write = -1;

    QElapsedTimer clock;
    clock.start();
    bool timedOut = false;
    pollfd channels[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
    QByteArray* sinks[2] = {&result.out, &result.err};
    while (channels[0].fd >= 0 || channels[1].fd >= 0) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        if (::poll(channels, 2, int(left)) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (channels[i].fd < 0 || channels[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(channels[i].fd, buffer, sizeof buffer);
            if (got > 0)
                sinks[i]->append(buffer, got);
            else if (got == 0 || errno != EINTR)
                channels[i].fd = -1; // closed: poll skips negative descriptors
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ProcessResult runSolvane(const QStringList& arguments, const QString& workingDirectory,
                         const QStringList& extraEnvironment) {
    return runProgram(QStringLiteral(SOLVANE_BINARY), arguments, workingDirectory, extraEnvironment);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray folderFingerprint(const QString& folder) {
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        lines << info.filePath() + " " + QString::number(info.size()) + " " +
                     QString::number(info.lastModified().toMSecsSinceEpoch()) + " " +
                     QCryptographicHash::hash(readFile(info.filePath()), QCryptographicHash::Sha256).toHex();
    }
    lines.sort();
    return lines.join('\n').toUtf8();
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
