#include "ClipChooser.h"

#include "Caption.h"
#include "Catalog.h"
#include "Playlist.h"

#include <algorithm>

ClipChooser::ClipChooser(QStringList wanted, Claims claims, EntrySource entries, LogArea area)
    : wanted_(std::move(wanted)), claims_(claims), entries_(std::move(entries)), area_(area) {}

ClipChooser::~ClipChooser() {
    release();
}

std::vector<CacheEntry> ClipChooser::form(const QStringList& wanted, const std::vector<CacheEntry>& cached) {
    if (wanted.isEmpty()) return cached;
    std::vector<CacheEntry> list;
    for (const QString& id : wanted) {
        const auto found = std::find_if(cached.begin(), cached.end(),
                                        [&](const CacheEntry& entry) { return entry.id == id; });
        if (found != cached.end()) list.push_back(*found);
    }
    // None of the wanted products is cached yet (a first start holds only the bundled clip, which the
    // default screens do not name): play what is cached instead of a waiting text until one arrives.
    if (list.empty()) return cached;
    return list;
}

std::optional<QString> ClipChooser::standIn(const QStringList& wanted, const CacheEntry& shown,
                                            const std::function<QString()>& why) {
    if (wanted.isEmpty() || wanted.contains(shown.id)) return std::nullopt;
    const QString missing = Catalog::label(wanted.front()).value_or(wanted.front());
    const QString playing = Caption::productName(shown.id, shown.label);
    const QString reason = why ? why() : QString();
    const QString state = reason.isEmpty() ? QStringLiteral(" is not downloaded yet")
                                           : QStringLiteral(" is not downloaded: ") + reason;
    return missing + state + QStringLiteral("; showing ") + playing;
}

void ClipChooser::reload(Shuffle shuffle) {
    std::vector<CacheEntry> list = form(wanted_, entries_ ? entries_() : std::vector<CacheEntry>{});
    if (shuffle == Shuffle::on) std::shuffle(list.begin(), list.end(), random_);
    playlist_ = std::move(list);
}

std::optional<CacheEntry> ClipChooser::choose(Shuffle shuffle) {
    // Played through (or never formed): re-form, and re-shuffle, before choosing again.
    if (index_ >= int(playlist_.size())) {
        reload(shuffle);
        index_ = 0;
    }
    if (playlist_.empty()) {
        log(QStringLiteral("nothing to play here yet; looking again in 5 s"), area_);
        return std::nullopt;
    }
    QStringList ids;
    for (const CacheEntry& entry : playlist_)
        ids << entry.id;
    const int from = std::min(index_, int(playlist_.size()) - 1);
    const QSet<QString> elsewhere =
        claims_ == Claims::skipped ? QSet<QString>{} : OnScreen::heldElsewhere(this);
    const int chosen = Playlist::nextIndex(ids, std::max(from, 0), elsewhere, lastID_).value_or(0);
    index_ = chosen + 1;
    const CacheEntry& entry = playlist_[size_t(chosen)];
    lastID_ = entry.id;
    if (claims_ == Claims::shared) OnScreen::claim(entry.id, this);
    return entry;
}

ClipChooser::AtEnd ClipChooser::clipEnded(qint64 loops) {
    log(QStringLiteral("clip ended (loops done ") + QString::number(loopsDone_ + 1) + QStringLiteral(" of ") +
            QString::number(loops) + QLatin1Char(')'),
        area_);
    ++loopsDone_;
    if (loopsDone_ < loops) return AtEnd::playAgain;
    loopsDone_ = 0;
    return AtEnd::playNext;
}

bool ClipChooser::step(int delta) {
    if (playlist_.empty()) return false;
    loopsDone_ = 0;
    if (delta < 0) {
        index_ = Playlist::rewound(index_, int(playlist_.size()));
        lastID_.reset();
    }
    return true;
}

void ClipChooser::release() {
    OnScreen::release(this);
}
