#include "PlasmaDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int fitWhole = 1; // Image.PreserveAspectFit in the image wallpaper's FillMode
constexpr int timeoutMs = 5000;

// A JavaScript string literal for any text.
QString literal(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

QString PlasmaDesktopPicture::readScript(int screenCount) {
    // Every screen's wallpaper plugin and all of its settings (a slideshow's folders, a plain colour,
    // the picture of the day's provider, an image with its fill mode and colour), one JSON line each.
    return QStringLiteral("var lines = [];\n"
                          "for (var i = 0; i < %1; ++i) {\n"
                          "  var d = desktopForScreen(i);\n"
                          "  var record = {};\n"
                          "  if (d) {\n"
                          "    record.plugin = d.wallpaperPlugin;\n"
                          "    d.currentConfigGroup = [\"Wallpaper\", d.wallpaperPlugin, \"General\"];\n"
                          "    var keys = d.configKeys;\n"
                          "    record.config = {};\n"
                          "    for (var k = 0; k < keys.length; ++k)\n"
                          "      record.config[keys[k]] = d.readConfig(keys[k]);\n"
                          "  }\n"
                          "  lines.push(i + \" \" + JSON.stringify(record));\n"
                          "}\n"
                          "print(lines.join(\"\\n\"));\n")
        .arg(screenCount);
}

QString PlasmaDesktopPicture::restoreScript(int screen, const QString& plugin, const QJsonObject& config) {
    return QStringLiteral("var d = desktopForScreen(%1);\n"
                          "if (!d) throw \"no desktop on screen %1\";\n"
                          "d.wallpaperPlugin = %2;\n"
                          "d.currentConfigGroup = [\"Wallpaper\", %2, \"General\"];\n"
                          "var config = %3;\n"
                          "for (var key in config) d.writeConfig(key, config[key]);\n")
        .arg(screen)
        .arg(literal(plugin))
        .arg(QString::fromUtf8(QJsonDocument(config).toJson(QJsonDocument::Compact)));
}

QString PlasmaDesktopPicture::setScript(int screen, const QString& pictureUrl, std::optional<int> fillMode,
                                        const QString& colour) {
    QString script =
        QStringLiteral("var d = desktopForScreen(%1);\n"
                       "if (!d) throw \"no desktop on screen %1\";\n"
                       "d.wallpaperPlugin = \"org.kde.image\";\n"
                       "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                       "d.writeConfig(\"Image\", %2);\n")
            .arg(screen)
            .arg(literal(pictureUrl));
    if (fillMode) script += QStringLiteral("d.writeConfig(\"FillMode\", %1);\n").arg(*fillMode);
    if (!colour.isEmpty()) script += QStringLiteral("d.writeConfig(\"Color\", %1);\n").arg(literal(colour));
    return script;
}

std::pair<QString, std::optional<QString>> PlasmaDesktopPicture::evaluate(const QString& script) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
        QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"));
    call << script;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) return {QString(), reply.errorMessage()};
    return {reply.arguments().value(0).toString(), std::nullopt};
}

QStringList PlasmaDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QStringList out;
    for (size_t i = 0; i < screens.size(); ++i)
        out << QString();
    const auto [printed, failure] = evaluate(readScript(int(screens.size())));
    if (failure) return out;
    for (const QString& line : printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        bool ok = false;
        const int screen = line.left(space).toInt(&ok);
        if (!ok || space < 0 || screen < 0 || screen >= out.size()) continue;
        const QJsonObject record = QJsonDocument::fromJson(line.mid(space + 1).toUtf8()).object();
        const QString plugin = record.value(QStringLiteral("plugin")).toString();
        if (plugin.isEmpty()) continue;
        const QJsonObject config = record.value(QStringLiteral("config")).toObject();
        // The image plugin's picture is the URL itself; any other plugin is named by a URL of our own.
        const QString image = plugin == QLatin1String("org.kde.image")
                                  ? config.value(QStringLiteral("Image")).toString()
                                  : QString();
        QUrl url = image.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(image) : QUrl(image);
        if (image.isEmpty() || !url.isValid()) url = QUrl(QStringLiteral("plasma-wallpaper:") + plugin);
        out[screen] = DesktopCanvas::withOptions(
            url, {{QStringLiteral("plugin"), plugin},
                  {QStringLiteral("config"),
                   QString::fromUtf8(QJsonDocument(config).toJson(QJsonDocument::Compact))}});
    }
    return out;
}

std::vector<std::optional<QString>>
PlasmaDesktopPicture::set(const std::vector<DesktopScreen>&,
                          const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers;
    for (const PicturePlacement& placement : placements) {
        const QUrl picture = DesktopCanvas::withoutOptions(placement.picture);
        const QMap<QString, QString> recorded = DesktopCanvas::options(placement.picture);
        if (placement.fit == PictureFit::asRecorded && recorded.contains(QStringLiteral("plugin"))) {
            // The user's own setup, whatever the plugin, with every setting it had.
            const QJsonObject config =
                QJsonDocument::fromJson(recorded.value(QStringLiteral("config")).toUtf8()).object();
            answers.push_back(
                evaluate(restoreScript(placement.screen, recorded.value(QStringLiteral("plugin")), config))
                    .second);
            continue;
        }
        std::optional<int> fill;
        QString colour;
        if (placement.fit == PictureFit::fitOnBlack) {
            fill = fitWhole;
            colour = QStringLiteral("#000000");
        } else {
            bool ok = false;
            const int recorded =
                DesktopCanvas::options(placement.picture).value(QStringLiteral("FillMode")).toInt(&ok);
            if (ok) fill = recorded;
        }
        answers.push_back(
            evaluate(setScript(placement.screen, picture.toString(QUrl::FullyEncoded), fill, colour)).second);
    }
    return answers;
}
