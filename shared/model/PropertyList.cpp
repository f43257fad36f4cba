#include "PropertyList.h"

#include "Plist.h"
#include "QtDates.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <memory>

namespace PropertyList {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, PlistFree>;

const QDateTime& referenceDate() {
    static const QDateTime reference = compat::utcDateTime(QDate(2001, 1, 1), QTime(0, 0));
    return reference;
}

QString takeString(char* text) {
    QString result = QString::fromUtf8(text ? text : "");
    compat::plistFree(text);
    return result;
}

// Calls each(item) for the children of an array, in order. The iterator walks the children once;
// indexed access would start from the first child each time.
template <typename Each> void forEachItem(plist_t array, Each each) {
    plist_array_iter iterator = nullptr;
    plist_array_new_iter(array, &iterator);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, iterator, &item);
        if (!item) break;
        each(item);
    }
    compat::plistFree(iterator);
}

// Calls each(key, item) for the entries of a dictionary, in order; the key is the library's own bytes.
template <typename Each> void forEachEntry(plist_t dict, Each each) {
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dict, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(dict, iterator, &key, &item);
        if (!key) break;
        each(static_cast<const char*>(key), item);
        compat::plistFree(key);
    }
    compat::plistFree(iterator);
}

// Nesting deeper than this is not a settings file; deeper values are kept as read, not converted.
constexpr int maximumDepth = 64;

QString xmlSafe(const QString& text);

// Converts a parsed tree to Qt values. `exact` turns false when any part cannot be held exactly, so the
// caller keeps that value as read instead.
class Converter {
public:
    bool exact = true;

    QVariant toVariant(plist_t node, int depth) {
        if (depth > maximumDepth) return lost();
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return QVariant(value != 0);
        }
        case PLIST_UINT: {
            // An unsigned value above the signed range has no qint64 form.
            const std::optional<int64_t> value = compat::plistInteger(node);
            if (!value) return lost();
            return QVariant(qint64(*value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return QVariant(value);
        }
        case PLIST_KEY: {
            char* text = nullptr;
            plist_get_key_val(node, &text);
            return QVariant(takeString(text));
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            const QByteArray bytes(text ? text : "", text ? qsizetype(length) : 0);
            const QString value = QString::fromUtf8(bytes);
            // Text that is not UTF-8 or that XML cannot carry would change on the way back.
            if (value.toUtf8() != bytes || xmlSafe(value) != value) return lost();
            return QVariant(value);
        }
        case PLIST_DATE: {
            int32_t seconds = 0;
            int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            // The getter truncates to 32 bits: a date beyond that range reads back as another date.
            if (!sameAs(node, plist_new_date(seconds, microseconds))) return lost();
            return QVariant(dateFromReferenceSeconds(seconds));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return QVariant(QByteArray(bytes ? bytes : "", bytes ? qsizetype(length) : 0));
        }
        case PLIST_ARRAY: {
            QVariantList list;
            list.reserve(qsizetype(plist_array_get_size(node)));
            forEachItem(node, [&](plist_t item) {
                const QVariant element = toVariant(item, depth + 1);
                if (element.isValid()) list.append(element);
            });
            return QVariant(list);
        }
        case PLIST_DICT: {
            QVariantMap map;
            forEachEntry(node, [&](const char* key, plist_t item) {
                const QString name = QString::fromUtf8(key);
                if (xmlSafe(name) != name) exact = false;
                const QVariant element = toVariant(item, depth + 1);
                if (element.isValid()) map.insert(name, element);
            });
            return QVariant(map);
        }
        default:
            // Keyed-archive uids and anything newer have no meaning in settings.
            return lost();
        }
    }

private:
    QVariant lost() {
        exact = false;
        return {};
    }

    static bool sameAs(plist_t node, plist_t fresh) {
        const bool same = plist_compare_node_value(node, fresh) != 0;
        plist_free(fresh);
        return same;
    }
};

// XML 1.0 cannot carry most control characters, unpaired surrogates or U+FFFE/U+FFFF; a file holding
// them would be refused by every other reader.
QString xmlSafe(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            result.append(c);
            result.append(text[++i]);
        } else if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || c.isSurrogate() || u == 0xFFFE ||
                   u == 0xFFFF) {
            result.append(QChar(QChar::ReplacementCharacter));
        } else {
            result.append(c);
        }
    }
    return result;
}

plist_t toNode(const QVariant& value, int depth) {
    if (depth > maximumDepth) return nullptr;
    if (value.userType() == qMetaTypeId<Kept>()) {
        const Kept kept = value.value<Kept>();
        return kept.node ? plist_copy(kept.node.get()) : nullptr;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return compat::plistNewInteger(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(xmlSafe(value.toString()).toUtf8().constData());
    case QMetaType::QDateTime: {
        const qint64 seconds = referenceSeconds(value.toDateTime());
        return plist_new_date(int32_t(seconds), 0);
    }
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return plist_new_data(data.constData(), uint64_t(data.size()));
    }
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QString& element : value.toStringList())
            plist_array_append_item(array, toNode(QVariant(element), depth + 1));
        return array;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& element : value.toList())
            if (plist_t node = toNode(element, depth + 1)) plist_array_append_item(array, node);
        return array;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            if (plist_t node = toNode(it.value(), depth + 1))
                plist_dict_set_item(dict, xmlSafe(it.key()).toUtf8().constData(), node);
        return dict;
    }
    default:
        return nullptr;
    }
}

// A copy of a parsed value that libplist's writer can write: its parser keeps a string's length past an
// embedded NUL while its writer copies by that length from a string cut at the NUL, reading past the
// end. Strings and keys are made afresh from their text; other leaves are copied as they are.
plist_t writableCopy(plist_t node, int depth) {
    if (depth > maximumNesting) return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        plist_t copy = plist_new_string(text ? text : "");
        compat::plistFree(text);
        return copy;
    }
    case PLIST_ARRAY: {
        plist_t array = plist_new_array();
        forEachItem(node, [&](plist_t item) {
            if (plist_t copy = writableCopy(item, depth + 1)) plist_array_append_item(array, copy);
        });
        return array;
    }
    case PLIST_DICT: {
        plist_t dict = plist_new_dict();
        forEachEntry(node, [&](const char* key, plist_t item) {
            if (plist_t copy = writableCopy(item, depth + 1)) plist_dict_set_item(dict, key, copy);
        });
        return dict;
    }
    case PLIST_KEY: {
        char* text = nullptr;
        plist_get_key_val(node, &text);
        plist_t copy = plist_new_string(text ? text : "");
        compat::plistFree(text);
        return copy;
    }
    default:
        return plist_copy(node);
    }
}

// The top-level values, each converted when it can be held exactly and otherwise kept as read.
QVariantMap topLevel(plist_t root, QStringList* keptKeys) {
    QVariantMap map;
    forEachEntry(root, [&](const char* key, plist_t item) {
        const QString name = QString::fromUtf8(key);
        Converter converter;
        QVariant value = converter.toVariant(item, 1);
        if (!converter.exact || xmlSafe(name) != name) {
            value = QVariant::fromValue(Kept{std::shared_ptr<void>(writableCopy(item, 0), PlistFree())});
            if (keptKeys) keptKeys->append(name);
        }
        if (value.isValid()) map.insert(name, value);
    });
    return map;
}

} // namespace

QDateTime dateFromReferenceSeconds(qint64 seconds) {
    return referenceDate().addSecs(seconds);
}

qint64 referenceSeconds(const QDateTime& date) {
    if (!date.isValid()) return 0;
    const qint64 seconds = referenceDate().secsTo(date.toUTC());
    return std::clamp<qint64>(seconds, std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max());
}

std::optional<QVariantMap> parseDictionary(const QByteArray& bytes, QString* error, QStringList* kept) {
    const auto fail = [error](const QString& why) -> std::optional<QVariantMap> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.isEmpty()) return fail(QStringLiteral("the file is empty"));
    if (bytes.size() > maximumBytes)
        return fail(QStringLiteral("the file is too large to be a settings file"));
    if (const auto problem = shapeProblem(bytes)) return fail(*problem);
    const Node root(compat::plistFromMemory(bytes.constData(), uint32_t(bytes.size())));
    if (!root) return fail(QStringLiteral("not a property list"));
    switch (plist_get_node_type(root.get())) {
    case PLIST_DICT:
        return topLevel(root.get(), kept);
    case PLIST_ARRAY:
        return fail(QStringLiteral("the top level is an array, not a dictionary"));
    default:
        return fail(QStringLiteral("the top level is not a dictionary"));
    }
}

QByteArray toXml(const QVariantMap& values) {
    const Node root(toNode(QVariant(values), 0));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    QByteArray result(xml ? xml : "", xml ? qsizetype(length) : 0);
    compat::plistFree(xml);
    // libplist writes years before 1000 without their leading zeros ("1-01-01T..."), which no other
    // reader accepts; a kept date of such a year is written in the standard four digits.
    static const QRegularExpression shortYear(QStringLiteral("<date>(\\d{1,3})-"));
    if (!result.contains("<date>")) return result;
    QString text = QString::fromUtf8(result);
    qsizetype from = 0;
    for (QRegularExpressionMatch match = shortYear.match(text); match.hasMatch();
         match = shortYear.match(text, from)) {
        const QString padded = match.captured(1).rightJustified(4, QLatin1Char('0'));
        text.replace(match.capturedStart(1), match.capturedLength(1), padded);
        from = match.capturedStart(1) + padded.size();
    }
    return text.toUtf8();
}

QVariant normalized(const QVariant& value) {
    if (value.userType() == qMetaTypeId<Kept>()) return value;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QVariant(value.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QVariant(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QVariant(value.toDouble());
    case QMetaType::QString:
        return QVariant(xmlSafe(value.toString()));
    case QMetaType::QDateTime:
        if (!value.toDateTime().isValid()) return {};
        return QVariant(dateFromReferenceSeconds(referenceSeconds(value.toDateTime())));
    case QMetaType::QByteArray:
        return value;
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString& element : value.toStringList())
            list.append(QVariant(xmlSafe(element)));
        return QVariant(list);
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        for (const QVariant& element : value.toList()) {
            const QVariant kept = normalized(element);
            if (kept.isValid()) list.append(kept);
        }
        return QVariant(list);
    }
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
            const QVariant kept = normalized(it.value());
            if (kept.isValid()) map.insert(xmlSafe(it.key()), kept);
        }
        return QVariant(map);
    }
    default:
        return {};
    }
}

} // namespace PropertyList
