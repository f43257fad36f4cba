#include "SwayPlacement.h"

#include "Log.h"
#include "SwayDesktopPicture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <memory>

namespace SwayPlacement {

namespace {
constexpr int retryMs = 250;
constexpr int tries = 40;
} // namespace

QString command(unsigned long long id, const QString& output) {
    QString name = output;
    name.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("[id=%1] fullscreen disable, move container to output \"%2\", fullscreen enable")
        .arg(id)
        .arg(name);
}

void place(QWindow* window, const QRect& geometry, const QString& socketPath) {
    if (!window) return;
    const auto [outputs, failure] =
        SwayDesktopPicture::request(socketPath, SwayDesktopPicture::getOutputs, {});
    const std::optional<QString> output =
        failure ? std::nullopt
                : SwayDesktopPicture::outputName(
                      outputs, {window->screen() ? window->screen()->name() : QString(), geometry});
    if (!output) {
        log("wall: sway has no output at " + QString::number(geometry.x()) + "," +
                QString::number(geometry.y()) + "; the window stays where sway put it",
            LogArea::app);
        return;
    }
    const QString text = command(window->winId(), *output);
    auto* timer = new QTimer(window);
    timer->setInterval(retryMs);
    auto left = std::make_shared<int>(tries);
    QObject::connect(timer, &QTimer::timeout, window, [timer, text, socketPath, left, output = *output] {
        const auto [payload, error] =
            SwayDesktopPicture::request(socketPath, SwayDesktopPicture::runCommand, text.toUtf8());
        const QJsonArray results = QJsonDocument::fromJson(payload).array();
        bool done = !error && !results.isEmpty();
        for (const QJsonValue& result : results)
            done = done && result.toObject().value(QStringLiteral("success")).toBool();
        if (done || --*left <= 0) {
            if (!done) log("wall: sway did not move the window to " + output, LogArea::app);
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace SwayPlacement
