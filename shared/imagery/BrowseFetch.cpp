#include "BrowseFetch.h"

#include "BuildInfo.h"
#include "Cache.h"
#include "HttpClient.h"
#include "PassDeadline.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <deque>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long long> firstPauseMs{2000};
std::atomic<long> lowestSpeed{1024};
std::atomic<long> lowSpeedSeconds{30};
std::atomic<qint64> requestCount{0};
std::atomic<qint64> byteCount{0};
std::atomic<qint64> wireCount{0};

constexpr std::chrono::seconds longestRetryAfter{60};

struct Transfer {
    size_t index = 0;
    int attempt = 0;
    Clock::time_point notBefore{};
    CURL* handle = nullptr;
    curl_slist* headers = nullptr;
    HttpClient::BodySink body;
    BrowseFetch::Result result;
    std::optional<long> retryAfterSeconds;
    char message[CURL_ERROR_SIZE] = {};

    ~Transfer() { release(); }
    void release() {
        if (body.file) std::fclose(body.file);
        body.file = nullptr;
        if (headers) curl_slist_free_all(headers);
        headers = nullptr;
        if (handle) curl_easy_cleanup(handle);
        handle = nullptr;
    }
};

size_t receiveHeader(char* data, size_t size, size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const size_t bytes = size * count;
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    if (line.startsWith("HTTP/")) { // a new response (after a redirect) starts afresh
        transfer->result.etag.reset();
        transfer->result.lastModified.reset();
        transfer->result.rangeStart.reset();
        transfer->result.wholeLength.reset();
        transfer->result.compressed = false;
        transfer->retryAfterSeconds.reset();
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return bytes;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QString value = QString::fromLatin1(line.mid(colon + 1).trimmed());
    if (name == "etag")
        transfer->result.etag = value;
    else if (name == "last-modified")
        transfer->result.lastModified = value;
    else if (name == "content-encoding")
        transfer->result.compressed =
            !value.isEmpty() && value.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0;
    else if (name == "content-range") {
        // "bytes 1200-4095/4096"; anything else (an unknown length "*" included) is no usable range.
        static const QRegularExpression pattern(QStringLiteral(R"(^bytes\s+(\d+)-(\d+)/(\d+)$)"));
        const QRegularExpressionMatch parts = pattern.match(value);
        if (parts.hasMatch()) {
            transfer->result.rangeStart = parts.captured(1).toLongLong();
            transfer->result.wholeLength = parts.captured(3).toLongLong();
        }
    } else if (name == "retry-after") {
        bool ok = false;
        const long seconds = value.toLong(&ok);
        if (ok && seconds >= 0) transfer->retryAfterSeconds = seconds;
    }
    return bytes;
}

using HttpClient::hasControlCharacters;

// Opens the body file and a fresh handle for the transfer's next attempt; false when the file cannot
// be opened (the transfer is then finished with that reason).
bool start(Transfer& transfer, const BrowseFetch::Request& request, const QByteArray& agent) {
    transfer.release();
    transfer.result = {};
    transfer.body = {};
    transfer.body.largest = request.largestBytes;
    transfer.retryAfterSeconds.reset();
    const QString part = request.destination + QStringLiteral(".part");
    QFile::remove(part);
    transfer.body.file = std::fopen(QFile::encodeName(part).constData(), "wb");
    if (!transfer.body.file) {
        transfer.result.writeFailure = QString::fromLocal8Bit(std::strerror(errno));
        transfer.result.error =
            QStringLiteral("could not write ") + part + QStringLiteral(": ") + transfer.result.writeFailure;
        return false;
    }
    transfer.handle = curl_easy_init();
    if (!transfer.handle) {
        transfer.result.error = QStringLiteral("the HTTP library could not start");
        return false;
    }
    CURL* curl = transfer.handle;
    transfer.body.handle = curl;
    HttpClient::configure(curl);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, lowestSpeed.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds.load());
    // The URL is copied by libcurl.
    curl_easy_setopt(curl, CURLOPT_URL, request.url.toUtf8().constData());
    for (const auto& [header, value] :
         {std::pair{"If-None-Match: ", request.etag}, std::pair{"If-Modified-Since: ", request.lastModified}})
        if (value && !value->isEmpty() && !hasControlCharacters(*value))
            transfer.headers = curl_slist_append(transfer.headers, (header + value->toLatin1()).constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, transfer.headers);
    if (request.from) {
        curl_easy_setopt(curl, CURLOPT_RANGE, QByteArray::number(*request.from).append('-').constData());
    } else if (request.compressed) {
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, ""); // every encoding this libcurl decodes
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, HttpClient::receiveBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.message);
    curl_easy_setopt(curl, CURLOPT_PRIVATE, &transfer);
    transfer.message[0] = '\0';
    ++requestCount;
    return true;
}

// The outcome of a finished attempt, from libcurl's code and what arrived.
void conclude(Transfer& transfer, CURLcode code) {
    BrowseFetch::Result& result = transfer.result;
    curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &result.status);
    HttpClient::BodySink& body = transfer.body;
    result.bytes = body.written;
    byteCount += body.written;
    curl_off_t wire = 0;
    if (curl_easy_getinfo(transfer.handle, CURLINFO_SIZE_DOWNLOAD_T, &wire) == CURLE_OK) {
        result.wireBytes = qint64(wire);
        wireCount += qint64(wire);
    }
    if (body.file && std::fclose(body.file) != 0 && !body.failedWrite) {
        body.failedWrite = true;
        body.writeErrno = errno;
    }
    body.file = nullptr;
    if (body.tooLarge) {
        result.error = QStringLiteral("the answer is larger than %1 bytes").arg(body.largest);
    } else if (body.failedWrite) {
        result.writeFailure = QString::fromLocal8Bit(std::strerror(body.writeErrno ? body.writeErrno : EIO));
        result.error = QStringLiteral("the download could not be written: ") + result.writeFailure;
    } else if (code != CURLE_OK)
        result.error = HttpClient::failure(code, transfer.message);
    else if (result.status == 0)
        result.error = QStringLiteral("no response");
    if (!result.error.isEmpty()) result.status = 0;
}

bool worthRetrying(long status) {
    return status == 429 || (status >= 500 && status <= 599);
}

} // namespace

QString BrowseFetch::userAgent() {
    return QStringLiteral("Solvane/%1 (desktop viewer of NASA SDO imagery)")
        .arg(QLatin1String(BuildInfo::version));
}

void BrowseFetch::setFirstPause(std::chrono::milliseconds pause) {
    firstPauseMs.store(pause.count());
}

void BrowseFetch::setMinimumSpeed(long bytesPerSecond, std::chrono::seconds window) {
    lowestSpeed.store(bytesPerSecond);
    lowSpeedSeconds.store(long(window.count()));
}

BrowseFetch::Counters BrowseFetch::counters() {
    return {requestCount.load(), byteCount.load(), wireCount.load()};
}

BrowseFetch::Ending BrowseFetch::run(const std::vector<Request>& requests,
                                     const std::function<bool(size_t, const Result&)>& finished,
                                     const PassDeadline* deadline) {
    if (requests.empty()) return Ending::complete;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), &curl_multi_cleanup);
    const QByteArray agent = userAgent().toUtf8();
    std::deque<std::unique_ptr<Transfer>> waiting;
    for (size_t index = 0; index < requests.size(); ++index) {
        auto transfer = std::make_unique<Transfer>();
        transfer->index = index;
        waiting.push_back(std::move(transfer));
    }
    std::vector<std::unique_ptr<Transfer>> active;
    bool goOn = true;
    auto finish = [&](Transfer& transfer) {
        if (transfer.result.status != 200 && transfer.result.status != 206)
            QFile::remove(requests[transfer.index].destination + QStringLiteral(".part"));
        goOn = finished(transfer.index, transfer.result) && goOn;
    };
    // What is in hand is abandoned with its partial file; what waits is never started.
    auto abandon = [&](Ending ending) {
        for (auto& transfer : active) {
            curl_multi_remove_handle(multi.get(), transfer->handle);
            transfer->release();
            QFile::remove(requests[transfer->index].destination + QStringLiteral(".part"));
        }
        return ending;
    };

    while (!waiting.empty() || !active.empty()) {
        if (Cache::stopRequested()) return abandon(Ending::stopped);
        if (!goOn) return abandon(Ending::cancelled);
        if (deadline && deadline->expired()) return abandon(Ending::outOfTime);
        // Start what may start: the first waiting requests whose pause is over.
        const auto now = Clock::now();
        for (auto it = waiting.begin(); it != waiting.end() && int(active.size()) < parallel && goOn;) {
            if ((*it)->notBefore > now) {
                ++it;
                continue;
            }
            std::unique_ptr<Transfer> transfer = std::move(*it);
            it = waiting.erase(it);
            if (!start(*transfer, requests[transfer->index], agent)) {
                finish(*transfer);
                continue;
            }
            curl_multi_add_handle(multi.get(), transfer->handle);
            active.push_back(std::move(transfer));
        }
        if (active.empty()) { // everything left is pausing
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        int running = 0;
        curl_multi_perform(multi.get(), &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            const auto it = std::find_if(active.begin(), active.end(), [message](const auto& t) {
                return t->handle == message->easy_handle;
            });
            if (it == active.end()) continue;
            std::unique_ptr<Transfer> transfer = std::move(*it);
            active.erase(it);
            curl_multi_remove_handle(multi.get(), transfer->handle);
            conclude(*transfer, message->data.result);
            if (worthRetrying(transfer->result.status) && transfer->attempt + 1 < attempts) {
                const auto pause = transfer->retryAfterSeconds
                                       ? std::chrono::milliseconds(std::chrono::seconds(std::min<long>(
                                             *transfer->retryAfterSeconds, long(longestRetryAfter.count()))))
                                       : std::chrono::milliseconds(firstPauseMs.load() << transfer->attempt);
                ++transfer->attempt;
                transfer->release();
                transfer->notBefore = Clock::now() + pause;
                waiting.push_front(std::move(transfer));
                continue;
            }
            transfer->release();
            finish(*transfer);
        }
        if (running > 0) curl_multi_poll(multi.get(), nullptr, 0, 200, nullptr);
    }
    return goOn ? Ending::complete : Ending::cancelled;
}
