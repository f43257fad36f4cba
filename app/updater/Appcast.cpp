#include "Appcast.h"

#include <QUrl>
#include <QXmlStreamReader>

namespace {
// Sparkle writes its attributes and elements with the "sparkle" prefix; feeds in the wild bind it to
// more than one namespace address, so the prefix is what we match.
QString sparkle(const QXmlStreamAttributes& attributes, const QString& name) {
    for (const QXmlStreamAttribute& attribute : attributes)
        if (attribute.qualifiedName() == QStringLiteral("sparkle:") + name)
            return attribute.value().toString();
    return {};
}

bool complete(const AppcastItem& item) {
    const QUrl url(item.url);
    return !item.version.isEmpty() && url.isValid() && url.scheme() == QStringLiteral("https") &&
           !url.host().isEmpty() && item.length > 0 && !item.signature.isEmpty();
}
} // namespace

std::vector<AppcastItem> Appcast::parse(const QByteArray& feed, QString* error) {
    std::vector<AppcastItem> items;
    QXmlStreamReader reader(feed);
    std::optional<AppcastItem> item;
    while (!reader.atEnd()) {
        reader.readNext();
        const QString name = reader.qualifiedName().toString();
        if (reader.isStartElement()) {
            if (name == QStringLiteral("item")) {
                item = AppcastItem{};
            } else if (!item) {
                continue;
            } else if (name == QStringLiteral("sparkle:version")) {
                item->version = reader.readElementText().trimmed();
            } else if (name == QStringLiteral("sparkle:shortVersionString")) {
                item->displayVersion = reader.readElementText().trimmed();
            } else if (name == QStringLiteral("enclosure")) {
                const QXmlStreamAttributes attributes = reader.attributes();
                item->url = attributes.value(QStringLiteral("url")).toString().trimmed();
                bool ok = false;
                const qint64 length = attributes.value(QStringLiteral("length")).toLongLong(&ok);
                item->length = ok ? length : -1;
                item->signature = sparkle(attributes, QStringLiteral("edSignature")).trimmed();
                item->os = sparkle(attributes, QStringLiteral("os")).trimmed();
                // Older feeds put the versions on the enclosure.
                if (item->version.isEmpty())
                    item->version = sparkle(attributes, QStringLiteral("version")).trimmed();
                if (item->displayVersion.isEmpty())
                    item->displayVersion =
                        sparkle(attributes, QStringLiteral("shortVersionString")).trimmed();
            }
        } else if (reader.isEndElement() && name == QStringLiteral("item") && item) {
            if (item->displayVersion.isEmpty()) item->displayVersion = item->version;
            if (complete(*item)) items.push_back(*item);
            item.reset();
        }
    }
    if (reader.hasError()) {
        if (error) *error = QStringLiteral("the feed is not readable XML: ") + reader.errorString();
        return {};
    }
    return items;
}

int Appcast::compareVersions(const QString& a, const QString& b) {
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const QString l = i < left.size() ? left[i] : QStringLiteral("0");
        const QString r = i < right.size() ? right[i] : QStringLiteral("0");
        bool lNumber = false, rNumber = false;
        const qulonglong ln = l.toULongLong(&lNumber);
        const qulonglong rn = r.toULongLong(&rNumber);
        if (lNumber && rNumber) {
            if (ln != rn) return ln < rn ? -1 : 1;
        } else if (const int text = l.compare(r); text != 0) {
            return text < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::optional<AppcastItem> Appcast::newest(const std::vector<AppcastItem>& items, const QString& current,
                                           const QString& os) {
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items)
        if (item.os == os && compareVersions(item.version, current) > 0 &&
            (!best || compareVersions(item.version, best->version) > 0))
            best = item;
    return best;
}
