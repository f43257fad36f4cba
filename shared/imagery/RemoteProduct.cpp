#include "RemoteProduct.h"

#include "JsonNumbers.h"
#include "Log.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <limits>
#include <variant>

namespace {

std::optional<QString> optionalText(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

std::optional<int> optionalInteger(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    // Only whole numbers that fit: 3.5 or 1e300 frames is junk, not a count.
    if (std::trunc(number) != number || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(number);
}

void putOptional(QJsonObject& object, const char* key, const std::optional<QString>& value) {
    if (value) object.insert(QLatin1String(key), *value);
}

// Either the accepted product or why it was refused.
using Judgement = std::variant<RemoteProduct, RemoteProduct::Rejection>;

Judgement judgeObject(const QJsonObject& object) {
    using Kind = RemoteProduct::Rejection::Kind;
    const auto id = optionalText(object, "id");
    if (!id) return RemoteProduct::Rejection{Kind::noID, {}};
    if (!isSafeProductID(*id)) return RemoteProduct::Rejection{Kind::unsafeID, {}};
    const auto updated = optionalText(object, "updated");
    if (!updated) return RemoteProduct::Rejection{Kind::noUpdated, *id};

    RemoteProduct product;
    product.id = *id;
    product.updated = *updated;
    product.label = optionalText(object, "label");
    product.through = optionalText(object, "through");
    product.video = optionalText(object, "video");
    product.img1k = optionalText(object, "img1k");
    product.thumb = optionalText(object, "thumb");
    product.integration = Integration::fromJson(object.value(QLatin1String("integration")));
    product.videoV = optionalText(object, "video_v");
    product.stillV = optionalText(object, "still_v");
    product.frameCount = optionalInteger(object, "frame_count");
    if (product.videos().isEmpty()) return RemoteProduct::Rejection{Kind::noVideo, *id};
    return product;
}

} // namespace

std::optional<Integration> Integration::fromJson(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto frames = optionalInteger(object, "frames");
    const auto method = optionalText(object, "method");
    if (!frames || !method) return std::nullopt;
    return Integration{*frames, *method};
}

QStringList RemoteProduct::videos() const {
    QStringList keys;
    if (videoV) keys << *videoV;
    if (video) keys << *video;
    return keys;
}

QStringList RemoteProduct::stills() const {
    QStringList keys;
    if (stillV) keys << *stillV;
    if (img1k) keys << *img1k;
    return keys;
}

QString RemoteProduct::Rejection::text() const {
    switch (kind) {
    case Kind::noUpdated:
        return id + QStringLiteral(" no updated");
    case Kind::noVideo:
        return id + QStringLiteral(" no video or video_v");
    case Kind::noID:
        return QStringLiteral("? no id");
    case Kind::unsafeID:
        return QStringLiteral("? unsafe id");
    }
    return QStringLiteral("? no id");
}

bool isSafeProductID(const QString& id) {
    if (id.isEmpty() || id == QLatin1String(".") || id == QLatin1String("..")) return false;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        if (u == u'/' || u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0)) return false;
    }
    return true;
}

std::optional<RemoteProduct> RemoteProduct::decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = JsonNumbers::parse(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        log(QStringLiteral("fragment unreadable: ") + error.errorString(), LogArea::cache);
        return std::nullopt;
    }
    if (!document.isObject()) {
        log(QStringLiteral("fragment unreadable: the fragment is not a JSON object"), LogArea::cache);
        return std::nullopt;
    }
    Judgement judgement = judgeObject(document.object());
    if (auto* rejection = std::get_if<Rejection>(&judgement)) {
        log(QStringLiteral("fragment rejected: ") + rejection->text(), LogArea::cache);
        return std::nullopt;
    }
    return std::get<RemoteProduct>(std::move(judgement));
}

QJsonObject RemoteProduct::toJson() const {
    QJsonObject object{{"id", id}, {"updated", updated}};
    putOptional(object, "label", label);
    putOptional(object, "through", through);
    putOptional(object, "video", video);
    putOptional(object, "video_v", videoV);
    putOptional(object, "img1k", img1k);
    putOptional(object, "still_v", stillV);
    putOptional(object, "thumb", thumb);
    if (frameCount) object.insert(QStringLiteral("frame_count"), *frameCount);
    if (integration)
        object.insert(QStringLiteral("integration"),
                      QJsonObject{{"frames", integration->frames}, {"method", integration->method}});
    return object;
}

IndexElement IndexElement::judge(const QJsonValue& element) {
    if (!element.isObject()) return {std::nullopt, QStringLiteral("reject ? not an object")};
    Judgement judgement = judgeObject(element.toObject());
    if (auto* rejection = std::get_if<RemoteProduct::Rejection>(&judgement))
        return {std::nullopt, QStringLiteral("reject ") + rejection->text()};
    auto& product = std::get<RemoteProduct>(judgement);
    QString verdict = QStringLiteral("ok ") + product.id + QLatin1Char(' ') + product.videos().first();
    return {std::move(product), std::move(verdict)};
}
