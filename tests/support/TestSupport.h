#pragma once
// Small helpers the test executables share: running the real program, temporary folders, a loopback
// HTTP server that answers with a fixed reply.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

// A list of strings as the NULL-terminated char* array exec and posix_spawn take, owning the bytes.
class CStrings {
public:
    explicit CStrings(const QStringList& list) {
        for (const QString& item : list)
            bytes_.push_back(item.toLocal8Bit());
        point();
    }
    explicit CStrings(std::vector<QByteArray> list) : bytes_(std::move(list)) { point(); }
    char** data() { return pointers_.data(); }

private:
    void point() {
        for (QByteArray& item : bytes_)
            pointers_.push_back(item.data());
        pointers_.push_back(nullptr);
    }
    std::vector<QByteArray> bytes_;
    std::vector<char*> pointers_;
};

struct ProcessResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (killed after `timeoutMs`: status -1) and gathers what it printed. Extra
// environment entries ("NAME=value") override the inherited ones; standard input is /dev/null.
// Started with posix_spawn: QProcess's vfork-style start leaves ThreadSanitizer blind to the parent's locks
// from then on, which buries real reports under false ones.
ProcessResult runProgram(const QString& program, const QStringList& arguments,
                         const QString& workingDirectory = {}, const QStringList& extraEnvironment = {},
                         int timeoutMs = 120000);

// Runs the solvane binary with arguments in a working folder (default: the source root).
ProcessResult runSolvane(const QStringList& arguments, const QString& workingDirectory = {},
                         const QStringList& extraEnvironment = {});

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);
// Every entry under a folder: its name, size, modification time and contents, so any write shows.
QByteArray folderFingerprint(const QString& folder);

// Serves one fixed HTTP reply to every connection on 127.0.0.1 until destroyed.
class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(QByteArray reply);
    ~LoopbackHttpServer();
    int port() const { return port_; }
    QString url(const QString& path) const;
    int requests() const { return requests_.load(); }

private:
    QByteArray reply_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A full HTTP/1.1 response with a body and Connection: close.
QByteArray httpReply(int status, const QByteArray& body, const QByteArray& extraHeaders = {});

// Captures what `log` writes to standard error while it lives; finish() gives the text.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    QByteArray finish();

private:
    int fds_[2] = {-1, -1};
    int previous_ = 2;
    bool finished_ = false;
    QByteArray text_;
    std::thread reader_;
};
