#include "HttpClient.h"

#include "Cache.h"

#include <algorithm>
#include <cstdlib>
#include <curl/curl.h>
#include <memory>

namespace {

constexpr long stallSeconds = 20;     // a request that moves no byte for this long fails
constexpr long resourceSeconds = 600; // and no transfer takes longer than this in all

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

} // namespace

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
    // libcurl ignores SSL_CERT_FILE by itself; a test mirror with its own certificate relies on it.
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && *bundle)
        curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
}

std::optional<QByteArray> HttpClient::get(const QString& url, QString* error, Protocols protocols,
                                          qsizetype largestBytes) {
    initialiseOnce();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    auto fail = [error](const QString& why) -> std::optional<QByteArray> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!curl) return fail(QStringLiteral("the HTTP library could not start"));
    Body body;
    body.largest = largestBytes;
    char message[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    configure(curl.get(), protocols);
    curl_easy_setopt(curl.get(), CURLOPT_URL, address.constData());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, message);
    const CURLcode result = curl_easy_perform(curl.get());
    if (body.tooLarge) return fail(QStringLiteral("the body is larger than %1 MiB").arg(largestBytes >> 20));
    if (result != CURLE_OK) return fail(QString::fromUtf8(*message ? message : curl_easy_strerror(result)));
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return fail(QStringLiteral("the server answered with status %1").arg(status));
    return std::move(body.bytes);
}
