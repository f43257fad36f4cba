// The settings' pure rules: no store, plain inputs.

#include "Settings.h"

namespace Settings {

QStringList defaultProducts() {
    return {QStringLiteral("rainbow"), QStringLiteral("171"), QStringLiteral("304")};
}

double refreshInterval(std::optional<double> stored) {
    if (stored && *stored == 720.0) return 720.0;
    return 1440.0;
}

QString hostName(const QString& value) {
    QString host = value;
    host.replace(QStringLiteral("https://"), QString());
    host.replace(QStringLiteral("http://"), QString());
    qsizetype begin = 0;
    qsizetype end = host.size();
    const auto trimmed = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char(' '); };
    while (begin < end && trimmed(host[begin]))
        ++begin;
    while (end > begin && trimmed(host[end - 1]))
        --end;
    return host.mid(begin, end - begin);
}

ScreenChoice screenChoice(const QStringList& products, int screen) {
    if (products.isEmpty()) return ScreenChoice::all();
    const qsizetype count = products.size();
    // A negative screen index still lands on an entry rather than reading out of range.
    const qsizetype index = ((qsizetype(screen) % count) + count) % count;
    return ScreenChoice::parse(products[index]);
}

QStringList ids(const QString& entry) {
    return ScreenChoice::parse(entry).ids();
}

QStringList choice(const QString& entry) {
    const ScreenChoice parsed = ScreenChoice::parse(entry);
    if (parsed.isOff()) return {QStringLiteral("off")};
    return parsed.ids();
}

std::optional<QSet<QString>> inUse(const QStringList& products) {
    if (products.isEmpty()) return std::nullopt;
    QSet<QString> wanted;
    for (const QString& entry : products) {
        const ScreenChoice parsed = ScreenChoice::parse(entry);
        if (parsed.isOff()) continue;
        if (parsed.isAll()) return std::nullopt;
        for (const QString& id : parsed.ids())
            wanted.insert(id);
    }
    if (wanted.isEmpty()) return std::nullopt;
    return wanted;
}

} // namespace Settings
