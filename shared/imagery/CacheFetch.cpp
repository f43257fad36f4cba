// Conditional downloads from the imagery host over one reused libcurl handle.
#include "Cache.h"

#include "CacheSettings.h"
#include "ClipMaking.h"
#include "HttpClient.h"
#include "JsonNumbers.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <mutex>

namespace {

constexpr qint64 largestSmallObject = qint64(16) << 20;

// Set by tests to shorten every request; zero means the written limits.
std::atomic<long> stallOverride{0};
std::atomic<long> totalOverride{0};

// Why the latest request of this thread failed, for the pass's record.
thread_local QString latestFailure;

// Logs a failed request and keeps its reason.
void failed(const QString& verb, const QString& key, const QString& why) {
    latestFailure = why;
    log(verb + QLatin1Char(' ') + key + QStringLiteral(": ") + why, LogArea::cache);
}

// The shared client: one handle, so connections and TLS sessions are reused across the requests of a
// pass. Requests take turns on it.
struct Session {
    std::mutex mutex;
    CURL* handle = nullptr;

    Session() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        handle = curl_easy_init();
    }
    ~Session() {
        if (handle) curl_easy_cleanup(handle);
    }
};

Session& session() {
    static Session shared;
    return shared;
}

struct Response {
    long status = 0;
    std::optional<QString> etag;
    QString error; // set when there is no usable response
    bool timedOut = false;
    qint64 bytes = 0;
};

using HttpClient::BodySink;
using HttpClient::hasControlCharacters;

size_t receiveHeader(char* data, size_t size, size_t count, void* target) {
    auto* etag = static_cast<std::optional<QString>*>(target);
    const size_t bytes = size * count;
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    if (line.startsWith("HTTP/")) etag->reset(); // a new response (after a redirect) starts afresh
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().toLower() == "etag")
        *etag = QString::fromLatin1(line.mid(colon + 1).trimmed());
    return bytes;
}

// One GET on the shared handle. The body goes to `sink` only for status 200.
Response request(const QString& url, const std::optional<QString>& ifNoneMatch, BodySink& sink,
                 Cache::Request kind) {
    const Cache::TimeLimits limits = Cache::timeLimits(kind);
    const long stallSeconds = stallOverride.load() > 0 ? stallOverride.load() : long(limits.stall.count());
    const long totalSeconds = totalOverride.load() > 0 ? totalOverride.load() : long(limits.total.count());
    Session& shared = session();
    std::lock_guard lock(shared.mutex);
    Response response;
    CURL* curl = shared.handle;
    if (!curl) {
        response.error = QStringLiteral("the HTTP library could not start");
        return response;
    }
    curl_easy_reset(curl);
    HttpClient::configure(curl);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, totalSeconds);
    // Larger reads mean fewer trips through our callback on multi-megabyte clips.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 512L * 1024);
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_slist* headers = nullptr;
    if (ifNoneMatch) {
        const QByteArray header = "If-None-Match: " + ifNoneMatch->toLatin1();
        headers = curl_slist_append(headers, header.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    sink.handle = curl;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, HttpClient::receiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.etag);
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    response.bytes = sink.written;
    if (sink.tooLarge)
        response.error = QStringLiteral("the answer is larger than %1 bytes").arg(sink.largest);
    else if (sink.failedWrite)
        response.error =
            QStringLiteral("could not write the download: ") + QString::fromLocal8Bit(std::strerror(errno));
    else if (result == CURLE_OPERATION_TIMEDOUT) {
        double elapsed = 0;
        curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME, &elapsed);
        response.timedOut = elapsed >= double(totalSeconds) - 0.5;
        response.error = HttpClient::failure(result, message);
    } else if (result != CURLE_OK)
        response.error = HttpClient::failure(result, message);
    else if (response.status == 0)
        response.error = QStringLiteral("no response");
    if (!response.error.isEmpty()) response.status = 0;
    return response;
}

std::optional<QString> urlFor(const QString& key) {
    const QString host = Cache::host();
    if (host.isEmpty() || key.isEmpty() || hasControlCharacters(key) || hasControlCharacters(host))
        return std::nullopt;
    const QUrl url(QStringLiteral("https://") + host + QLatin1Char('/') + key, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    return url.toString(QUrl::FullyEncoded);
}

bool isJpegSignature(const QByteArray& head) {
    return head.size() >= 3 && head.startsWith("\xFF\xD8\xFF");
}

// A still that arrived as JPEG becomes a PNG in its place; false with the reason in `error`.
bool convertJpegStill(const QString& downloaded, QString& error) {
    QFile file(downloaded);
    if (!file.open(QIODevice::ReadOnly) || !isJpegSignature(file.read(3))) return true;
    file.close();
    const auto& toPng = ClipMaking::toPng();
    if (!toPng) {
        error = QStringLiteral("this program cannot convert a JPEG still");
        return false;
    }
    const QString png = downloaded + QStringLiteral(".png");
    if (!toPng(downloaded, png, error)) {
        QFile::remove(png);
        return false;
    }
    QFile::remove(downloaded);
    if (!QFile::rename(png, downloaded)) {
        QFile::remove(png);
        error = QStringLiteral("could not replace the JPEG with its PNG");
        return false;
    }
    return true;
}

std::optional<QString> readSidecar(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll()).trimmed();
}

// Whether a complete body is the kind of file that was asked for, judged by its first bytes: a server
// that answers an error page with status 200 must not replace a good clip.
bool looksLike(const QString& destination, const QString& downloaded) {
    QFile file(downloaded);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (destination.endsWith(QLatin1String(".mp4"))) {
        const QByteArray head = file.read(12);
        return head.size() == 12 && head.mid(4, 4) == "ftyp";
    }
    if (destination.endsWith(QLatin1String(".png"))) {
        // A mirror may publish its stills as JPEG; they are converted on arrival.
        const QByteArray head = file.read(8);
        return head == QByteArray("\x89PNG\r\n\x1a\n", 8) || isJpegSignature(head);
    }
    if (destination.endsWith(QLatin1String(".json")))
        return JsonNumbers::parse(file.readAll(), nullptr).isObject();
    return true;
}

bool rename(const QString& from, const QString& to, QString& error) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

QString Cache::origin() {
    if (const char* override = std::getenv("SOLVANE_ORIGIN_HOST"); override && *override)
        return QString::fromUtf8(override);
    return {};
}

bool Cache::originIsDirect() {
    return origin().isEmpty();
}

QString Cache::lastFailure() {
    return latestFailure;
}

void Cache::setTimeLimits(std::chrono::seconds stall, std::chrono::seconds total) {
    stallOverride.store(long(stall.count()));
    totalOverride.store(long(total.count()));
}

Cache::Fetched Cache::fetch(const QString& key, const QString& destination, qint64 largestBytes,
                            Request kind) {
    const QString etagFile = destination + QStringLiteral(".etag");
    const QString sourceFile = destination + QStringLiteral(".src");
    const QString name = QFileInfo(destination).fileName();
    const std::optional<QString> heldKey = readSidecar(sourceFile);
    if (!isNewer(key, heldKey)) return Fetched::unchanged;
    const auto url = urlFor(key);
    if (!url) {
        failed(QStringLiteral("fetch"), key, QStringLiteral("not a usable address"));
        return Fetched::failed;
    }
    // The tag vouches only for the key it came with: a server whose tags are the modification second and
    // the size gives two different clips the same tag, and a 304 would then keep the old clip under the
    // new key for good.
    std::optional<QString> held;
    if (heldKey == key) held = readSidecar(etagFile);
    if (held && (held->isEmpty() || hasControlCharacters(*held))) held.reset();

    // The body lands beside the file and is renamed over it only once it is complete and fitting.
    const QString temporary = destination + QStringLiteral(".tmp");
    QFile::remove(temporary);
    FILE* out = std::fopen(QFile::encodeName(temporary).constData(), "wb");
    if (!out) {
        log(QStringLiteral("fetch ") + key + QStringLiteral(": could not put ") + name +
                QStringLiteral(" in place: ") + QString::fromLocal8Bit(std::strerror(errno)),
            LogArea::cache);
        return Fetched::failed;
    }
    BodySink sink;
    sink.file = out;
    sink.largest = largestBytes;
    const Response response = request(*url, held, sink, kind);
    const bool closed = std::fclose(out) == 0;
    auto discard = [&temporary] { QFile::remove(temporary); };

    if (response.timedOut) {
        discard();
        failed(QStringLiteral("fetch"), key, QStringLiteral("timed out"));
        return Fetched::failed;
    }
    if (response.status == 0) {
        discard();
        failed(QStringLiteral("fetch"), key,
               response.error.isEmpty() ? QStringLiteral("no response") : response.error);
        return Fetched::failed;
    }
    if (response.status == 304) {
        discard();
        note(key, sourceFile);
        return Fetched::unchanged;
    }
    if (response.status != 200) {
        discard();
        failed(QStringLiteral("fetch"), key, QStringLiteral("HTTP ") + QString::number(response.status));
        return Fetched::failed;
    }
    if (!looksLike(destination, temporary)) {
        discard();
        log(QStringLiteral("fetch ") + key +
                QStringLiteral(": the answer is not the file that was asked for"),
            LogArea::cache);
        return Fetched::failed;
    }
    QString error;
    if (!closed)
        error = QStringLiteral("the download could not be written");
    else if (destination.endsWith(QLatin1String(".png")) && !convertJpegStill(temporary, error)) {
        discard();
        failed(QStringLiteral("fetch"), key,
               QStringLiteral("the JPEG still could not be converted: ") + error);
        return Fetched::failed;
    } else
        rename(temporary, destination, error);
    if (!error.isEmpty()) {
        discard();
        log(QStringLiteral("fetch ") + key + QStringLiteral(": could not put ") + name +
                QStringLiteral(" in place: ") + error,
            LogArea::cache);
        return Fetched::failed;
    }
    if (response.etag && !response.etag->isEmpty() && !hasControlCharacters(*response.etag))
        note(*response.etag, etagFile);
    else
        QFile::remove(etagFile);
    note(key, sourceFile);
    return Fetched::changed;
}

std::optional<QByteArray> Cache::get(const QString& key) {
    const auto url = urlFor(key);
    if (!url) {
        failed(QStringLiteral("get"), key, QStringLiteral("not a usable address"));
        return std::nullopt;
    }
    QByteArray body;
    BodySink sink;
    sink.memory = &body;
    sink.largest = largestSmallObject;
    const Response response = request(*url, std::nullopt, sink, Request::fragment);
    if (response.timedOut) {
        failed(QStringLiteral("get"), key, QStringLiteral("timed out"));
        return std::nullopt;
    }
    if (response.status == 0) {
        failed(QStringLiteral("get"), key, response.error);
        return std::nullopt;
    }
    if (response.status != 200) {
        failed(QStringLiteral("get"), key, QStringLiteral("HTTP ") + QString::number(response.status));
        return std::nullopt;
    }
    return body;
}
