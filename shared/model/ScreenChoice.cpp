#include "ScreenChoice.h"

namespace {
const QString offEntry = QStringLiteral("off");
const QString allPiece = QStringLiteral("all");
const QString separator = QStringLiteral(",");
} // namespace

ScreenChoice::ScreenChoice(const QStringList& ids) : ScreenChoice(parse(ids.join(separator))) {}

ScreenChoice ScreenChoice::parse(const QString& entry) {
    if (entry == offEntry) return off();
    QStringList kept;
    // Pieces keep their spaces; "all" (an older release's pseudo-product) and "off" inside a list are
    // dropped rather than treated as product ids.
    for (const QString& piece : entry.split(separator, Qt::SkipEmptyParts))
        if (piece != allPiece && piece != offEntry) kept.append(piece);
    if (kept.isEmpty()) return all();
    return ScreenChoice(Kind::list, kept);
}

QString ScreenChoice::entry() const {
    switch (kind_) {
    case Kind::all:
        return QString();
    case Kind::off:
        return offEntry;
    case Kind::list:
        return ids_.join(separator);
    }
    return QString();
}
