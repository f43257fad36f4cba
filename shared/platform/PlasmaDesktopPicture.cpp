#include "PlasmaDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>

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
    return QStringLiteral("var lines = [];\n"
                          "for (var i = 0; i < %1; ++i) {\n"
                          "  var d = desktopForScreen(i);\n"
                          "  var image = \"\", fill = \"\";\n"
                          "  if (d && d.wallpaperPlugin == \"org.kde.image\") {\n"
                          "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                          "    image = d.readConfig(\"Image\") || \"\";\n"
                          "    fill = d.readConfig(\"FillMode\") || \"\";\n"
                          "  }\n"
                          "  lines.push(i + \" \" + image + \"|\" + fill);\n"
                          "}\n"
                          "print(lines.join(\"\\n\"));\n")
        .arg(screenCount);
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
        const qsizetype bar = line.lastIndexOf(QLatin1Char('|'));
        bool ok = false;
        const int screen = line.left(space).toInt(&ok);
        if (!ok || space < 0 || bar < space || screen < 0 || screen >= out.size()) continue;
        const QString image = line.mid(space + 1, bar - space - 1);
        if (image.isEmpty()) continue;
        const QUrl url = image.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(image) : QUrl(image);
        const QString fill = line.mid(bar + 1);
        QList<QPair<QString, QString>> options;
        if (!fill.isEmpty()) options.append({QStringLiteral("FillMode"), fill});
        out[screen] = DesktopCanvas::withOptions(url, options);
    }
    return out;
}

std::vector<std::optional<QString>>
PlasmaDesktopPicture::set(const std::vector<DesktopScreen>&,
                          const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers;
    for (const PicturePlacement& placement : placements) {
        const QUrl picture = DesktopCanvas::withoutOptions(placement.picture);
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
