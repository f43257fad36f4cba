#pragma once
// The tray's "Save This Frame…", "Export This Clip…", "Share This Frame…" and "Print This Day": each
// takes the frame on screen now (or the newest cached one) and turns it into files that carry their own
// provenance. GUI thread only; the clip export finishes on a worker thread and reports back here.

#include "WallView.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class FileSharer;
class QPrinter;

class FrameActions : public QObject {
    Q_OBJECT
public:
    struct Environment {
        // The save panel: the chosen path, or empty when the user cancels. Default: QFileDialog, which
        // is the desktop portal's where Qt's portal theme runs.
        std::function<QString(const QString& proposedPath, const QString& filter)> chooseSaveFile;
        // Sets the printer up; false when the user cancels. Default: Qt's print dialog.
        std::function<bool(QPrinter&)> preparePrinter;
        // Offers a file to the desktop's open-with chooser. Default: Platform::fileSharer().
        std::shared_ptr<FileSharer> sharer;
        // Where a shared frame is written. Default: a folder of this user's own in the system
        // temporary folder (mode 0700), emptied of our frames when the program ends.
        QString temporaryFolder;
    };

    // `shown` gives the frame to act on (the controller's shownNow).
    explicit FrameActions(std::function<std::optional<WallView::Shown>()> shown, Environment environment = {},
                          QObject* parent = nullptr);
    // Removes the frames it shared.
    ~FrameActions() override;

    void saveFrame();
    void exportClip();
    void shareFrame();
    void printThisDay();

    // Draws the frame with its provenance lines under it on the printer's first page; false when the
    // printer cannot be drawn on.
    static bool printFrame(QPrinter& printer, const QImage& frame, const QStringList& lines);
    // The chosen path with `suffix` (".png") appended when the typed name does not end with it.
    static QString withSuffix(const QString& path, const QString& suffix);
    // This user's private folder in the system temporary folder, made when missing; nothing (and a
    // log line) when it is not a folder of ours that only we can read.
    static std::optional<QString> privateTemporaryFolder();

signals:
    // A clip export ended (true when the file is complete); on the GUI thread.
    void exportFinished(bool ok);

private:
    void removeShared();

    std::function<std::optional<WallView::Shown>()> shown_;
    Environment env_;
    QStringList shared_; // the frames written for sharing, removed at the end
};
