#include "SwayPlacement.h"

#include "Log.h"
#include "SwayDesktopPicture.h"
#include "SwayIpc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

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

namespace {

// Asks sway to move the window, again every retryMs until it has mapped it or `left` tries are spent.
void tryMove(QWindow* window, const QString& text, const QString& socketPath, const QString& output,
             int left) {
    SwayIpc::ask(socketPath, SwayDesktopPicture::runCommand, text.toUtf8(), window,
                 [window, text, socketPath, output, left](const QByteArray& payload, const QString& failure) {
                     const QJsonArray results = QJsonDocument::fromJson(payload).array();
                     bool done = failure.isEmpty() && !results.isEmpty();
                     for (const QJsonValue& result : results)
                         done = done && result.toObject().value(QStringLiteral("success")).toBool();
                     if (done) return;
                     if (left <= 1) {
                         log("wall: sway did not move the window to " + output, LogArea::app);
                         return;
                     }
                     QTimer::singleShot(retryMs, window, [window, text, socketPath, output, left] {
                         tryMove(window, text, socketPath, output, left - 1);
                     });
                 });
}

} // namespace

void place(QWindow* window, const QRect& geometry, const QString& socketPath) {
    if (!window) return;
    const QString screenName = window->screen() ? window->screen()->name() : QString();
    const QPointer<QWindow> guarded(window);
    SwayIpc::ask(
        socketPath, SwayDesktopPicture::getOutputs, {}, window,
        [guarded, geometry, socketPath, screenName](const QByteArray& outputs, const QString& failure) {
            const std::optional<QString> output =
                failure.isEmpty() ? SwayDesktopPicture::outputName(outputs, {screenName, geometry})
                                  : std::nullopt;
            if (!output) {
                log("wall: sway has no output at " + QString::number(geometry.x()) + "," +
                        QString::number(geometry.y()) + "; the window stays where sway put it",
                    LogArea::app);
                return;
            }
            if (guarded) tryMove(guarded, command(guarded->winId(), *output), socketPath, *output, tries);
        });
}

} // namespace SwayPlacement
