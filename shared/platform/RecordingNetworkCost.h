#pragma once
// For tests: answers what it is told, says so when the answer changes, and counts how often it was asked.

#include "NetworkCost.h"

class RecordingNetworkCost : public NetworkCost {
    Q_OBJECT
public:
    using NetworkCost::NetworkCost;
    bool metered() const override {
        ++asked_;
        return metered_;
    }
    void set(bool metered) {
        metered_ = metered;
        emit changed();
    }
    int asked() const { return asked_; }

private:
    bool metered_ = false;
    mutable int asked_ = 0;
};
