#pragma once
// The channel glossary carried with the program: for each product, what instrument and channel it shows,
// the ions and temperature that dominate it, and how and by whom it was processed.

#include <QByteArray>
#include <QString>
#include <map>

struct GlossaryEntry {
    QString instrument;
    QString channel; // a name ending in " Å" is a wavelength
    QString ions;
    QString logT; // characteristic temperature as log10 of kelvin
    QString processing;
    QString source;
    QString processingSource;

    static GlossaryEntry unknown();
    bool operator==(const GlossaryEntry&) const = default;
};

using GlossaryMap = std::map<QString, GlossaryEntry>;

namespace Glossary {
// Decodes {"products": {id: entry, ...}}; every entry needs all seven text fields. On any error logs
// "glossary unreadable: " + why and gives an empty map.
GlossaryMap decode(const QByteArray& data);

// The carried glossary, read once per process on first use (thread-safe). Missing or unreadable: logs
// "no glossary in the bundle; provenance reads unknown" and gives an empty map.
const GlossaryMap& bundled();

// Reads a glossary file; used by bundled() and by tests with a file of their own.
GlossaryMap load(const QString& path);
} // namespace Glossary
