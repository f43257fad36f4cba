#pragma once
// Downloads from a public static-file host, a few at a time, politely: conditional where we hold a
// validator, a User-Agent naming Solvane and its version, and a growing pause before retrying an answer
// of 429 or 5xx. A transfer slower than a minimum speed fails. Blocking; runs on the pass's thread and
// ends at Cache::stopRequested() or when the pass's deadline runs out.

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class PassDeadline;

namespace BrowseFetch {

struct Request {
    QString url;
    // A 200 (or 206) body is written to destination + ".part"; the caller puts it in place.
    QString destination;
    std::optional<QString> etag;         // sent as If-None-Match
    std::optional<QString> lastModified; // sent as If-Modified-Since
    qint64 largestBytes = qint64(64) << 20;
    // Asks for the file from this byte on (Range); the answer is 206 with that part, or 200 with the
    // whole file from a server that ignores ranges.
    std::optional<qint64> from;
    // Asks for a compressed answer (gzip, deflate, ...), decoded as it arrives. Never together with
    // `from`: a range of a compressed stream cannot be decoded on its own.
    bool compressed = false;
};

struct Result {
    long status = 0; // 0: no answer, see error
    QString error;   // in words, when there was no usable answer
    std::optional<QString> etag;
    std::optional<QString> lastModified;
    qint64 bytes = 0;        // body bytes written, decoded
    qint64 wireBytes = 0;    // body bytes as they came over the network (compressed, when they were)
    bool compressed = false; // the body came with a Content-Encoding (decoded as it arrived)
    // A 206's Content-Range: where its part starts and the whole file's length.
    std::optional<qint64> rangeStart;
    std::optional<qint64> wholeLength;
    // The system's reason when the answer could not be written here (a full disk): the fault is ours,
    // not the host's.
    QString writeFailure;
};

// Requests in flight at once, at most.
inline constexpr int parallel = 2;
// Attempts of one request answered with 429 or 5xx before it counts as failed.
inline constexpr int attempts = 3;

// How a run ended: every request finished, or the rest were abandoned (their partial files removed,
// `finished` not called for them) at a stop, when the deadline ran out, or when `finished` said so.
enum class Ending { complete, stopped, outOfTime, cancelled };

// Runs every request, at most `parallel` at a time, and calls `finished` on the calling thread as each
// ends for good (after its retries); `finished` gives false to abandon the rest.
Ending run(const std::vector<Request>& requests, const std::function<bool(size_t, const Result&)>& finished,
           const PassDeadline* deadline = nullptr);

// A transfer that moves fewer than `bytesPerSecond` over `window` fails: 1 kB/s over 30 s unless a test
// says otherwise.
void setMinimumSpeed(long bytesPerSecond, std::chrono::seconds window);

// "Solvane/<version> (+<where to read about it>)".
QString userAgent();

// The pause before the first retry (doubled before each later one) when the answer names none; tests
// shorten it. A Retry-After of the host is honoured up to a minute.
void setFirstPause(std::chrono::milliseconds pause);

// Requests started and body bytes received since the process started (benchmarks): `bytes` as written
// (decoded), `wireBytes` as they came over the network.
struct Counters {
    qint64 requests = 0;
    qint64 bytes = 0;
    qint64 wireBytes = 0;
};
Counters counters();

} // namespace BrowseFetch
