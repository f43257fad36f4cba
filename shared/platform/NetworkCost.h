#pragma once
// The port to what the network costs: whether the connection is metered (a phone's hotspot, a mobile
// plan), as the desktop reports it. Solvane makes no light passes and no 48-hour fills on a metered
// network unless the person allows it.
//
// Lives on the GUI thread; `changed` is emitted there when the answer may have changed. Readers ask
// again rather than keep an answer.

#include <QObject>

class NetworkCost : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NetworkCost() override = default;

    // True only when the network is known to be metered; unknown counts as not metered.
    virtual bool metered() const = 0;

signals:
    void changed();
};

// GLib's network monitor (GNetworkMonitor's network-metered): NetworkManager's Metered property, or the
// network portal inside a sandbox; never metered where neither answers.
class GioNetworkCost : public NetworkCost {
    Q_OBJECT
public:
    explicit GioNetworkCost(QObject* parent = nullptr);
    ~GioNetworkCost() override;
    bool metered() const override;

private:
    void* monitor_ = nullptr; // GNetworkMonitor*, kept out of this header so GLib's names stay out of Qt code
    unsigned long handler_ = 0;
};
