#include "Provenance.h"

#include "BuildInfo.h"
#include "Caption.h"
#include "SolarTime.h"
#include "XrayStatus.h"

#include <QJsonDocument>
#include <QLocale>
#include <QTimeZone>

namespace {

const QString dot = QStringLiteral("  \u00B7  ");

} // namespace

Provenance Provenance::make(const QString& id, const QString& label, std::optional<int> frameCount,
                            const std::optional<Integration>& integration, std::optional<QDateTime> frame,
                            std::optional<int> slotCount, const GlossaryMap& glossary) {
    Provenance p;
    p.id = id;
    p.label = label;
    const auto found = glossary.find(id);
    p.entry = found == glossary.end() ? GlossaryEntry::unknown() : found->second;
    p.frame = std::move(frame);
    p.realFrames = frameCount;
    p.slotCount = slotCount;
    p.integration = integration;
    return p;
}

Provenance Provenance::make(const CacheEntry& cached, std::optional<QDateTime> frame,
                            std::optional<int> slotCount, const GlossaryMap& glossary) {
    return make(cached.id, cached.label, cached.frameCount, cached.integration, std::move(frame), slotCount,
                glossary);
}

QString Provenance::heading() const {
    const QString name = Caption::productName(id, label);
    // The label's closing remark says where the clip was made ("made here from NASA SDO images").
    const qsizetype open = label.lastIndexOf(QStringLiteral(" ("));
    if (label == name || open < 0 || !label.endsWith(QLatin1Char(')'))) return name;
    const QString where = label.mid(open + 2, label.size() - open - 3).trimmed();
    return where.isEmpty() || name.contains(where) ? name : name + QStringLiteral(", ") + where;
}

QStringList Provenance::lines() const {
    QStringList out;
    out << heading();
    out << entry.instrument + dot + entry.channel + dot + QStringLiteral("ions ") + entry.ions + dot +
               QStringLiteral("characteristic log T ") + entry.logT;
    out << (frame && frame->isValid() ? QStringLiteral("Frame ") + SolarTime::clock(*frame)
                                      : QStringLiteral("Frame time unknown"));
    if (realFrames == 1)
        out << QStringLiteral("1 image so far");
    else if (realFrames && slotCount && *slotCount >= *realFrames)
        out << QString::number(*realFrames) + QStringLiteral(" of ") + QString::number(*slotCount) +
                   QStringLiteral(" frames are new observations; the rest hold the one before");
    else
        out << QStringLiteral("New observations in this clip: unknown");
    out << (integration ? QStringLiteral("Each frame combines ") + QString::number(integration->frames) +
                              QStringLiteral(" observations (") + integration->method + QLatin1Char(')')
                        : QStringLiteral("Observations per frame: unknown"));
    out << QStringLiteral("Processing: ") + entry.processing;
    // NASA asks for its credit wherever its imagery is shown, so it rides on the imagery line.
    out << QStringLiteral("Imagery: NASA/SDO, via ") + makerDomain() + dot + QLatin1String(credit);
    out << QLatin1String(disclaimer);
    if (xraySatellite) out << XrayStatus::source(*xraySatellite);
    return out;
}

QString Provenance::makerDomain() {
    const QString host = QString::fromUtf8(BuildInfo::storeHost);
    return host.isEmpty() ? QStringLiteral("Solvane") : host;
}

QString Provenance::text() const {
    return lines().join(QLatin1Char('\n'));
}

std::map<QString, std::optional<QString>> Provenance::record(const QString& version) const {
    const QString unknown = QStringLiteral("unknown");
    QString instrument = unknown;
    if (entry.instrument != unknown) {
        QString channel = entry.channel;
        if (channel.endsWith(QStringLiteral(" \u00C5"))) channel.chop(2);
        instrument = channel == unknown ? entry.instrument : entry.instrument + QLatin1Char(' ') + channel;
    }
    std::optional<QString> observed;
    if (frame && frame->isValid()) observed = frame->toUTC().toString(Qt::ISODate);
    return {
        {QStringLiteral("product"), QStringLiteral("solvane")},
        {QStringLiteral("version"), version},
        {QStringLiteral("instrument"), instrument},
        {QStringLiteral("observed"), observed},
        {QStringLiteral("credit"), QString::fromLatin1(credit)},
        {QStringLiteral("rhef"), std::nullopt},
        {QStringLiteral("citation"), std::nullopt},
    };
}

QString Provenance::recordJSON(const QString& version) const {
    // QJsonObject keeps its keys sorted, which is the order the record is written in.
    QJsonObject object;
    for (const auto& [key, value] : record(version))
        object.insert(key, value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (bytes.isEmpty()) return QStringLiteral("{}");
    return QString::fromUtf8(bytes);
}

QString Provenance::fileStem() const {
    if (!frame || !frame->isValid()) return QStringLiteral("Solvane ") + id;
    static const QLocale posix(QLocale::C);
    const QDateTime utc = frame->toTimeZone(QTimeZone::utc());
    return QStringLiteral("Solvane ") + id + QLatin1Char(' ') +
           posix.toString(utc, QStringLiteral("yyyy-MM-dd HHmm")) + QStringLiteral(" UTC");
}
