#pragma once
// The port to the machine's power state: whether it runs on battery, and whether the user asked the
// system to save power (Low Power Mode). The live desktop and the mini player pause on these.
//
// Lives on the GUI thread; `changed` is emitted there whenever either answer may have changed (the
// services' own signals). Readers ask again rather than trusting a cached answer.

#include <QObject>

class PowerSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PowerSource() override = default;

    // True only when the power supply is known to be a battery; unknown counts as mains.
    virtual bool onBattery() const = 0;
    // True when the system's power profile is the power saver.
    virtual bool lowPower() const = 0;

signals:
    void changed();
};

// For tests and for machines without power services: answers what it is told, and says so.
class FixedPowerSource : public PowerSource {
    Q_OBJECT
public:
    using PowerSource::PowerSource;
    bool onBattery() const override { return battery_; }
    bool lowPower() const override { return lowPower_; }
    void set(bool battery, bool lowPower) {
        battery_ = battery;
        lowPower_ = lowPower;
        emit changed();
    }

private:
    bool battery_ = false;
    bool lowPower_ = false;
};
