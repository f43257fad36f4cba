#pragma once
// Real HTTPS servers on loopback for the cache's tests: nginx serving a generated mirror tree, and our
// fault-injecting server. Each owns its process and stops it when destroyed. The certificate is made
// at test time; point SSL_CERT_FILE at `certificate` so the client trusts it.

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

struct TestCertificate {
    QString certificate;
    QString key;
    // A self-signed certificate for 127.0.0.1 in `folder`; empty paths when openssl failed.
    static TestCertificate make(const QString& folder);
};

// Runs tools/mirror/make_mirror.py on `root` with extra arguments; true when it succeeded.
bool makeMirror(const QString& root, const QStringList& arguments = {});

// The lines of an access log ("METHOD PATH STATUS IF-NONE-MATCH"), after the server has had a moment
// to write the last one.
QStringList readAccessLog(const QString& path);

class NginxMirror {
public:
    // `serverLines` go into the server block as they are (a benchmark's "limit_rate 1250k;").
    NginxMirror(const QString& root, const TestCertificate& certificate, const QString& workFolder,
                const QString& serverLines = {});
    ~NginxMirror();
    bool running() const { return port_ > 0; }
    // The nginx master's process id.
    qint64 pid() const { return process_ ? process_->processId() : 0; }
    // "127.0.0.1:<port>", the form the imageryHost setting takes.
    QString host() const;
    QStringList requests() const { return readAccessLog(accessLog_); }
    void clearRequests() const;

private:
    QString prefix_;
    QString accessLog_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
};

class FaultServer {
public:
    FaultServer(const QString& root, const TestCertificate& certificate, const QString& workFolder);
    ~FaultServer();
    bool running() const { return port_ > 0; }
    QString host() const;
    // Replaces the faults (see tools/mirror/fault_server.py), effective from the next request.
    void setFaults(const QJsonObject& faults) const;
    QStringList requests() const { return readAccessLog(accessLog_); }
    void clearRequests() const;

private:
    QString faults_;
    QString accessLog_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on at the moment of asking.
int unusedPort();
