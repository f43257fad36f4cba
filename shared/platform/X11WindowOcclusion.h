#pragma once
// Occlusion on X11. Without a compositor the server says it: VisibilityNotify "fully obscured", read
// through a native event filter on Qt's own connection. Under a compositor every window counts as
// unobscured, so there a full-screen or maximised window stacked above ours (_NET_CLIENT_LIST_STACKING)
// on our monitor counts as covering; the stacking list and the active window are watched on the root.

#include "WindowOcclusion.h"

#include <QAbstractNativeEventFilter>

class X11WindowOcclusion : public WindowOcclusion, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // `window` must already exist on the server (winId() taken); it outlives this object.
    explicit X11WindowOcclusion(QWindow* window, QObject* parent = nullptr);
    ~X11WindowOcclusion() override;

    bool occluded() const override;

    // Writes _NET_WM_WINDOW_TYPE_DESKTOP on a created, unmapped window (Qt 6 has no way to ask for it).
    static void markDesktopWindow(QWindow* window);
    // Asks the window manager to stack `window` (a desktop window of ours) below every other desktop
    // window on the server that is not in `ours`, such as the shell's window of desktop icons; true when
    // it was already below them or the request went out.
    static bool keepBelowOtherDesktopWindows(QWindow* window, const std::vector<quint32>& ours);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    bool coveredUnderCompositor() const;
    bool compositing() const;

    QWindow* window_;
    quint32 id_ = 0;
    bool obscured_ = false;
    bool last_ = false;
};
