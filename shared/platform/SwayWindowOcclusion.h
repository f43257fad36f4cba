#pragma once
// Occlusion on sway and other compositors that speak its IPC. A Wayland client cannot see other windows,
// but sway's tree can: an output counts as covered while a visible window on it is full screen, or fills
// the usable area of the output (what its bars leave; a tiled window alone on its workspace does). The
// tree is read again whenever sway reports a change to windows, workspaces or outputs. Nothing here
// waits for sway on the GUI thread: the tree is asked for and read as it arrives, within
// SwayIpc::longestWait, and an event larger than SwayIpc::largestMessage ends the event connection.

#include "WindowOcclusion.h"

#include <QJsonObject>
#include <QLocalSocket>
#include <QTimer>

class SwayWindowOcclusion : public WindowOcclusion {
    Q_OBJECT
public:
    // `window` (its screen gives the output) outlives this object; `socketPath` is SWAYSOCK.
    SwayWindowOcclusion(QWindow* window, QString socketPath, QObject* parent = nullptr);

    bool occluded() const override { return occluded_; }

    // Whether sway's tree (a get_tree answer) has a visible window covering the output named `output`,
    // else the one at `geometry` (under XWayland Qt's names are not sway's). `ignored` is a window of
    // ours that must not count (its X11 id; 0 for none).
    static bool covered(const QJsonObject& tree, const QString& output, const QRect& geometry,
                        qint64 ignored = 0);

private:
    void subscribe();
    void readEvents();
    void look();

    QWindow* window_;
    QString socketPath_;
    qint64 ignored_ = 0;
    QLocalSocket events_;
    QByteArray pending_;
    QTimer settle_;
    bool occluded_ = false;
    bool asking_ = false;   // a tree request is on its way
    bool askAgain_ = false; // something changed while it was
};
