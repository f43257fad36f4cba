#pragma once
// A controller for hosting a window or the tray without the whole App: its state is plain fields a test
// sets, and every request is counted by a short name ("show", "apply", "status", ...). Like App, it
// shows nothing in desktop mode unless forced, and waits for idle time only while nothing shows.

#include "Controller.h"
#include "Settings.h"

#include <map>
#include <string>
#include <vector>

class FakeController final : public Controller {
public:
    Mode mode() const override { return Settings::mode(); }
    bool showing() const override { return isShowing; }
    bool armedWaiting() const override { return isArmedWaiting; }
    bool refreshing() const override { return isRefreshing; }
    std::optional<QDateTime> nextRefresh() const override { return next; }
    bool hasIdleSource() const override { return idleSource; }
    const std::vector<WallView*>& walls() const override { return shownWalls; }

    void show(bool force = false) override {
        ++calls["show"];
        if (canShow && (force || mode() != Mode::desktop)) isShowing = true;
    }
    void hide() override {
        ++calls["hide"];
        isShowing = false;
    }
    void arm() override {
        ++calls["arm"];
        isArmedWaiting = !isShowing && mode() != Mode::desktop;
    }
    void disarm() override {
        ++calls["disarm"];
        isArmedWaiting = false;
    }

    void tryAgain() override { ++calls["try again"]; }
    void statusChanged() override { ++calls["status"]; }
    void applyDesktopPicture() override { ++calls["apply"]; }
    void restoreDesktopPicture() override { ++calls["restore"]; }
    void syncLiveDesktop() override { ++calls["sync"]; }
    QString installSaver() override {
        ++calls["install"];
        return saverNote;
    }
    void checkForUpdates() override { ++calls["updates"]; }
    void showPreferences() override { ++calls["preferences"]; }
    void showWelcome() override { ++calls["welcome"]; }
    void toggleMiniPlayer() override { ++calls["mini player"]; }

    bool isShowing = false;
    bool isArmedWaiting = false;
    bool isRefreshing = false;
    std::optional<QDateTime> next; // when the hourly refresh runs next
    bool idleSource = true;
    // False: show() finds nothing to show on (no screen enabled).
    bool canShow = true;
    std::vector<WallView*> shownWalls;
    // What installSaver answers.
    QString saverNote;
    std::map<std::string, int> calls;
};
