#include "Glossary.h"

#include "Log.h"
#include "Resources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

GlossaryEntry GlossaryEntry::unknown() {
    const QString u = QStringLiteral("unknown");
    return {u, u, u, u, u, u, u};
}

namespace {

std::optional<GlossaryEntry> entryFrom(const QJsonValue& value, const QString& id, QString& error) {
    if (!value.isObject()) {
        error = QStringLiteral("entry ") + id + QStringLiteral(" is not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    GlossaryEntry entry;
    const std::pair<const char*, QString*> fields[] = {
        {"instrument", &entry.instrument},
        {"channel", &entry.channel},
        {"ions", &entry.ions},
        {"logT", &entry.logT},
        {"processing", &entry.processing},
        {"source", &entry.source},
        {"processingSource", &entry.processingSource},
    };
    for (const auto& [key, field] : fields) {
        const QJsonValue text = object.value(QLatin1String(key));
        if (!text.isString()) {
            error = QStringLiteral("entry ") + id + QStringLiteral(" has no text for \"") +
                    QLatin1String(key) + QLatin1Char('"');
            return std::nullopt;
        }
        *field = text.toString();
    }
    return entry;
}

} // namespace

GlossaryMap Glossary::decode(const QByteArray& data) {
    const auto fail = [](const QString& why) {
        log(QStringLiteral("glossary unreadable: ") + why, LogArea::app);
        return GlossaryMap{};
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(parseError.errorString() + QStringLiteral(" at offset ") +
                    QString::number(parseError.offset));
    if (!document.isObject()) return fail(QStringLiteral("the document is not an object"));
    const QJsonValue products = document.object().value(QLatin1String("products"));
    if (!products.isObject()) return fail(QStringLiteral("no \"products\" object"));

    GlossaryMap map;
    const QJsonObject object = products.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        QString error;
        auto entry = entryFrom(it.value(), it.key(), error);
        if (!entry) return fail(error);
        map.emplace(it.key(), std::move(*entry));
    }
    return map;
}

GlossaryMap Glossary::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("no glossary in the bundle; provenance reads unknown"), LogArea::app);
        return {};
    }
    return decode(file.readAll());
}

const GlossaryMap& Glossary::bundled() {
    static const GlossaryMap map = [] {
        const auto path = Resources::path(QStringLiteral("glossary.json"));
        if (!path) {
            log(QStringLiteral("no glossary in the bundle; provenance reads unknown"), LogArea::app);
            return GlossaryMap{};
        }
        return load(*path);
    }();
    return map;
}
