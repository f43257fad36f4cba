#include "ImageryCost.h"

#include "DirectSource.h"

#include <cmath>
#include <map>

qint64 ImageryCost::averageImageBytes(int channel) {
    static const std::map<int, qint64> measured{{94, 325'000},  {131, 229'000}, {171, 172'000},
                                                {193, 129'000}, {211, 140'000}, {304, 223'000},
                                                {335, 375'000}};
    const auto it = measured.find(channel);
    return it == measured.end() ? 233'000 : it->second;
}

ImageryCost::Estimate ImageryCost::estimate(const QStringList& products, const QSet<QString>& sharper) {
    // Per channel, the largest image size any product asks of it.
    std::map<int, int> factor;
    int made = 0;
    int madeSharper = 0;
    for (const QString& id : products) {
        const std::vector<int> channels = DirectSource::channelsOf(id);
        if (channels.empty()) continue;
        const int size = sharper.contains(id) ? sharperFactor : 1;
        ++made;
        if (size > 1) ++madeSharper;
        for (int channel : channels)
            factor[channel] = std::max(factor[channel], size);
    }
    Estimate estimate;
    if (made == 0) return estimate;
    qint64 images = 0;
    for (const auto& [channel, times] : factor)
        images += averageImageBytes(channel) * times;
    estimate.downloadPerDay = images * imagesPerDay + listingBytesPerDay;
    estimate.disk = images * imagesKept + qint64(made - madeSharper) * (clipBytes + stillBytes) +
                    qint64(madeSharper) * sharperFactor * (clipBytes + stillBytes);
    return estimate;
}

namespace {
QString megabytes(qint64 bytes) {
    const double mb = double(bytes) / 1e6;
    // Two significant figures are as much as an average can say.
    if (mb >= 1000) return QString::number(mb / 1000.0, 'f', mb >= 10000 ? 0 : 1) + QStringLiteral(" GB");
    if (mb >= 100) return QString::number(std::round(mb / 10.0) * 10.0, 'f', 0) + QStringLiteral(" MB");
    return QString::number(std::max(1.0, std::round(mb)), 'f', 0) + QStringLiteral(" MB");
}
} // namespace

QString ImageryCost::sentence(const Estimate& estimate) {
    if (estimate.downloadPerDay == 0)
        return QStringLiteral("The chosen products download nothing from NASA SDO.");
    return QStringLiteral("About ") + megabytes(estimate.downloadPerDay) +
           QStringLiteral(" a day to download and ") + megabytes(estimate.disk) +
           QStringLiteral(" on disk for the chosen products.");
}
