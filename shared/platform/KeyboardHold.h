#pragma once
// The port that keeps the desktop's own shortcuts (workspace switching, launchers, the window manager's
// keys) away from a kiosk: while held, every key goes to the kiosk's window, the exit chord included.
// On X11 a keyboard grab; on Wayland the compositor's keyboard-shortcuts inhibitor on the surface; where
// neither exists, nothing (logged once). Platform::keyboardHold picks one per process.
//
// GUI thread only.

#include <QString>
#include <vector>

class QWindow;

class KeyboardHold {
public:
    virtual ~KeyboardHold() = default;
    // Holds the keyboard for `window` (shown); true when held. A grab may fail until the window is mapped,
    // so callers ask again.
    virtual bool hold(QWindow* window) = 0;
    virtual void release(QWindow* window) = 0;
    // Whether this session can hold the keyboard at all (the kiosk help says so when not).
    virtual bool possible() const = 0;
    virtual QString name() const = 0;
};

// X11: the window's keyboard grab.
class X11KeyboardGrab : public KeyboardHold {
public:
    bool hold(QWindow* window) override;
    void release(QWindow* window) override;
    bool possible() const override { return true; }
    QString name() const override { return QStringLiteral("an X11 keyboard grab"); }
};

// Neither: says so once per process, then refuses quietly.
class NoKeyboardHold : public KeyboardHold {
public:
    bool hold(QWindow* window) override;
    void release(QWindow*) override {}
    bool possible() const override { return false; }
    QString name() const override { return QStringLiteral("nothing"); }

private:
    bool said_ = false;
};

// For tests: records the windows it held, and holds or refuses on demand.
class RecordingKeyboardHold : public KeyboardHold {
public:
    bool hold(QWindow* window) override {
        holds.push_back(window);
        return available;
    }
    void release(QWindow*) override { ++releases; }
    bool possible() const override { return available; }
    QString name() const override { return QStringLiteral("a recorder"); }
    bool available = true;
    std::vector<QWindow*> holds;
    int releases = 0;
};
