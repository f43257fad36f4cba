#include "XfconfDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr int timeoutMs = 5000;
const QString channel = QStringLiteral("xfce4-desktop");

QDBusMessage xfconf(const QString& method, const QVariantList& arguments) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
                                       QStringLiteral("org.xfce.Xfconf"), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, timeoutMs);
}

QString monitorBase(const QString& monitor) {
    return QStringLiteral("/backdrop/screen0/monitor") + monitor;
}

// xfconf keeps colours as an array of four doubles (red, green, blue, alpha), sent as "av".
QVariant colour(double red, double green, double blue) {
    QDBusArgument array;
    array.beginArray(qMetaTypeId<QDBusVariant>());
    for (double part : {red, green, blue, 1.0})
        array << QDBusVariant(part);
    array.endArray();
    return QVariant::fromValue(array);
}

} // namespace

QString XfconfDesktopPicture::workspaceBase(const QString& monitor, int workspace) {
    return monitorBase(monitor) + QStringLiteral("/workspace") + QString::number(workspace);
}

QList<int> XfconfDesktopPicture::workspaces(const QString& monitor) {
    QList<int> found{0};
    const QDBusMessage reply = xfconf(QStringLiteral("GetAllProperties"), {channel, monitorBase(monitor)});
    if (reply.type() != QDBusMessage::ReplyMessage) return found;
    static const QRegularExpression workspace(QStringLiteral("/workspace(\\d+)/"));
    const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
    QMap<QString, QDBusVariant> properties;
    argument >> properties;
    for (const QString& property : properties.keys()) {
        const QRegularExpressionMatch match = workspace.match(property);
        if (match.hasMatch() && !found.contains(match.captured(1).toInt()))
            found << match.captured(1).toInt();
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<QString> XfconfDesktopPicture::put(const QString& property, const QVariant& value) {
    const QDBusMessage reply =
        xfconf(QStringLiteral("SetProperty"), {channel, property, QVariant::fromValue(QDBusVariant(value))});
    if (reply.type() == QDBusMessage::ErrorMessage) return reply.errorMessage();
    return std::nullopt;
}

std::optional<QVariant> XfconfDesktopPicture::get(const QString& property) {
    const QDBusMessage reply = xfconf(QStringLiteral("GetProperty"), {channel, property});
    if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QStringList XfconfDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QStringList out;
    for (const DesktopScreen& screen : screens) {
        const QString base = workspaceBase(screen.name, workspaces(screen.name).value(0));
        const QString image = get(base + QStringLiteral("/last-image")).value_or(QVariant()).toString();
        if (image.isEmpty()) {
            out << QString();
            continue;
        }
        QList<QPair<QString, QString>> options;
        if (const auto style = get(base + QStringLiteral("/image-style")))
            options.append({QStringLiteral("image-style"), QString::number(style->toInt())});
        out << DesktopCanvas::withOptions(QUrl::fromLocalFile(DesktopCanvas::localPath(image)), options);
    }
    return out;
}

std::vector<std::optional<QString>>
XfconfDesktopPicture::set(const std::vector<DesktopScreen>& screens,
                          const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers;
    for (const PicturePlacement& placement : placements) {
        if (placement.screen < 0 || size_t(placement.screen) >= screens.size()) {
            answers.push_back(QStringLiteral("no such screen"));
            continue;
        }
        const QString monitor = screens[size_t(placement.screen)].name;
        const QString path = DesktopCanvas::withoutOptions(placement.picture).toLocalFile();
        std::optional<int> style;
        if (placement.fit == PictureFit::fitOnBlack) {
            style = scaled;
        } else {
            bool ok = false;
            const int recorded =
                DesktopCanvas::options(placement.picture).value(QStringLiteral("image-style")).toInt(&ok);
            if (ok) style = recorded;
        }
        std::optional<QString> failure;
        for (int workspace : workspaces(monitor)) {
            const QString base = workspaceBase(monitor, workspace);
            if (placement.fit == PictureFit::fitOnBlack) {
                // A solid black background around the fitted picture.
                failure = put(base + QStringLiteral("/color-style"), 0);
                if (!failure) failure = put(base + QStringLiteral("/rgba1"), colour(0, 0, 0));
            }
            if (!failure && style) failure = put(base + QStringLiteral("/image-style"), *style);
            if (!failure) failure = put(base + QStringLiteral("/last-image"), path);
            if (failure) break;
        }
        answers.push_back(failure);
    }
    return answers;
}
