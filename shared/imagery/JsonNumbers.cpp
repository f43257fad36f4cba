#include "JsonNumbers.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isNumberByte(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// The bytes with every number outside strings that overflows a double replaced by null. One pass;
// strings are skipped with their escapes, so text that looks like a number is left alone.
QByteArray overflowsAsNull(const QByteArray& bytes) {
    QByteArray result;
    result.reserve(bytes.size());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const char c = bytes[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < size && bytes[end] != '"')
                end += bytes[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, size);
            result.append(bytes.constData() + i, end - i);
            i = end;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            qsizetype end = i + 1;
            while (end < size && isNumberByte(bytes[end]))
                ++end;
            const std::string token(bytes.constData() + i, size_t(end - i));
            const double value = std::strtod(token.c_str(), nullptr);
            if (std::isinf(value))
                result.append("null");
            else
                result.append(bytes.constData() + i, end - i);
            i = end;
        } else {
            result.append(c);
            ++i;
        }
    }
    return result;
}

} // namespace

QJsonDocument JsonNumbers::parse(const QByteArray& bytes, QJsonParseError* error) {
    QJsonParseError first{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &first);
    // The common case costs one parse; only a document refused for a number is read again.
    if (first.error == QJsonParseError::IllegalNumber)
        return QJsonDocument::fromJson(overflowsAsNull(bytes), error);
    if (error) *error = first;
    return document;
}
