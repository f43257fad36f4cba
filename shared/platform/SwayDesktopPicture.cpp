#include "SwayDesktopPicture.h"

#include "DesktopCanvas.h"
#include "SwayIpc.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString quoted(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// The words of a configuration line; quotes group, backslashes escape.
QStringList words(const QString& line) {
    QStringList out;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i);
            inWord = true;
        } else if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord) out << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) out << word;
    return out;
}

} // namespace

SwayDesktopPicture::SwayDesktopPicture(QString socketPath) : socketPath_(std::move(socketPath)) {}

QString SwayDesktopPicture::command(const QString& output, const QString& file, const QString& mode,
                                    const QString& colour) {
    QString text = QStringLiteral("output %1 bg %2 %3").arg(quoted(output), quoted(file), mode);
    if (!colour.isEmpty()) text += QLatin1Char(' ') + colour;
    return text;
}

std::optional<std::pair<QString, QString>> SwayDesktopPicture::configured(const QString& config,
                                                                          const QString& output) {
    std::optional<std::pair<QString, QString>> exact, any;
    for (const QString& line : config.split(QLatin1Char('\n'))) {
        const QStringList w = words(line.trimmed());
        if (w.size() < 4 || w[0] != QLatin1String("output")) continue;
        const qsizetype bg = w.indexOf(QStringLiteral("bg"), 2);
        if (bg < 0 || bg + 1 >= w.size()) continue;
        QString file = w[bg + 1];
        if (file.startsWith(QLatin1String("~/"))) file = QDir::homePath() + file.mid(1);
        const QString mode = bg + 2 < w.size() ? w[bg + 2] : QStringLiteral("fill");
        if (w[1] == output) exact = std::pair{file, mode};
        if (w[1] == QLatin1String("*")) any = std::pair{file, mode};
    }
    return exact ? exact : any;
}

std::optional<QString> SwayDesktopPicture::outputName(const QByteArray& outputs,
                                                      const DesktopScreen& screen) {
    const QJsonArray list = QJsonDocument::fromJson(outputs).array();
    std::optional<QString> byGeometry;
    for (const QJsonValue& value : list) {
        const QJsonObject output = value.toObject();
        const QString name = output.value(QStringLiteral("name")).toString();
        if (name.isEmpty()) continue;
        if (name == screen.name) return name;
        const QJsonObject rect = output.value(QStringLiteral("rect")).toObject();
        const QRect geometry(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
                             rect.value(QStringLiteral("width")).toInt(),
                             rect.value(QStringLiteral("height")).toInt());
        if (!byGeometry && output.value(QStringLiteral("active")).toBool(true) && geometry == screen.geometry)
            byGeometry = name;
    }
    return byGeometry;
}

QStringList SwayDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    const auto deadline = SwayIpc::Clock::now() + SwayIpc::longestWait;
    const auto [payload, failure] = SwayIpc::request(socketPath_, getConfig, {}, deadline);
    const QString config =
        QJsonDocument::fromJson(payload).object().value(QStringLiteral("config")).toString();
    const auto [outputs, unlisted] =
        failure ? std::pair{QByteArray(), failure} : SwayIpc::request(socketPath_, getOutputs, {}, deadline);
    QStringList out;
    for (const DesktopScreen& screen : screens) {
        const QString name = unlisted ? screen.name : outputName(outputs, screen).value_or(screen.name);
        const auto found = failure ? std::nullopt : configured(config, name);
        if (!found || !found->first.startsWith(QLatin1Char('/'))) {
            out << QString();
            continue;
        }
        out << DesktopCanvas::withOptions(QUrl::fromLocalFile(found->first),
                                          {{QStringLiteral("mode"), found->second}});
    }
    return out;
}

std::vector<std::optional<QString>> SwayDesktopPicture::set(const std::vector<DesktopScreen>& screens,
                                                            const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers;
    const auto deadline = SwayIpc::Clock::now() + SwayIpc::longestWait;
    // Without a list of outputs (an older compositor speaking the same IPC), Qt's names are all we have.
    const auto [outputs, unlisted] = SwayIpc::request(socketPath_, getOutputs, {}, deadline);
    const bool listed =
        !unlisted && !QJsonDocument::fromJson(outputs).array().isEmpty() &&
        QJsonDocument::fromJson(outputs).array().at(0).toObject().contains(QStringLiteral("name"));
    for (const PicturePlacement& placement : placements) {
        if (placement.screen < 0 || size_t(placement.screen) >= screens.size()) {
            answers.push_back(QStringLiteral("no such screen"));
            continue;
        }
        const DesktopScreen& screen = screens[size_t(placement.screen)];
        const std::optional<QString> output = listed ? outputName(outputs, screen) : screen.name;
        if (!output) {
            answers.push_back(QStringLiteral("sway has no output named %1 or placed at %2,%3")
                                  .arg(screen.name)
                                  .arg(screen.geometry.x())
                                  .arg(screen.geometry.y()));
            continue;
        }
        const QString file = DesktopCanvas::withoutOptions(placement.picture).toLocalFile();
        // A recorded mode goes into the command only when it is one of sway's words.
        static const QStringList modes{"stretch", "fill", "fit", "center", "tile"};
        QString mode = DesktopCanvas::options(placement.picture).value(QStringLiteral("mode"));
        if (!modes.contains(mode)) mode = QStringLiteral("fill");
        const bool ours = placement.fit == PictureFit::fitOnBlack;
        const QString text = command(*output, file, ours ? QStringLiteral("fit") : mode,
                                     ours ? QStringLiteral("#000000") : QString());
        const auto [payload, failure] = SwayIpc::request(socketPath_, runCommand, text.toUtf8(), deadline);
        if (failure) {
            answers.push_back(failure);
            continue;
        }
        // One result object per command: {"success": bool, "error": text}.
        const QJsonObject result = QJsonDocument::fromJson(payload).array().at(0).toObject();
        if (result.value(QStringLiteral("success")).toBool())
            answers.push_back(std::nullopt);
        else
            answers.push_back(
                result.value(QStringLiteral("error"))
                    .toString(QStringLiteral("the compositor refused: ") + QString::fromUtf8(payload)));
    }
    return answers;
}
