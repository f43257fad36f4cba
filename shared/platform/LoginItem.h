#pragma once
// The port to the desktop's list of programs started at login. Settings::openAtLogin reads and writes
// it; the app hands the Linux adapter to Settings at start (Platform::loginItem()), tests a fake.
//
// Header only, so code that merely talks to the port needs no platform library.

#include <QString>
#include <optional>

class LoginItem {
public:
    virtual ~LoginItem() = default;

    // Whether the desktop will start the app at the next login. Called from the main thread.
    virtual bool isEnabled() const = 0;
    // Registers (true) or unregisters (false) the app. Nothing on success, else the reason in words.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};
