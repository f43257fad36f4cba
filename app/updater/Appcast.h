#pragma once
// The update feed: a Sparkle-format appcast, an RSS channel whose items name a version (sparkle:version,
// the build number we compare), a display version (sparkle:shortVersionString) and an enclosure with the
// download's address, length and Ed25519 signature (sparkle:edSignature). An enclosure's sparkle:os says
// which build it is for: none for the install tree built against Debian 12's libraries, "linux-bundle"
// for the portable build that carries its own.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

struct AppcastItem {
    QString version;        // compared with our build number
    QString displayVersion; // shown in log lines; the version when the feed gives none
    QString url;
    qint64 length = -1;
    QString signature; // base64
    QString os;        // the enclosure's sparkle:os; empty when it has none
};

namespace Appcast {
// Every complete item (version, https URL, positive length, signature), in feed order. Items missing
// any of them are skipped; a document that is not XML gives nothing, with the reason in `error`.
std::vector<AppcastItem> parse(const QByteArray& feed, QString* error = nullptr);
// Compares dotted versions part by part, numerically where both parts are numbers ("1.10" > "1.9"),
// as text otherwise; missing parts count as 0. Negative, zero or positive.
int compareVersions(const QString& a, const QString& b);
// What a portable build's enclosure says in sparkle:os.
inline const QString portableOs = QStringLiteral("linux-bundle");
// The item for builds of `os` with the highest version above `current`, or nothing.
std::optional<AppcastItem> newest(const std::vector<AppcastItem>& items, const QString& current,
                                  const QString& os = {});
} // namespace Appcast
