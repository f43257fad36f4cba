#include "ImageryIndex.h"

#include "Cache.h"
#include "JsonNumbers.h"
#include "Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<ImageryIndex> ImageryIndex::parse(const QByteArray& bytes, QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = JsonNumbers::parse(bytes, &parseError);
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    if (parseError.error != QJsonParseError::NoError)
        return fail(parseError.errorString() + QStringLiteral(" at offset ") +
                    QString::number(parseError.offset));
    if (!document.isObject()) return fail(QStringLiteral("the document is not a JSON object"));
    const QJsonObject root = document.object();
    const QJsonValue products = root.value(QLatin1String("products"));
    if (!products.isArray()) return fail(QStringLiteral("the document has no products array"));

    ImageryIndex index;
    if (const QJsonValue v = root.value(QLatin1String("generated")); v.isString())
        index.generated = v.toString();
    if (const QJsonValue v = root.value(QLatin1String("mirrored")); v.isString())
        index.mirrored = v.toString();
    if (const QJsonValue v = root.value(QLatin1String("failed")); v.isArray()) {
        // A list of texts; an element of another type is left out rather than spoiling the list.
        QStringList failed;
        for (const QJsonValue& id : v.toArray())
            if (id.isString()) failed << id.toString();
        index.failed = failed;
    }
    const QJsonArray elements = products.toArray();
    index.verdicts.reserve(elements.size());
    for (const QJsonValue& element : elements) {
        IndexElement judged = IndexElement::judge(element);
        index.verdicts << judged.verdict;
        if (judged.product) index.products.push_back(std::move(*judged.product));
    }
    return index;
}

std::optional<ImageryIndex> ImageryIndex::decode(const QByteArray& bytes) {
    QString error;
    auto index = parse(bytes, &error);
    if (!index) {
        log(QStringLiteral("index unreadable: ") + error, LogArea::cache);
        return std::nullopt;
    }
    QStringList rejections;
    for (const QString& verdict : index->verdicts)
        if (verdict.startsWith(QLatin1String("reject"))) rejections << verdict;
    if (!rejections.isEmpty())
        log(QStringLiteral("index: ") + rejections.join(QStringLiteral("; ")), LogArea::cache);
    return index;
}

std::optional<QStringList> Cache::indexVerdicts(const std::optional<QByteArray>& bytes) {
    if (!bytes) return std::nullopt;
    auto index = ImageryIndex::parse(*bytes);
    if (!index) return std::nullopt;
    return index->verdicts;
}
