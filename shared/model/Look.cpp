#include "Look.h"

namespace Looks {

QString rawValue(Look look) {
    switch (look) {
    case Look::natural:
        return QStringLiteral("natural");
    case Look::detail:
        return QStringLiteral("detail");
    case Look::running:
        return QStringLiteral("running");
    case Look::base:
        return QStringLiteral("base");
    }
    return QStringLiteral("natural");
}

std::optional<Look> fromRawValue(const QString& raw) {
    for (Look look : allCases)
        if (rawValue(look) == raw) return look;
    return std::nullopt;
}

QString label(Look look) {
    switch (look) {
    case Look::natural:
        return QStringLiteral("Natural");
    case Look::detail:
        return QStringLiteral("Detail");
    case Look::running:
        return QStringLiteral("Running difference");
    case Look::base:
        return QStringLiteral("Base difference");
    }
    return {};
}

} // namespace Looks
