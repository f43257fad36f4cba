#include "MirrorServers.h"

#include "TiedChild.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef SOLVANE_SOURCE_DIR
#define SOLVANE_SOURCE_DIR "."
#endif

namespace {

const QString python = QStringLiteral("/usr/bin/python3");

QString tool(const char* name) {
    return QStringLiteral(SOLVANE_SOURCE_DIR "/tools/mirror/") + QLatin1String(name);
}

bool run(const QString& program, const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A server that ends with the test, its output in `log` rather than on the test's own (ctest's pipe).
std::unique_ptr<QProcess> serverProcess(const QString& log) {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([parent = ::getpid()] { endWithParent(parent); });
    process->setStandardErrorFile(log, QIODevice::Append);
    return process;
}

void stop(std::unique_ptr<QProcess>& process) {
    if (!process) return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

int unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TestCertificate TestCertificate::make(const QString& folder) {
    TestCertificate made{folder + QStringLiteral("/cert.pem"), folder + QStringLiteral("/key.pem")};
    const bool ok = run(QStringLiteral("openssl"),
                        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                         "-nodes", "-keyout", made.key, "-out", made.certificate, "-days", "2", "-subj",
                         "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"});
    if (!ok) return {};
    QFile::setPermissions(made.key, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadOther | QFileDevice::ReadGroup);
    return made;
}

bool makeMirror(const QString& root, const QStringList& arguments) {
    return run(python, QStringList{tool("make_mirror.py"), root} + arguments);
}

QStringList readAccessLog(const QString& path) {
    // Servers write the line just after the answer; give them a moment to finish.
    QByteArray previous;
    for (int attempt = 0; attempt < 20; ++attempt) {
        QThread::msleep(50);
        QFile file(path);
        const QByteArray now = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (attempt > 1 && now == previous) break;
        previous = now;
    }
    QStringList lines;
    for (const QByteArray& line : previous.split('\n'))
        if (!line.trimmed().isEmpty()) lines << QString::fromUtf8(line.trimmed());
    return lines;
}

NginxMirror::NginxMirror(const QString& root, const TestCertificate& certificate, const QString& workFolder,
                         const QString& serverLines)
    : prefix_(workFolder), accessLog_(workFolder + QStringLiteral("/access.log")) {
    QDir().mkpath(prefix_ + QStringLiteral("/tmp"));
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
        const int port = unusedPort();
        const QString conf = QStringLiteral(R"(user root root;
daemon off;
worker_processes 1;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 64; }
http {
  log_format solvane '$request_method $uri $status $http_if_none_match';
  access_log %1/access.log solvane;
  client_body_temp_path %1/tmp/body;
  proxy_temp_path %1/tmp/proxy;
  fastcgi_temp_path %1/tmp/fastcgi;
  uwsgi_temp_path %1/tmp/uwsgi;
  scgi_temp_path %1/tmp/scgi;
  types { application/json json; video/mp4 mp4; image/png png; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:%2 ssl;
    ssl_certificate %3;
    ssl_certificate_key %4;
    root %5;
    %6
  }
}
)")
                                 .arg(prefix_)
                                 .arg(port)
                                 .arg(certificate.certificate, certificate.key, root, serverLines);
        QFile file(prefix_ + QStringLiteral("/nginx.conf"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        file.write(conf.toUtf8());
        file.close();
        // In the foreground (daemon off above), so the master is the child that the test's end stops.
        process_ = serverProcess(prefix_ + QStringLiteral("/nginx-output.log"));
        process_->setStandardOutputFile(prefix_ + QStringLiteral("/nginx-output.log"), QIODevice::Append);
        process_->start(QStringLiteral("/usr/sbin/nginx"),
                        {"-e", prefix_ + QStringLiteral("/error.log"), "-p", prefix_, "-c",
                         prefix_ + QStringLiteral("/nginx.conf")});
        for (int wait = 0; wait < 100; ++wait) {
            if (process_->state() == QProcess::NotRunning) break;
            if (accepts(port)) {
                port_ = port;
                break;
            }
            QThread::msleep(30);
        }
        if (port_ == 0) stop(process_);
    }
}

NginxMirror::~NginxMirror() {
    stop(process_);
}

QString NginxMirror::host() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

void NginxMirror::clearRequests() const {
    readAccessLog(accessLog_); // let a late line land first
    QFile(accessLog_).resize(0);
}

FaultServer::FaultServer(const QString& root, const TestCertificate& certificate, const QString& workFolder)
    : faults_(workFolder + QStringLiteral("/faults.json")),
      accessLog_(workFolder + QStringLiteral("/fault-access.log")) {
    setFaults({});
    process_ = serverProcess(workFolder + QStringLiteral("/fault-server.log"));
    process_->start(python, {tool("fault_server.py"), root, "--cert", certificate.certificate, "--key",
                             certificate.key, "--faults", faults_, "--log", accessLog_});
    if (!process_->waitForReadyRead(15000)) return;
    const QByteArray line = process_->readLine().trimmed();
    if (line.startsWith("port ")) port_ = line.mid(5).toInt();
}

FaultServer::~FaultServer() {
    stop(process_);
}

QString FaultServer::host() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

void FaultServer::setFaults(const QJsonObject& faults) const {
    QFile file(faults_ + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    file.write(QJsonDocument(faults).toJson());
    file.close();
    ::rename(QFile::encodeName(faults_ + QStringLiteral(".part")).constData(),
             QFile::encodeName(faults_).constData());
}

void FaultServer::clearRequests() const {
    readAccessLog(accessLog_);
    QFile(accessLog_).resize(0);
}
