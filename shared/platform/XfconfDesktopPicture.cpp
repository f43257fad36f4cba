#include "XfconfDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// A property's value as JSON that says its D-Bus type, so it goes back exactly: {"t": type, "v": value},
// arrays (colours) as {"t": "a", "e": element type, "v": [...]}.
QJsonObject typed(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument array = value.value<QDBusArgument>();
        QJsonArray items;
        QString element = QStringLiteral("double");
        array.beginArray();
        while (!array.atEnd()) {
            QDBusVariant item;
            array >> item;
            element = QString::fromLatin1(item.variant().typeName());
            items.append(item.variant().toDouble());
        }
        array.endArray();
        return {{"t", "a"}, {"e", element}, {"v", items}};
    }
    return {{"t", QString::fromLatin1(value.typeName())}, {"v", QJsonValue::fromVariant(value)}};
}

QVariant ofType(const QString& type, const QJsonValue& value) {
    QVariant out = value.toVariant();
    const QMetaType meta = QMetaType::fromName(type.toLatin1());
    if (meta.isValid() && out.canConvert(meta)) out.convert(meta);
    return out;
}

QVariant untyped(const QJsonObject& record) {
    const QString type = record.value(QStringLiteral("t")).toString();
    if (type != QLatin1String("a")) return ofType(type, record.value(QStringLiteral("v")));
    const QString element = record.value(QStringLiteral("e")).toString();
    QDBusArgument array;
    array.beginArray(qMetaTypeId<QDBusVariant>());
    for (const QJsonValue& item : record.value(QStringLiteral("v")).toArray())
        array << QDBusVariant(ofType(element, item));
    array.endArray();
    return QVariant::fromValue(array);
}

// Every property under a monitor's folder, by name (xfconf's GetAllProperties).
QMap<QString, QVariant> allProperties(const QString& base) {
    QMap<QString, QVariant> out;
    const QDBusMessage reply = xfconf(QStringLiteral("GetAllProperties"), {channel, base});
    if (reply.type() != QDBusMessage::ReplyMessage) return out;
    const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
    QMap<QString, QDBusVariant> properties;
    argument >> properties;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        out.insert(it.key(), it.value().variant());
    return out;
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

QStringList XfconfDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QStringList out;
    for (const DesktopScreen& screen : screens) {
        // Everything the monitor's backdrop has on every workspace (pictures, styles, colours), so
        // that turning off puts each workspace back as it was.
        const QMap<QString, QVariant> properties = allProperties(monitorBase(screen.name));
        if (properties.isEmpty()) {
            out << QString();
            continue;
        }
        QJsonObject record;
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            record.insert(it.key(), typed(it.value()));
        const QString base = workspaceBase(screen.name, workspaces(screen.name).value(0));
        const QString image =
            DesktopCanvas::localPath(properties.value(base + QStringLiteral("/last-image")).toString());
        const QUrl url = image.isEmpty() ? QUrl(QStringLiteral("xfce-backdrop:") + screen.name)
                                         : QUrl::fromLocalFile(image);
        out << DesktopCanvas::withOptions(
            url, {{QStringLiteral("xfconf"),
                   QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact))}});
    }
    return out;
}

std::optional<QString> XfconfDesktopPicture::putBack(const QString& monitor, const QJsonObject& record) {
    // What we added goes (the desktop's defaults come back), then each recorded value with its type.
    for (const QString& property : allProperties(monitorBase(monitor)).keys()) {
        if (record.contains(property)) continue;
        const QDBusMessage reply = xfconf(QStringLiteral("ResetProperty"), {channel, property, false});
        if (reply.type() == QDBusMessage::ErrorMessage) return reply.errorMessage();
    }
    for (auto it = record.constBegin(); it != record.constEnd(); ++it) {
        if (!it.key().startsWith(monitorBase(monitor) + QLatin1Char('/'))) continue;
        if (const auto failure = put(it.key(), untyped(it.value().toObject()))) return failure;
    }
    return std::nullopt;
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
        const QMap<QString, QString> recorded = DesktopCanvas::options(placement.picture);
        if (placement.fit == PictureFit::asRecorded && recorded.contains(QStringLiteral("xfconf"))) {
            answers.push_back(
                putBack(monitor,
                        QJsonDocument::fromJson(recorded.value(QStringLiteral("xfconf")).toUtf8()).object()));
            continue;
        }
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
