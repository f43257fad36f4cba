#include "Playlist.h"

std::optional<int> Playlist::nextIndex(const QStringList& ids, int from, const QSet<QString>& elsewhere,
                                       const std::optional<QString>& last) {
    const qsizetype n = ids.size();
    if (n == 0) return std::nullopt;
    // Callers never pass a negative start; one that did would still get a valid position.
    const qsizetype start = from < 0 ? 0 : from % n;
    qsizetype kept = start;
    int keptScore = 4;
    for (qsizetype k = 0; k < n; ++k) {
        const qsizetype i = (start + k) % n;
        const QString& id = ids.at(i);
        const int score = (elsewhere.contains(id) ? 2 : 0) + (last && *last == id ? 1 : 0);
        if (score < keptScore) {
            kept = i;
            keptScore = score;
        }
        if (score == 0) break;
    }
    return static_cast<int>(kept);
}

int Playlist::rewound(int cursor, int count) {
    if (count < 1) return 0;
    return ((cursor - 2) % count + count) % count;
}

namespace {

std::map<OnScreen::Owner, QString>& table() {
    static std::map<OnScreen::Owner, QString> claims;
    return claims;
}

} // namespace

void OnScreen::claim(const QString& id, Owner by) {
    table()[by] = id;
}

void OnScreen::release(Owner by) {
    table().erase(by);
}

QSet<QString> OnScreen::heldElsewhere(Owner than) {
    QSet<QString> held;
    for (const auto& [owner, id] : table())
        if (owner != than) held.insert(id);
    return held;
}

const std::map<OnScreen::Owner, QString>& OnScreen::claims() {
    return table();
}
