#include "ListingTail.h"

std::optional<qint64> ListingTail::anchor(const QByteArray& held) {
    const qsizetype lower = held.lastIndexOf("href");
    const qsizetype upper = held.lastIndexOf("HREF");
    const qsizetype link = std::max(lower, upper);
    if (link < 0) return std::nullopt;
    return qint64(held.lastIndexOf('\n', link) + 1);
}

std::optional<QByteArray> ListingTail::splice(const QByteArray& held, qint64 from, const QByteArray& part) {
    if (from < 0 || from >= held.size()) return std::nullopt;
    const qsizetype end = held.indexOf('\n', qsizetype(from));
    // The line must be whole in both: a line cut short at the end of `held` proves nothing.
    if (end < 0) return std::nullopt;
    const QByteArray line = held.mid(qsizetype(from), end + 1 - qsizetype(from));
    if (!part.startsWith(line)) return std::nullopt;
    return held.left(qsizetype(from)) + part;
}
