#pragma once
// Blocking HTTP(S) transfers on libcurl: no proxy, TLS always verified against the system's CA
// certificates wherever this Linux family keeps them (SSL_CERT_FILE wins). Safe from any thread; each
// call uses its own handle.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdio>
#include <optional>

namespace HttpClient {
// Which protocols a transfer may start on and be redirected to. The cache speaks https only, so a
// redirect can never take its downloads off TLS; a plain http URL given by hand may stay on http.
enum class Protocols { httpsOnly, httpOrHttps };

// The most a body read by get() may hold unless the caller says otherwise; the cache's index limit.
inline constexpr qsizetype defaultLargestBody = qsizetype(64) << 20;

// The body of a GET answered with a 2xx status, or nothing with the reason in words. A body longer
// than `largestBytes` fails as it arrives, so memory stays near the limit.
std::optional<QByteArray> get(const QString& url, QString* error = nullptr,
                              Protocols protocols = Protocols::httpsOnly,
                              qsizetype largestBytes = defaultLargestBody);

// What a conditional GET brought back: status 304 (with no body) or 2xx.
struct Answer {
    long status = 0;
    QByteArray body;
    QString etag; // the answer's validator; empty when it gave none or one with control characters
};

// A GET that sends `etag` as If-None-Match when it is not empty, and ends when no byte moves for `stall`
// or the whole transfer passes `total`. Nothing, with the reason in words, for any other status or no
// answer. The body is limited as get()'s.
std::optional<Answer> getConditional(const QString& url, const QString& etag, QString* error,
                                     qsizetype largestBytes, std::chrono::seconds stall,
                                     std::chrono::seconds total);

// A public host's address: the environment variable `override` when set, else `fallback`, without
// trailing slashes. Nothing, with "<what> is not an https address: <text>" in `error`, when it is not
// an https address with a host.
std::optional<QString> httpsBase(const char* fallback, const char* override, const QString& what,
                                 QString* error);

// Where the body of a pass's download goes: a file, or memory, and only while the answer's status is
// 200 (or 206, the part a ranged request asked for); never past `largest` bytes. Give it as CURLOPT_WRITEDATA
// with receiveBody as the write function.
struct BodySink {
    void* handle = nullptr; // the easy handle, whose status decides whether the body is kept
    FILE* file = nullptr;   // the body to a file, or
    QByteArray* memory = nullptr;
    qint64 largest = 0;
    qint64 written = 0;
    bool tooLarge = false;
    bool failedWrite = false;
    int writeErrno = 0; // the system's error when a write failed
};
size_t receiveBody(char* data, size_t size, size_t count, void* sink);

// Whether `text` holds a control character: such a value never goes into a request header or address.
bool hasControlCharacters(const QString& text);

// Where the CA certificates are: SSL_CERT_FILE when set, else the first of the families' usual files
// that exists (Debian, Ubuntu and Arch; Fedora; openSUSE). Nothing when there is none; then every https
// transfer fails with noCertificates() as its reason.
std::optional<QString> certificateFile();
QString noCertificates();
// Why a transfer failed, in words: libcurl's message (or its code's own text), or noCertificates() when
// the failure is that there was no CA file to check the server with.
QString failure(int curlCode, const char* message);

// Applies the settings every transfer of ours shares (TLS, proxy, stall limits, protocols) to a curl
// easy handle.
void configure(void* curlHandle, Protocols protocols = Protocols::httpsOnly);
} // namespace HttpClient
