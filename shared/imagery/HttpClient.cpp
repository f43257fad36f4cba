#include "HttpClient.h"

#include "Cache.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <curl/curl.h>
#include <memory>

namespace {

constexpr long stallSeconds = 20;     // a request that moves no byte for this long fails
constexpr long resourceSeconds = 600; // and no transfer takes longer than this in all

// libcurl looks only where the system it was built on keeps the CA file; a portable build runs on
// every family, so we look in each one's place.
constexpr const char* certificatePlaces[] = {
    "/etc/ssl/certs/ca-certificates.crt", // Debian, Ubuntu, Arch
    "/etc/pki/tls/certs/ca-bundle.crt",   // Fedora
    "/etc/ssl/ca-bundle.pem",             // openSUSE
};

void initialiseOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

struct Body {
    QByteArray bytes;
    qsizetype largest = 0;
    bool tooLarge = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<Body*>(target);
    const qsizetype bytes = qsizetype(size * count);
    if (bytes > body->largest - body->bytes.size()) {
        body->tooLarge = true;
        return 0; // aborts the transfer
    }
    // Grow by doubling, but never past the limit: the buffer's slack would otherwise double the peak.
    const qsizetype needed = body->bytes.size() + bytes;
    if (needed > body->bytes.capacity())
        body->bytes.reserve(std::min(body->largest, std::max(needed, 2 * body->bytes.capacity())));
    body->bytes.append(data, bytes);
    return size_t(bytes);
}

// Called by libcurl about once a second and with every block: a stop asked for by a signal ends the
// transfer, even one that has stalled.
int stopWhenAsked(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Cache::stopRequested() ? 1 : 0;
}

bool hasControlCharacters(const QByteArray& text) {
    return HttpClient::hasControlCharacters(QString::fromLatin1(text));
}

size_t receiveHeader(char* data, size_t size, size_t count, void* target) {
    auto* etag = static_cast<QByteArray*>(target);
    const size_t bytes = size * count;
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    if (line.startsWith("HTTP/")) etag->clear(); // a new response (after a redirect) starts afresh
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().toLower() == "etag") *etag = line.mid(colon + 1).trimmed();
    return bytes;
}

// One GET; zero limits keep configure()'s. Statuses 2xx and 304 are answers, anything else a failure.
std::optional<HttpClient::Answer> transfer(const QString& url, const QString& etag, QString* error,
                                           HttpClient::Protocols protocols, qsizetype largestBytes,
                                           std::chrono::seconds stall, std::chrono::seconds total) {
    initialiseOnce();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    auto fail = [error](const QString& why) -> std::optional<HttpClient::Answer> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!curl) return fail(QStringLiteral("the HTTP library could not start"));
    if (url.startsWith(QLatin1String("https:")) && !HttpClient::certificateFile())
        return fail(HttpClient::noCertificates());
    Body body;
    body.largest = largestBytes;
    QByteArray validator;
    char message[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    HttpClient::configure(curl.get(), protocols);
    if (stall.count() > 0) {
        curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, long(stall.count()));
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, long(stall.count()));
    }
    if (total.count() > 0) curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, long(total.count()));
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, &curl_slist_free_all);
    const QByteArray held = etag.toLatin1();
    if (!held.isEmpty() && !hasControlCharacters(held)) {
        headers.reset(curl_slist_append(nullptr, ("If-None-Match: " + held).constData()));
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    }
    curl_easy_setopt(curl.get(), CURLOPT_URL, address.constData());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &validator);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, message);
    const CURLcode result = curl_easy_perform(curl.get());
    if (body.tooLarge) return fail(QStringLiteral("the body is larger than %1 MiB").arg(largestBytes >> 20));
    if (result != CURLE_OK) return fail(HttpClient::failure(result, message));
    HttpClient::Answer answer;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    if (answer.status != 304 && (answer.status < 200 || answer.status > 299))
        return fail(QStringLiteral("the server answered with status %1").arg(answer.status));
    if (answer.status != 304) answer.body = std::move(body.bytes);
    if (!hasControlCharacters(validator)) answer.etag = QString::fromLatin1(validator);
    return answer;
}

} // namespace

bool HttpClient::hasControlCharacters(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

size_t HttpClient::receiveBody(char* data, size_t size, size_t count, void* target) {
    auto* sink = static_cast<BodySink*>(target);
    const size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(sink->handle, CURLINFO_RESPONSE_CODE, &status);
    // Bodies of other answers are not kept; 206 is the part of a file a ranged request asked for.
    if (status != 200 && status != 206) return bytes;
    if (sink->written + qint64(bytes) > sink->largest) {
        sink->tooLarge = true;
        return 0; // aborts the transfer
    }
    if (sink->file) {
        if (std::fwrite(data, 1, bytes, sink->file) != bytes) {
            sink->failedWrite = true;
            sink->writeErrno = errno;
            return 0;
        }
    } else if (sink->memory) {
        sink->memory->append(data, qsizetype(bytes));
    } else {
        sink->failedWrite = true; // nowhere to put it
        return 0;
    }
    sink->written += qint64(bytes);
    return bytes;
}

void HttpClient::configure(void* handle, Protocols protocols) {
    CURL* curl = static_cast<CURL*>(handle);
    const char* allowed = protocols == Protocols::httpsOnly ? "https" : "http,https";
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // never a proxy from the environment
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, allowed);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, allowed);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, resourceSeconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Solvane");
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenAsked);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // Without a CA file libcurl falls back to its build system's path, which fails as it should, and
    // failure() says why in words.
    if (const std::optional<QString> file = certificateFile())
        curl_easy_setopt(curl, CURLOPT_CAINFO, file->toLocal8Bit().constData());
}

std::optional<QString> HttpClient::certificateFile() {
    // libcurl ignores SSL_CERT_FILE by itself; a test mirror with its own certificate relies on it.
    if (const char* chosen = std::getenv("SSL_CERT_FILE"); chosen && *chosen)
        return QString::fromLocal8Bit(chosen);
    for (const char* place : certificatePlaces)
        if (QFileInfo(QString::fromLatin1(place)).isFile()) return QString::fromLatin1(place);
    return std::nullopt;
}

QString HttpClient::failure(int curlCode, const char* message) {
    if (curlCode == CURLE_SSL_CACERT_BADFILE && !certificateFile()) return noCertificates();
    return QString::fromUtf8(message && *message ? message : curl_easy_strerror(CURLcode(curlCode)));
}

QString HttpClient::noCertificates() {
    QStringList places;
    for (const char* place : certificatePlaces)
        places << QString::fromLatin1(place);
    return QStringLiteral("no CA certificates to check servers with: none of ") +
           places.join(QStringLiteral(", ")) +
           QStringLiteral(
               " exists (install the ca-certificates package, or name a CA file in SSL_CERT_FILE)");
}

std::optional<QByteArray> HttpClient::get(const QString& url, QString* error, Protocols protocols,
                                          qsizetype largestBytes) {
    std::optional<Answer> answer =
        transfer(url, {}, error, protocols, largestBytes, std::chrono::seconds(0), std::chrono::seconds(0));
    if (!answer) return std::nullopt;
    if (answer->status == 304) { // asked for nothing conditional, so a server that says so is odd
        if (error) *error = QStringLiteral("the server answered with status 304");
        return std::nullopt;
    }
    return std::move(answer->body);
}

std::optional<HttpClient::Answer> HttpClient::getConditional(const QString& url, const QString& etag,
                                                             QString* error, qsizetype largestBytes,
                                                             std::chrono::seconds stall,
                                                             std::chrono::seconds total) {
    return transfer(url, etag, error, Protocols::httpsOnly, largestBytes, stall, total);
}
