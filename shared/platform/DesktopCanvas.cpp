#include "DesktopCanvas.h"

#include <QImageReader>
#include <QPainter>

QRect DesktopCanvas::bounds(const std::vector<DesktopScreen>& screens) {
    QRect all;
    for (const DesktopScreen& screen : screens)
        all = all.united(screen.geometry);
    return all;
}

std::optional<QString> DesktopCanvas::drawFitted(QImage& canvas, const QRect& target, const QString& file) {
    QPainter painter(&canvas);
    QImageReader reader(file);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        painter.fillRect(target, Qt::black);
        return QStringLiteral("could not read %1: %2").arg(file, reader.errorString());
    }
    drawFitted(painter, target, picture);
    return std::nullopt;
}

void DesktopCanvas::drawFitted(QPainter& painter, const QRect& target, const QImage& picture) {
    painter.fillRect(target, Qt::black);
    if (picture.isNull()) return;
    const QSize fitted = picture.size().scaled(target.size(), Qt::KeepAspectRatio);
    const QRect place(target.x() + (target.width() - fitted.width()) / 2,
                      target.y() + (target.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(place, picture);
}

QString DesktopCanvas::withOptions(const QUrl& file, const QList<QPair<QString, QString>>& options) {
    QUrl url = withoutOptions(file);
    // Every value is percent-encoded whole, so URIs with their own "&", "=" or "#" survive the trip.
    QStringList parts;
    for (const auto& [key, value] : options)
        parts << key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
    if (!parts.isEmpty()) url.setFragment(parts.join(QLatin1Char('&')), QUrl::StrictMode);
    return url.toString(QUrl::FullyEncoded);
}

QMap<QString, QString> DesktopCanvas::options(const QUrl& url) {
    QMap<QString, QString> out;
    const QString fragment = url.fragment(QUrl::FullyEncoded);
    for (const QString& part : fragment.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals <= 0) continue;
        out.insert(part.left(equals), QUrl::fromPercentEncoding(part.mid(equals + 1).toLatin1()));
    }
    return out;
}

QUrl DesktopCanvas::withoutOptions(QUrl url) {
    url.setFragment(QString());
    return url;
}

QString DesktopCanvas::localPath(const QString& urlOrPath) {
    if (urlOrPath.startsWith(QLatin1Char('/'))) return urlOrPath;
    const QUrl url(urlOrPath);
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
