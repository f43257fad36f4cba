#include "CacheEntry.h"

#include "Log.h"
#include "Lossy.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

std::optional<QString> optionalText(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString()) return value.toString();
    return std::nullopt;
}

std::optional<int> optionalInteger(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != double(qint64(number)) || number < INT_MIN || number > INT_MAX) return std::nullopt;
    return int(number);
}

QString describe(const QJsonParseError& error) {
    return error.errorString() + QStringLiteral(" at offset ") + QString::number(error.offset);
}

} // namespace

std::optional<CacheEntry> CacheEntry::fromJson(const QJsonValue& value, QString& error) {
    if (!value.isObject()) {
        error = QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const auto video = optionalText(object, "video");
    if (!video) {
        error = QStringLiteral("no video");
        return std::nullopt;
    }
    // The files are opened inside the cache folder: a value that is not a plain file name
    // ("../../x.mp4", "/etc/x") would reach outside it.
    if (!isSafeProductID(*video)) {
        error = QStringLiteral("the video is not a plain file name");
        return std::nullopt;
    }
    CacheEntry entry;
    entry.video = *video;
    entry.id = optionalText(object, "id").value_or(QString());
    entry.label = optionalText(object, "label").value_or(entry.id);
    entry.updated = optionalText(object, "updated").value_or(QString());
    entry.still = optionalText(object, "still");
    if (entry.still && !isSafeProductID(*entry.still)) entry.still.reset();
    entry.stillUpdated = optionalText(object, "stillUpdated");
    entry.frameCount = optionalInteger(object, "frame_count");
    entry.integration = Integration::fromJson(object.value(QLatin1String("integration")));
    return entry;
}

QJsonObject CacheEntry::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("label"), label},
        {QStringLiteral("video"), video},
        {QStringLiteral("updated"), updated},
    };
    if (still) object.insert(QStringLiteral("still"), *still);
    if (stillUpdated) object.insert(QStringLiteral("stillUpdated"), *stillUpdated);
    if (frameCount) object.insert(QStringLiteral("frame_count"), *frameCount);
    if (integration)
        object.insert(QStringLiteral("integration"),
                      QJsonObject{{QStringLiteral("frames"), integration->frames},
                                  {QStringLiteral("method"), integration->method}});
    return object;
}

std::optional<CacheEntry> CacheEntry::decode(const QByteArray& bytes) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    QString error;
    std::optional<CacheEntry> entry;
    if (parseError.error != QJsonParseError::NoError)
        error = describe(parseError);
    else
        entry = fromJson(document.isObject() ? QJsonValue(document.object()) : QJsonValue(), error);
    if (!entry) log(QStringLiteral("cache entry unreadable: ") + error, LogArea::cache);
    return entry;
}

std::optional<std::vector<CacheEntry>> CacheEntry::list(const QByteArray& bytes, QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? describe(parseError)
                                                                  : QStringLiteral("not a JSON array");
        return std::nullopt;
    }
    return Lossy<CacheEntry>::values(document.array());
}

QJsonObject Cache::LastPass::toJson() const {
    return QJsonObject{
        {QStringLiteral("finished"), finished},
        {QStringLiteral("check"), check},
        {QStringLiteral("everything"), everything},
        {QStringLiteral("host"), host},
        {QStringLiteral("usedOrigin"), usedOrigin},
        {QStringLiteral("moved"), moved},
        {QStringLiteral("pruned"), pruned},
        {QStringLiteral("listed"), listed},
        {QStringLiteral("failed"), QJsonArray::fromStringList(failed)},
        {QStringLiteral("reached"), reached},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("newest"), newest},
        {QStringLiteral("writeFailure"), writeFailure},
        {QStringLiteral("cutShort"), cutShort},
    };
}

std::optional<Cache::LastPass> Cache::LastPass::fromJson(const QJsonValue& value, QString& error) {
    if (!value.isObject()) {
        error = QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject o = value.toObject();
    auto missing = [&error](const char* key, const char* type) {
        error = QStringLiteral("%1 is missing or not %2").arg(QLatin1String(key), QLatin1String(type));
        return std::nullopt;
    };
    LastPass pass;
    for (auto [key, target] : {std::pair{"finished", &pass.finished}, std::pair{"host", &pass.host}}) {
        if (!o.value(QLatin1String(key)).isString()) return missing(key, "a text");
        *target = o.value(QLatin1String(key)).toString();
    }
    for (auto [key, target] : {std::pair{"check", &pass.check}, std::pair{"everything", &pass.everything},
                               std::pair{"usedOrigin", &pass.usedOrigin}}) {
        if (!o.value(QLatin1String(key)).isBool()) return missing(key, "a boolean");
        *target = o.value(QLatin1String(key)).toBool();
    }
    for (auto [key, target] : {std::pair{"moved", &pass.moved}, std::pair{"pruned", &pass.pruned},
                               std::pair{"listed", &pass.listed}}) {
        const auto number = optionalInteger(o, key);
        if (!number) return missing(key, "an integer");
        *target = *number;
    }
    const QJsonValue failed = o.value(QLatin1String("failed"));
    if (!failed.isArray()) return missing("failed", "an array");
    for (const QJsonValue& id : failed.toArray()) {
        if (!id.isString()) return missing("failed", "an array of texts");
        pass.failed << id.toString();
    }
    const QJsonValue reached = o.value(QLatin1String("reached"));
    if (!reached.isUndefined() && !reached.isBool()) return missing("reached", "a boolean");
    pass.reached = reached.toBool(true);
    for (auto [key, target] :
         {std::pair{"reason", &pass.reason}, std::pair{"newest", &pass.newest},
          std::pair{"writeFailure", &pass.writeFailure}, std::pair{"cutShort", &pass.cutShort}}) {
        const QJsonValue text = o.value(QLatin1String(key));
        if (!text.isUndefined() && !text.isString()) return missing(key, "a text");
        *target = text.toString();
    }
    return pass;
}
