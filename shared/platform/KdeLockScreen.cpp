#include "KdeLockScreen.h"

#include "KdeConfigFile.h"

#include <QDir>
#include <QUrl>

namespace {
struct Entry {
    QStringList group;
    QString key;
    // The recorded text: "[Greeter]WallpaperPlugin=...", the group's header leading.
    QString prefix() const {
        return QLatin1Char('[') + group.join(QStringLiteral("][")) + QLatin1Char(']') + key + '=';
    }
};

const QStringList greeter{QStringLiteral("Greeter")};
const QStringList image{QStringLiteral("Greeter"), QStringLiteral("Wallpaper"),
                        QStringLiteral("org.kde.image"), QStringLiteral("General")};
// Every entry show() writes, so every one of them is recorded and put back.
const Entry entries[] = {{greeter, QStringLiteral("WallpaperPlugin")},
                         {image, QStringLiteral("Image")},
                         {image, QStringLiteral("FillMode")},
                         {image, QStringLiteral("Color")}};
} // namespace

KdeLockScreen::KdeLockScreen(QString file) : file_(std::move(file)) {}

QString KdeLockScreen::defaultFile() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::home().filePath(QStringLiteral(".config"));
    return QDir(config).filePath(QStringLiteral("kscreenlockerrc"));
}

std::optional<QStringList> KdeLockScreen::current() {
    const KdeConfigFile config(file_);
    if (!config.readable()) return std::nullopt;
    QStringList recorded;
    for (const Entry& entry : entries)
        if (const std::optional<QString> raw = config.raw(entry.group, entry.key))
            recorded << entry.prefix() + *raw;
    return recorded;
}

std::optional<QString> KdeLockScreen::show(const QString& file) {
    KdeConfigFile config(file_);
    if (!config.readable()) return QStringLiteral("could not read %1").arg(file_);
    config.setRaw(greeter, QStringLiteral("WallpaperPlugin"), QStringLiteral("org.kde.image"));
    config.setRaw(image, QStringLiteral("Image"),
                  KdeConfigFile::escaped(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)));
    config.setRaw(image, QStringLiteral("FillMode"), QStringLiteral("1")); // Image.PreserveAspectFit
    config.setRaw(image, QStringLiteral("Color"), QStringLiteral("0,0,0"));
    return config.save();
}

std::optional<QString> KdeLockScreen::putBack(const QStringList& recorded) {
    KdeConfigFile config(file_);
    if (!config.readable()) return QStringLiteral("could not read %1").arg(file_);
    for (const Entry& entry : entries) {
        const QString prefix = entry.prefix();
        const auto found = std::find_if(recorded.begin(), recorded.end(),
                                        [&](const QString& text) { return text.startsWith(prefix); });
        config.setRaw(entry.group, entry.key,
                      found == recorded.end() ? std::nullopt
                                              : std::optional<QString>(found->mid(prefix.size())));
    }
    return config.save();
}
