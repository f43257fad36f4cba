#pragma once
// Converting between property-list bytes (XML or binary) and Qt values, through libplist.
//
// Values are QVariants of these types: QString, bool, qint64, double, QDateTime (UTC, whole seconds),
// QByteArray (data), QVariantList (array) and QVariantMap (dictionary). Anything else cannot be stored.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

namespace PropertyList {

// Files larger than this are not settings files; refusing them keeps a stray huge file from being read.
inline constexpr qint64 maximumBytes = 16 * 1024 * 1024;

// Parses property-list bytes whose root is a dictionary. On failure returns nothing and, when `error`
// is given, says why in words ("not a property list", "the top level is an array, not a dictionary").
std::optional<QVariantMap> parseDictionary(const QByteArray& bytes, QString* error = nullptr);

// The XML property list of a dictionary, readable by any other property-list reader.
QByteArray toXml(const QVariantMap& values);

// The value in the form it is kept in and read back from a file: ints widened to qint64, string lists
// turned into arrays of strings, dates in UTC truncated to whole seconds, strings stripped of characters
// XML cannot carry. An invalid QVariant when the value has no property-list form.
QVariant normalized(const QVariant& value);

// libplist keeps a date as 32-bit seconds from 2001-01-01T00:00:00Z, so dates span 1932 to 2069;
// dates outside are clamped to the ends of that range.
QDateTime dateFromReferenceSeconds(qint64 seconds);
qint64 referenceSeconds(const QDateTime& date);

} // namespace PropertyList
