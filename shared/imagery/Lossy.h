#pragma once
// Lenient list decoding: one malformed element of a JSON array is skipped with a log line and never
// spoils the others.

#include "Log.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <optional>
#include <vector>

// T provides: static std::optional<T> fromJson(const QJsonValue&, QString& error) and
// static constexpr const char* typeName.
template <typename T> struct Lossy {
    std::optional<T> value;

    static Lossy decode(const QJsonValue& element) {
        QString error;
        Lossy result{T::fromJson(element, error)};
        if (!result.value)
            log(QStringLiteral("skipped a malformed ") + QLatin1String(T::typeName) + QStringLiteral(": ") +
                    error,
                LogArea::cache);
        return result;
    }

    // Every element that decodes, in order.
    static std::vector<T> values(const QJsonArray& array) {
        std::vector<T> kept;
        kept.reserve(static_cast<size_t>(array.size()));
        for (const QJsonValue& element : array)
            if (auto lossy = decode(element); lossy.value) kept.push_back(std::move(*lossy.value));
        return kept;
    }
};
