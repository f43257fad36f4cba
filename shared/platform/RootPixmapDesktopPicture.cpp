#include "RootPixmapDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDir>
#include <QImage>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// X errors on resources that may be gone (an old pixmap) are expected; note them instead of exiting.
int xErrors = 0;
int countError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

class Connection {
public:
    Connection() : display_(XOpenDisplay(nullptr)) {
        if (display_) previous_ = XSetErrorHandler(countError);
    }
    ~Connection() {
        if (!display_) return;
        XSync(display_, False);
        XSetErrorHandler(previous_);
        XCloseDisplay(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

    // The pixmap a root property names, or 0.
    Pixmap pixmap(const char* property) const {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Pixmap found = 0;
        if (XGetWindowProperty(display_, root(), atom(property), 0, 1, False, XA_PIXMAP, &type, &format,
                               &count, &after, &data) == Success &&
            type == XA_PIXMAP && format == 32 && count == 1)
            found = *reinterpret_cast<Pixmap*>(data);
        if (data) XFree(data);
        return found;
    }

    // The pixels of a drawable's rectangle; a null image when it cannot be read.
    QImage read(Drawable drawable, const QRect& area) const {
        xErrors = 0;
        XImage* image = XGetImage(display_, drawable, area.x(), area.y(), unsigned(area.width()),
                                  unsigned(area.height()), AllPlanes, ZPixmap);
        XSync(display_, False);
        if (!image || xErrors) {
            if (image) XDestroyImage(image);
            return {};
        }
        QImage out(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < area.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < area.width(); ++x)
                line[x] = 0xff000000u | quint32(XGetPixel(image, x, y) & 0xffffff);
        }
        XDestroyImage(image);
        return out;
    }

    // Whether the default visual keeps pixels as 8-bit red, green, blue, as our copy assumes.
    bool trueColour() const {
        const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
        return DefaultDepth(display_, DefaultScreen(display_)) >= 24 && visual->red_mask == 0xff0000 &&
               visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    }

private:
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
};

} // namespace

RootPixmapDesktopPicture::RootPixmapDesktopPicture(QString folder) : folder_(std::move(folder)) {}

QStringList RootPixmapDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QStringList out;
    Connection x;
    const Pixmap pixmap = x.display() ? x.pixmap("_XROOTPMAP_ID") : 0;
    QDir folder(folder_);
    for (size_t i = 0; i < screens.size(); ++i) {
        const QImage part = pixmap && x.trueColour() ? x.read(pixmap, screens[i].geometry) : QImage();
        const QString path = folder.absoluteFilePath(QStringLiteral("screen-%1.png").arg(i));
        if (part.isNull() || !folder.mkpath(QStringLiteral(".")) || !part.save(path, "PNG")) {
            out << QString();
            continue;
        }
        out << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    }
    return out;
}

std::vector<std::optional<QString>>
RootPixmapDesktopPicture::set(const std::vector<DesktopScreen>& screens,
                              const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers(placements.size());
    Connection x;
    if (!x.display()) return {placements.size(), QStringLiteral("no X display to draw on")};
    if (!x.trueColour())
        return {placements.size(), QStringLiteral("the X display's colour format is not supported")};
    Display* display = x.display();
    const int screen = DefaultScreen(display);
    const QSize size(DisplayWidth(display, screen), DisplayHeight(display, screen));

    // Start from what the root shows now, so screens without a new picture keep theirs.
    const Pixmap old = x.pixmap("_XROOTPMAP_ID");
    QImage canvas = old ? x.read(old, QRect(QPoint(), size)) : QImage();
    if (canvas.isNull()) {
        canvas = QImage(size, QImage::Format_RGB32);
        canvas.fill(Qt::black);
    }
    for (size_t i = 0; i < placements.size(); ++i) {
        const PicturePlacement& placement = placements[i];
        if (placement.screen < 0 || size_t(placement.screen) >= screens.size()) {
            answers[i] = QStringLiteral("no such screen");
            continue;
        }
        answers[i] =
            DesktopCanvas::drawFitted(canvas, screens[size_t(placement.screen)].geometry,
                                      DesktopCanvas::withoutOptions(placement.picture).toLocalFile());
    }

    const Pixmap pixmap = XCreatePixmap(display, x.root(), unsigned(size.width()), unsigned(size.height()),
                                        unsigned(DefaultDepth(display, screen)));
    XImage* image =
        XCreateImage(display, DefaultVisual(display, screen), unsigned(DefaultDepth(display, screen)),
                     ZPixmap, 0, reinterpret_cast<char*>(canvas.bits()), unsigned(size.width()),
                     unsigned(size.height()), 32, int(canvas.bytesPerLine()));
    if (!image) {
        XFreePixmap(display, pixmap);
        return {placements.size(), QStringLiteral("could not make an X image")};
    }
    // QImage's RGB32 is 0xffRRGGBB in the machine's order; tell the server which order that is.
    image->byte_order = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? LSBFirst : MSBFirst;
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, unsigned(size.width()), unsigned(size.height()));
    XFreeGC(display, gc);
    image->data = nullptr; // the QImage owns the pixels
    XDestroyImage(image);

    // The previous pixmap was left behind by a setter (ours or another) when both properties name it:
    // freeing it is that convention's point. Anything else belongs to a live program and stays.
    const Pixmap esetroot = x.pixmap("ESETROOT_PMAP_ID");
    if (old && old == esetroot) XKillClient(display, old);

    for (const char* property : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        XChangeProperty(display, x.root(), x.atom(property), XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pixmap), 1);
    XSetWindowBackgroundPixmap(display, x.root(), pixmap);
    XClearWindow(display, x.root());
    XSetCloseDownMode(display, RetainPermanent);
    return answers;
}
