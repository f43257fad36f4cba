#pragma once
// Converting between property-list bytes (XML or binary) and Qt values, through libplist.
//
// Values are QVariants of these types: QString, bool, qint64, double, QDateTime (UTC, whole seconds),
// QByteArray (data), QVariantList (array) and QVariantMap (dictionary). Anything else cannot be stored,
// except a Kept value: one read from a file that these types cannot hold exactly, written back as read.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace PropertyList {

// Files larger than this are not settings files; refusing them keeps a stray huge file from being read.
inline constexpr qint64 maximumBytes = 16 * 1024 * 1024;

// Files nested deeper than this, or holding more values than this, are refused before they are parsed.
inline constexpr int maximumNesting = 512;
inline constexpr qint64 maximumElements = qint64(1) << 20;

// Why the bytes must not be handed to the parser (too deep, too many values, a binary object that
// contains itself), or nothing. Bounded in time and stack whatever the bytes are.
std::optional<QString> shapeProblem(const QByteArray& bytes);

// A top-level value the Qt types cannot hold exactly (a date outside 1932-2069, an unsigned integer
// above the signed range, an unknown type, nesting past 64 levels): the parsed node itself, shared and
// never changed, so saving the file writes it back as it was read. Typed reads see no usable value.
struct Kept {
    std::shared_ptr<void> node;
    bool operator==(const Kept& other) const { return node == other.node; }
};

// Parses property-list bytes whose root is a dictionary. On failure returns nothing and, when `error`
// is given, says why in words ("not a property list", "the top level is an array, not a dictionary").
// `kept`, when given, receives the keys whose values are Kept.
std::optional<QVariantMap> parseDictionary(const QByteArray& bytes, QString* error = nullptr,
                                           QStringList* kept = nullptr);

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

Q_DECLARE_METATYPE(PropertyList::Kept)
