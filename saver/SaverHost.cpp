#include "SaverHost.h"

#include "Log.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

QString hex(unsigned long window) {
    return QStringLiteral("0x") + QString::number(window, 16);
}

// The root window of X screen `number`, and the number of the screen whose root is `root`.
xcb_window_t rootOf(xcb_connection_t* c, int number) {
    int n = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it), ++n)
        if (n == number) return it.data->root;
    return 0;
}

int numberOf(xcb_connection_t* c, xcb_window_t root) {
    int n = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it), ++n)
        if (it.data->root == root) return n;
    return 0;
}

} // namespace

SaverHost::SaverHost(SaverRules::Request request, int xScreen) : request_(request), xScreen_(xScreen) {
    frames_.setInterval(std::chrono::milliseconds(SolvaneSaverView::animationInterval));
    connect(&frames_, &QTimer::timeout, this, [this] {
        if (view_) view_->animateOneFrame();
    });
}

SaverHost::~SaverHost() {
    if (qApp) qApp->removeNativeEventFilter(this);
    stop();
    view_.reset();
    foreign_.reset();
}

SaverHost::Found SaverHost::findScreen(int xScreen, QPoint centre) const {
    // Qt lists the screens of every X screen; those of one X screen are each other's virtual siblings,
    // and (DISPLAY naming X screen 0) the X screens come in their own order.
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<QList<QScreen*>> groups;
    std::vector<SaverRules::ScreenArea> areas;
    for (QScreen* screen : screens) {
        int group = -1;
        for (size_t g = 0; g < groups.size(); ++g)
            if (groups[g].contains(screen)) group = static_cast<int>(g);
        if (group < 0) {
            groups.push_back(screen->virtualSiblings());
            group = static_cast<int>(groups.size()) - 1;
        }
        areas.push_back({group, screen->geometry()});
    }
    Found found;
    if (const auto index = SaverRules::screenIndex(areas, xScreen, centre)) {
        // screenIndex counts group by group; find the screen it counted.
        int n = 0;
        for (int g = 0; g < static_cast<int>(groups.size()) && !found.screen; ++g)
            for (size_t i = 0; i < areas.size(); ++i) {
                if (areas[i].xScreen != g) continue;
                if (n++ == *index) {
                    found.screen = screens[static_cast<qsizetype>(i)];
                    break;
                }
            }
        found.placement.index = *index;
    }
    if (found.screen) {
        found.placement.scale = found.screen->devicePixelRatio();
        // Xvfb's screens have no output name; the index then names the screen.
        const QString name = found.screen->name();
        found.placement.screenName =
            name.isEmpty() ? QStringLiteral("screen ") + QString::number(found.placement.index) : name;
    }
    return found;
}

bool SaverHost::start() {
    if (request_.target == SaverRules::Target::ownWindow) {
        view_ = std::make_unique<SolvaneSaverView>(false);
        view_->setWindowTitle(QStringLiteral("Solvane"));
        view_->resize(960, 540);
        view_->show();
        QScreen* screen = view_->screen();
        const Found found = findScreen(0, screen ? screen->geometry().center() : QPoint());
        view_->startAnimation(found.placement);
        frames_.start();
        return true;
    }

    xcb_connection_t* c = connection();
    if (!c) {
        log(QStringLiteral("saver: no X display to draw on"), LogArea::saver);
        return false;
    }
    window_ = request_.target == SaverRules::Target::root ? rootOf(c, xScreen_) : request_.window;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window_), nullptr);
    if (!geometry) {
        log(QStringLiteral("saver: there is no window ") + hex(window_) + QStringLiteral(" to draw into"),
            LogArea::saver);
        return false;
    }
    const xcb_window_t root = geometry->root;
    const QSize size(geometry->width, geometry->height);
    free(geometry);
    QPoint origin;
    if (auto* at =
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window_, root, 0, 0), nullptr)) {
        origin = QPoint(at->dst_x, at->dst_y);
        free(at);
    }
    const Found found = findScreen(numberOf(c, root), QRect(origin, size).center());

    // Follow the window's size and notice when it goes; our selection adds to what Qt already asked for.
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (auto* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window_), nullptr)) {
        mask |= attributes->your_event_mask;
        free(attributes);
    }
    xcb_change_window_attributes(c, window_, XCB_CW_EVENT_MASK, &mask);
    qApp->installNativeEventFilter(this);

    view_ = std::make_unique<SolvaneSaverView>(request_.target == SaverRules::Target::window &&
                                               SaverRules::isPreview(size));
    // The view's window must be made on the X screen of its parent.
    if (found.screen) view_->setScreen(found.screen);
    foreign_.reset(QWindow::fromWinId(window_));
    if (found.screen) foreign_->setScreen(found.screen);
    view_->setAttribute(Qt::WA_NativeWindow);
    view_->createWinId();
    view_->windowHandle()->setParent(foreign_.get());
    view_->setGeometry(QRect(QPoint(0, 0), size));
    view_->show();
    xcb_flush(c);
    view_->startAnimation(found.placement);
    frames_.start();
    return true;
}

void SaverHost::stop() {
    frames_.stop();
    if (view_) view_->stopAnimation();
}

bool SaverHost::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !view_) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CONFIGURE_NOTIFY: {
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configure->window == window_ && configure->event == window_)
            view_->resize(configure->width, configure->height);
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroy = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (destroy->window == window_) {
            // The host took its window away: nothing left to draw on.
            stop();
            QCoreApplication::exit(0);
        }
        break;
    }
    default:
        break;
    }
    return false;
}
