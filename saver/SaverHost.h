#pragma once
// The hack's side of XScreenSaver: puts a SolvaneSaverView into the window the host gave (or the root
// window, or a window of its own), keeps it the window's size, works out which screen it is on, and
// drives the view as a screen-saver host does (start, a call every five seconds, stop). It ends the
// program when the host's window goes away. GUI thread only.

#include "SaverRules.h"
#include "SolvaneSaverView.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>
#include <memory>

class QScreen;
class QWindow;

class SaverHost : public QObject, public QAbstractNativeEventFilter {
public:
    // `xScreen`: the X screen DISPLAY named, whose root -root means.
    SaverHost(SaverRules::Request request, int xScreen);
    ~SaverHost() override;

    // Shows the view in its window and starts it. False, with a log line, when the window cannot be used.
    bool start();
    // Stops the view's playback (the host sends SIGTERM when showing ends).
    void stop();

    SolvaneSaverView* view() const { return view_.get(); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Found {
        QScreen* screen = nullptr;
        SolvaneSaverView::Placement placement;
    };
    Found findScreen(int xScreen, QPoint centre) const;

    SaverRules::Request request_;
    int xScreen_ = 0;
    unsigned long window_ = 0; // the host's window (0 for a window of our own)
    std::unique_ptr<QWindow> foreign_;
    std::unique_ptr<SolvaneSaverView> view_;
    QTimer frames_;
};
