#include "FrameActions.h"

#include "FileSharer.h"
#include "Log.h"
#include "Platform.h"
#include "Share.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes a whole file atomically; the error's description when it cannot.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

QString proposedPath(QStandardPaths::StandardLocation location, const QString& name) {
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    return QDir(folder).filePath(name);
}

} // namespace

FrameActions::FrameActions(std::function<std::optional<WallView::Shown>()> shown, Environment environment,
                           QObject* parent)
    : QObject(parent), shown_(std::move(shown)), env_(std::move(environment)) {
    if (!env_.chooseSaveFile)
        env_.chooseSaveFile = [](const QString& proposed, const QString& filter) {
            return QFileDialog::getSaveFileName(nullptr, QString(), proposed, filter);
        };
    if (!env_.preparePrinter)
        env_.preparePrinter = [](QPrinter& printer) {
            QPrintDialog dialog(&printer);
            return dialog.exec() == QDialog::Accepted;
        };
    if (!env_.sharer) env_.sharer = Platform::fileSharer();
    // However the program ends (the destructor may not run when a download is cut short).
    connect(qApp, &QCoreApplication::aboutToQuit, this, &FrameActions::removeShared);
}

FrameActions::~FrameActions() {
    removeShared();
}

void FrameActions::removeShared() {
    for (const QString& path : std::as_const(shared_))
        QFile::remove(path);
    shared_.clear();
}

QString FrameActions::withSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || path.endsWith(suffix, Qt::CaseInsensitive)) return path;
    return path + suffix;
}

std::optional<QString> FrameActions::privateTemporaryFolder() {
    const QString folder = QDir(QDir::tempPath()).filePath("solvane-" + QString::number(::getuid()));
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        log("share: could not make " + folder + ": " + QString::fromLocal8Bit(std::strerror(errno)),
            LogArea::app);
        return std::nullopt;
    }
    // Someone else may have made the name first in a shared folder: use it only when it is ours alone.
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 077) != 0) {
        log("share: " + folder + " is not a private folder of ours; not sharing through it", LogArea::app);
        return std::nullopt;
    }
    return folder;
}

void FrameActions::saveFrame() {
    const auto shown = shown_();
    const auto png = shown ? Share::framePNG(shown->file, shown->seconds, shown->provenance) : std::nullopt;
    if (!png) {
        log(QStringLiteral("save frame: nothing to save"), LogArea::app);
        return;
    }
    const QString stem = shown->provenance.fileStem();
    const QString path =
        withSuffix(env_.chooseSaveFile(proposedPath(QStandardPaths::PicturesLocation, stem + ".png"),
                                       QStringLiteral("PNG image (*.png)")),
                   QStringLiteral(".png"));
    if (path.isEmpty()) return;
    if (const auto error = writeAtomically(path, *png)) {
        log(QStringLiteral("save frame: ") + *error, LogArea::app);
        return;
    }
    const QFileInfo chosen(path);
    const QString sidecar = chosen.dir().filePath(Share::sidecarName(chosen.completeBaseName()));
    if (const auto error =
            writeAtomically(sidecar, shown->provenance.recordJSON(Share::appVersion()).toUtf8())) {
        log(QStringLiteral("save frame: ") + *error, LogArea::app);
        return;
    }
    log(QStringLiteral("saved frame ") + chosen.fileName(), LogArea::app);
}

void FrameActions::exportClip() {
    const auto shown = shown_();
    if (!shown) {
        log(QStringLiteral("export clip: nothing to export"), LogArea::app);
        return;
    }
    const QString path = withSuffix(env_.chooseSaveFile(proposedPath(QStandardPaths::MoviesLocation,
                                                                     shown->provenance.fileStem() + ".mp4"),
                                                        QStringLiteral("MPEG-4 video (*.mp4)")),
                                    QStringLiteral(".mp4"));
    if (path.isEmpty()) return;
    const QString name = QFileInfo(path).fileName();
    QPointer<FrameActions> self(this);
    Share::exportClip(shown->file, path, shown->provenance, [self, name](bool ok) {
        // On the export's worker thread: log from here, report to the GUI thread.
        log(ok ? QStringLiteral("exported clip ") + name : QStringLiteral("export clip failed"),
            LogArea::app);
        QMetaObject::invokeMethod(
            qApp,
            [self, ok] {
                if (self) emit self->exportFinished(ok);
            },
            Qt::QueuedConnection);
    });
}

void FrameActions::shareFrame() {
    const auto shown = shown_();
    if (!shown) {
        log(QStringLiteral("share: nothing to share"), LogArea::app);
        return;
    }
    const auto png = Share::framePNG(shown->file, shown->seconds, shown->provenance);
    if (!png) return; // framePNG logged why
    const std::optional<QString> folder =
        env_.temporaryFolder.isEmpty() ? privateTemporaryFolder() : std::optional(env_.temporaryFolder);
    if (!folder) return;
    const QString path = QDir(*folder).filePath(shown->provenance.fileStem() + ".png");
    if (const auto error = writeAtomically(path, *png)) {
        log(QStringLiteral("share: ") + *error, LogArea::app);
        return;
    }
    if (!shared_.contains(path)) shared_ << path;
    const auto refused = env_.sharer->offer(path);
    if (!refused) {
        log(QStringLiteral("share: offered ") + QFileInfo(path).fileName() + " to the desktop's chooser",
            LogArea::app);
        return;
    }
    // Without a chooser the frame goes where any program can paste it: as a picture and as a file.
    auto* data = new QMimeData;
    data->setImageData(QImage::fromData(*png, "PNG"));
    data->setUrls({QUrl::fromLocalFile(path)});
    QGuiApplication::clipboard()->setMimeData(data);
    log(QStringLiteral("share: no chooser (") + *refused + "), the frame is on the clipboard", LogArea::app);
}

void FrameActions::printThisDay() {
    const auto shown = shown_();
    const auto png = shown ? Share::framePNG(shown->file, shown->seconds, shown->provenance) : std::nullopt;
    if (!png) {
        log(QStringLiteral("print: nothing to print"), LogArea::app);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(shown->provenance.fileStem());
    if (!env_.preparePrinter(printer)) return;
    if (!printFrame(printer, QImage::fromData(*png, "PNG"), shown->provenance.lines())) {
        log(QStringLiteral("print: the printer could not be drawn on"), LogArea::app);
        return;
    }
    log(QStringLiteral("printed frame ") + shown->provenance.fileStem(), LogArea::app);
}

bool FrameActions::printFrame(QPrinter& printer, const QImage& frame, const QStringList& lines) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont font = painter.font();
    font.setPointSizeF(10);
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = metrics.lineSpacing();
    // The picture takes the page's width and leaves room under it for every provenance line.
    const int textHeight = lineHeight * (int(lines.size()) + 1);
    QSize pictureSize =
        frame.size().scaled(area.width(), std::max(1, area.height() - textHeight), Qt::KeepAspectRatio);
    const QRect picture(area.left() + (area.width() - pictureSize.width()) / 2, area.top(),
                        pictureSize.width(), pictureSize.height());
    painter.drawImage(picture, frame);
    int y = picture.bottom() + lineHeight;
    for (const QString& line : lines) {
        painter.drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        y += lineHeight;
    }
    return painter.end();
}
