#pragma once
// What a clip or frame on screen is, stated in eight lines and in a machine-readable record: the
// instrument and channel, its temperature, the moment the frame shows, how many frames are real
// observations, how it was processed and whose imagery it is.

#include "CacheEntry.h"
#include "Glossary.h"
#include "RemoteProduct.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

struct Provenance {
    QString id;
    QString label;
    GlossaryEntry entry;
    std::optional<QDateTime> frame; // the moment of solar time the frame shows
    std::optional<int> realFrames;  // frames of the clip that are new observations
    std::optional<int> slotCount;   // frame slots of the clip
    std::optional<Integration> integration;
    // Set when the frame was shown with flare marks on its timeline: the GOES satellite of the X-ray
    // data (0 when not named), stated in a line after the eight.
    std::optional<int> xraySatellite;

    static constexpr int lineCount = 8;
    static constexpr const char* disclaimer = "A visualization, not a calibrated radiance.";
    // The credit NASA asks for with SDO imagery, word for word.
    static constexpr const char* credit = "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams";
    // Who prepared the imagery, named in the imagery line: the build's web host, else the product's name.
    static QString makerDomain();

    // From a cached product's fields; `entry` is looked up in the glossary (unknown when it is missing).
    static Provenance make(const QString& id, const QString& label, std::optional<int> frameCount,
                           const std::optional<Integration>& integration, std::optional<QDateTime> frame,
                           std::optional<int> slotCount, const GlossaryMap& glossary = Glossary::bundled());

    // From a cache entry: its id, label, frame count and integration.
    static Provenance make(const CacheEntry& cached, std::optional<QDateTime> frame,
                           std::optional<int> slotCount, const GlossaryMap& glossary = Glossary::bundled());

    // The first line: the product's one name (Caption::productName), and where it was made when its
    // label says so ("Rainbow, made here from NASA SDO images").
    QString heading() const;
    // The eight lines, and the X-ray data's source as a ninth when xraySatellite is set.
    QStringList lines() const;
    QString text() const; // the lines joined with line feeds

    // The seven keys of the record; an absent value is null.
    std::map<QString, std::optional<QString>> record(const QString& version) const;
    // The record as a JSON object with sorted keys, absent values as null; "{}" if it cannot be written.
    QString recordJSON(const QString& version) const;

    // "Solvane <id> yyyy-MM-dd HHmm UTC" with a frame, else "Solvane <id>": the stem of saved files.
    QString fileStem() const;

    bool operator==(const Provenance&) const = default;
};
