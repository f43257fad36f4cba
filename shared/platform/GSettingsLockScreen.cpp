#include "GSettingsLockScreen.h"

#include "GSettingsHandle.h"

#include <QUrl>

namespace {
// Every key show() changes, so every one of them is recorded and put back.
const char* const keys[] = {"picture-uri", "picture-options", "primary-color"};

QString missing() {
    return QStringLiteral("the desktop settings schema %1 is not installed")
        .arg(QLatin1String(GSettingsLockScreen::schema));
}
} // namespace

std::optional<QStringList> GSettingsLockScreen::current() {
    GSettingsHandle settings{QString::fromLatin1(schema)};
    if (!settings.valid()) return std::nullopt;
    QStringList recorded;
    for (const char* key : keys)
        if (const std::optional<QString> value = settings.userValue(QLatin1String(key)))
            recorded << QString::fromLatin1(key) + QLatin1Char('=') + *value;
    return recorded;
}

std::optional<QString> GSettingsLockScreen::show(const QString& file) {
    GSettingsHandle settings{QString::fromLatin1(schema)};
    if (!settings.valid()) return missing();
    const bool stored =
        settings.put(QStringLiteral("picture-uri"), QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)) &&
        settings.put(QStringLiteral("picture-options"), QStringLiteral("scaled")) &&
        settings.put(QStringLiteral("primary-color"), QStringLiteral("#000000"));
    GSettingsHandle::sync();
    if (!stored) return QStringLiteral("the desktop settings refused the picture");
    return std::nullopt;
}

std::optional<QString> GSettingsLockScreen::putBack(const QStringList& recorded) {
    GSettingsHandle settings{QString::fromLatin1(schema)};
    if (!settings.valid()) return missing();
    QStringList refused;
    for (const char* key : keys) {
        const QString prefix = QString::fromLatin1(key) + QLatin1Char('=');
        const auto entry = std::find_if(recorded.begin(), recorded.end(),
                                        [&](const QString& text) { return text.startsWith(prefix); });
        if (entry == recorded.end())
            settings.reset(QLatin1String(key));
        else if (!settings.putText(QLatin1String(key), entry->mid(prefix.size())))
            refused << QLatin1String(key);
    }
    GSettingsHandle::sync();
    if (!refused.isEmpty())
        return "the desktop settings refused the recorded " + refused.join(QStringLiteral(", "));
    return std::nullopt;
}
