#pragma once
// Times in cache files are ISO 8601 UTC texts, with or without fractions of a second.

#include <QDateTime>
#include <QString>
#include <optional>

inline std::optional<QDateTime> parseISO(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid()) date = QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid()) return std::nullopt;
    return date.toUTC();
}
