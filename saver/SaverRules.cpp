#include "SaverRules.h"

#include <algorithm>

namespace {

// "-name", "--name", "-name=value" and "--name=value": the bare name and the value after "=", if any.
std::pair<QString, std::optional<QString>> split(const QString& argument) {
    QString body = argument;
    if (body.startsWith(QLatin1String("--")))
        body.remove(0, 2);
    else if (body.startsWith(QLatin1Char('-')))
        body.remove(0, 1);
    else
        return {QString(), std::nullopt};
    const qsizetype equals = body.indexOf(QLatin1Char('='));
    if (equals < 0) return {body, std::nullopt};
    return {body.left(equals), body.mid(equals + 1)};
}

} // namespace

std::optional<unsigned long> SaverRules::windowId(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    unsigned long value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = trimmed.mid(2).toULong(&ok, 16);
    else
        value = trimmed.toULong(&ok, 10);
    if (!ok || value == 0) return std::nullopt;
    return value;
}

SaverRules::Request SaverRules::parse(const QStringList& arguments, const QByteArray& xscreensaverWindow) {
    Request request;
    std::optional<unsigned long> named;
    bool root = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const auto [name, inlineValue] = split(arguments[i]);
        if (name == QLatin1String("root")) {
            root = true;
        } else if (name == QLatin1String("window-id")) {
            std::optional<QString> value = inlineValue;
            if (!value && i + 1 < arguments.size()) value = arguments[++i];
            named = value ? windowId(*value) : std::nullopt;
            if (!named) {
                request.error = QStringLiteral("-window-id needs a window id, not \"") +
                                value.value_or(QString()) + QStringLiteral("\"");
                return request;
            }
        }
        // Anything else (XScreenSaver's own switches of other hacks) is left alone.
    }
    // XScreenSaver names its window in hexadecimal, with or without "0x".
    QString fromHost = QString::fromLatin1(xscreensaverWindow).trimmed();
    if (!fromHost.isEmpty() && !fromHost.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        fromHost.prepend(QLatin1String("0x"));
    const auto hostWindow = fromHost.isEmpty() ? std::nullopt : windowId(fromHost);
    if (named || hostWindow) {
        request.target = Target::window;
        request.window = named ? *named : *hostWindow;
    } else if (root) {
        request.target = Target::root;
    }
    return request;
}

bool SaverRules::isPreview(QSize window) {
    return window.width() < 640 || window.height() < 400;
}

std::optional<int> SaverRules::screenIndex(const std::vector<ScreenArea>& screens, int xScreen,
                                           QPoint point) {
    // Count X screen 0's screens first, then X screen 1's, each in the order given.
    std::vector<int> xScreens;
    for (const ScreenArea& screen : screens)
        if (std::find(xScreens.begin(), xScreens.end(), screen.xScreen) == xScreens.end())
            xScreens.push_back(screen.xScreen);
    std::sort(xScreens.begin(), xScreens.end());
    int index = 0;
    for (int number : xScreens)
        for (const ScreenArea& screen : screens) {
            if (screen.xScreen != number) continue;
            if (number == xScreen && screen.geometry.contains(point)) return index;
            ++index;
        }
    return std::nullopt;
}

std::optional<QByteArray> SaverRules::displayWithoutScreen(const QByteArray& display) {
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0) return std::nullopt;
    const qsizetype dot = display.indexOf('.', colon);
    if (dot < 0) return std::nullopt;
    return display.left(dot);
}
