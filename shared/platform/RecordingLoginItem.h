#pragma once
// A login item for tests: remembers its state and every request, and fails on demand.

#include "LoginItem.h"

#include <vector>

class RecordingLoginItem : public LoginItem {
public:
    bool isEnabled() const override { return enabled; }
    std::optional<QString> setEnabled(bool value) override {
        requests.push_back(value);
        if (failure) return failure;
        enabled = value;
        return std::nullopt;
    }

    bool enabled = false;
    // When set, every request fails with this reason and leaves the state alone.
    std::optional<QString> failure;
    std::vector<bool> requests;
};
