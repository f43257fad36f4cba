#pragma once
// Ends the event loop with status 0 when the process gets SIGTERM, SIGINT or SIGHUP (what a session's end
// sends), so the program leaves through its ordinary way out: everything shown is hidden and the
// display-sleep inhibit handed back. The signal handler only writes to a pipe; the GUI thread does
// the rest.

#include <QObject>

class QSocketNotifier;

class Termination : public QObject {
    Q_OBJECT
public:
    explicit Termination(QObject* parent = nullptr);
    ~Termination() override;

private:
    void received();

    QSocketNotifier* notifier_ = nullptr;
};
