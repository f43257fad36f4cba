#pragma once
// Sway's IPC (i3's protocol) on its Unix socket: framing, and one request with a limit on the size of the
// answer and on the time it may take, so that a compositor that trickles, floods or never answers costs
// at most that. A blocking form for ports whose contract is synchronous, and one that never blocks for
// what runs on the GUI thread.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

class QObject;

namespace SwayIpc {

// No answer or event of ours is near this; a larger one is refused as soon as its header arrives.
inline constexpr qsizetype largestMessage = qsizetype(8) << 20;
// How long one request may take, from connecting to the last byte of the answer.
inline constexpr std::chrono::milliseconds longestWait{2000};
inline constexpr qsizetype headerSize = 14; // "i3-ipc", payload length, message type

// A message of `type` with `payload`, framed.
QByteArray message(quint32 type, const QByteArray& payload);

// Takes the first whole message off the front of `buffer`. `incomplete` when more bytes are needed;
// `refused`, with the reason, when the bytes are not the protocol's or announce more than
// largestMessage (the caller then drops the connection).
enum class Read { incomplete, whole, refused };
Read take(QByteArray& buffer, quint32& type, QByteArray& payload, QString& why);

using Clock = std::chrono::steady_clock;

// One request at `socketPath`, blocking until its answer or `deadline`: the answer's payload, or the
// reason it failed.
std::pair<QByteArray, std::optional<QString>> request(const QString& socketPath, quint32 type,
                                                      const QByteArray& payload, Clock::time_point deadline);

// One request that never blocks: `done` is called once, on `context`'s thread from its event loop, with
// the payload or the reason (empty on success) within longestWait. Never called when `context` is
// destroyed first.
using Answer = std::function<void(const QByteArray& payload, const QString& failure)>;
void ask(const QString& socketPath, quint32 type, const QByteArray& payload, QObject* context, Answer done);

} // namespace SwayIpc
