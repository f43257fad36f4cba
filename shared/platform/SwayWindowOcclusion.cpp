#include "SwayWindowOcclusion.h"

#include "Log.h"
#include "SwayIpc.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QWindow>

namespace {

constexpr quint32 subscribeMessage = 2;
constexpr quint32 getTree = 4;
// Events come in bursts (a new window is also a focus change); the tree is read once they settle.
constexpr int settleMs = 60;

QRect rectOf(const QJsonObject& node) {
    const QJsonObject r = node.value(QStringLiteral("rect")).toObject();
    return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
                 r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
}

// Every view (a node with a shell: a window) under `node`, tiled or floating.
void views(const QJsonObject& node, std::vector<QJsonObject>& found) {
    if (node.contains(QStringLiteral("shell"))) found.push_back(node);
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            views(child.toObject(), found);
}

} // namespace

SwayWindowOcclusion::SwayWindowOcclusion(QWindow* window, QString socketPath, QObject* parent)
    : WindowOcclusion(parent), window_(window), socketPath_(std::move(socketPath)) {
    if (qGuiApp && qGuiApp->platformName() == QLatin1String("xcb") && window)
        ignored_ = qint64(window->winId());
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, &SwayWindowOcclusion::look);
    connect(&events_, &QLocalSocket::readyRead, this, &SwayWindowOcclusion::readEvents);
    subscribe();
    look();
}

bool SwayWindowOcclusion::covered(const QJsonObject& tree, const QString& output, const QRect& geometry,
                                  qint64 ignored) {
    const QJsonArray outputs = tree.value(QStringLiteral("nodes")).toArray();
    QJsonObject found;
    for (const QJsonValue& value : outputs) {
        const QJsonObject node = value.toObject();
        if (node.value(QStringLiteral("name")).toString() == output) found = node;
    }
    for (const QJsonValue& value : outputs)
        if (found.isEmpty() && rectOf(value.toObject()) == geometry &&
            !value.toObject().value(QStringLiteral("name")).toString().startsWith(QLatin1String("__i3")))
            found = value.toObject();
    if (found.isEmpty()) return false;
    const QRect screen = rectOf(found);
    // The usable area is what sway gives the output's workspace.
    QRect usable = screen;
    const QString current = found.value(QStringLiteral("current_workspace")).toString();
    for (const QJsonValue& workspace : found.value(QStringLiteral("nodes")).toArray())
        if (workspace.toObject().value(QStringLiteral("name")).toString() == current)
            usable = rectOf(workspace.toObject());

    // Every window counts, not only this output's: one full screen across all outputs covers them all.
    std::vector<QJsonObject> all;
    views(tree, all);
    std::vector<Above> windows;
    for (const QJsonObject& view : all) {
        if (ignored && view.value(QStringLiteral("window")).toInteger() == ignored) continue;
        Above window;
        window.frame = rectOf(view);
        window.fullScreen = view.value(QStringLiteral("fullscreen_mode")).toInt() != 0;
        window.maximized = true; // a tiling compositor has no such state; filling the usable area is it
        window.hidden = !view.value(QStringLiteral("visible")).toBool();
        windows.push_back(window);
    }
    return covers(screen, usable, windows);
}

void SwayWindowOcclusion::subscribe() {
    connect(&events_, &QLocalSocket::connected, this, [this] {
        events_.write(
            SwayIpc::message(subscribeMessage, QByteArrayLiteral(R"(["window","workspace","output"])")));
    });
    connect(&events_, &QLocalSocket::errorOccurred, this, [this] {
        log("live desktop: sway's window events are out of reach (" + events_.errorString() +
                "); covered outputs do not pause",
            LogArea::desktop);
    });
    events_.connectToServer(socketPath_);
}

void SwayWindowOcclusion::readEvents() {
    pending_ += events_.read(SwayIpc::largestMessage + SwayIpc::headerSize - pending_.size() + 1);
    // Only that something happened matters: whole messages are dropped, then the tree is read.
    bool any = false;
    for (;;) {
        quint32 type = 0;
        QByteArray payload;
        QString why;
        const SwayIpc::Read read = SwayIpc::take(pending_, type, payload, why);
        if (read == SwayIpc::Read::incomplete) break;
        if (read == SwayIpc::Read::refused) {
            log("live desktop: sway's window events stopped: " + why + "; covered outputs do not pause",
                LogArea::desktop);
            events_.disconnect(this);
            events_.abort();
            pending_.clear();
            return;
        }
        any = any || (type & 0x80000000u);
    }
    if (any) settle_.start();
}

void SwayWindowOcclusion::look() {
    if (asking_) {
        askAgain_ = true;
        return;
    }
    asking_ = true;
    SwayIpc::ask(socketPath_, getTree, {}, this, [this](const QByteArray& tree, const QString& failure) {
        asking_ = false;
        const QScreen* screen = window_ ? window_->screen() : nullptr;
        const bool now =
            screen && failure.isEmpty() &&
            covered(QJsonDocument::fromJson(tree).object(), screen->name(), screen->geometry(), ignored_);
        if (askAgain_) {
            askAgain_ = false;
            look();
        }
        if (now == occluded_) return;
        occluded_ = now;
        emit changed();
    });
}
