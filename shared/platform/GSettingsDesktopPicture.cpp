#include "GSettingsDesktopPicture.h"

#include "DesktopCanvas.h"
#include "GSettingsHandle.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace {

const char* optionsKey = "picture-options";

QString missing(const QString& schema) {
    return QStringLiteral("the desktop settings schema %1 is not installed").arg(schema);
}

} // namespace

GSettingsDesktopPicture::Flavour GSettingsDesktopPicture::gnome() {
    return {"GNOME", "org.gnome.desktop.background", "picture-uri", "picture-uri-dark", false};
}
GSettingsDesktopPicture::Flavour GSettingsDesktopPicture::cinnamon() {
    return {"Cinnamon", "org.cinnamon.desktop.background", "picture-uri", QString(), false};
}
GSettingsDesktopPicture::Flavour GSettingsDesktopPicture::mate() {
    return {"MATE", "org.mate.background", "picture-filename", QString(), true};
}

GSettingsDesktopPicture::GSettingsDesktopPicture(Flavour flavour, QString folder)
    : flavour_(std::move(flavour)), folder_(std::move(folder)) {}

bool GSettingsDesktopPicture::available(const QString& schema) {
    return GSettingsHandle::installed(schema);
}

QStringList GSettingsDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QString text;
    GSettingsHandle settings(flavour_.schema);
    if (settings.valid()) {
        const QString value = settings.get(flavour_.pictureKey);
        if (!value.isEmpty()) {
            const QUrl picture = flavour_.pathValued ? QUrl::fromLocalFile(value) : QUrl(value);
            // The options and the dark picture travel in the fragment, so restore puts back all of them.
            QList<QPair<QString, QString>> options{{optionsKey, settings.get(optionsKey)}};
            if (settings.has(flavour_.darkKey))
                options.append({flavour_.darkKey, settings.get(flavour_.darkKey)});
            text = DesktopCanvas::withOptions(picture, options);
        }
    }
    QStringList out;
    for (size_t i = 0; i < screens.size(); ++i)
        out << text;
    return out;
}

std::vector<std::optional<QString>>
GSettingsDesktopPicture::set(const std::vector<DesktopScreen>& screens,
                             const std::vector<PicturePlacement>& placements) {
    if (placements.empty()) return {};
    if (!available(flavour_.schema)) return {placements.size(), missing(flavour_.schema)};
    // One picture serves every monitor: a recorded one goes back as it was, ours are composed.
    for (const PicturePlacement& placement : placements)
        if (placement.fit == PictureFit::asRecorded) return {placements.size(), putBack(placement.picture)};
    return compose(screens, placements);
}

std::optional<QString> GSettingsDesktopPicture::putBack(const QUrl& recorded) {
    GSettingsHandle settings(flavour_.schema);
    const QMap<QString, QString> options = DesktopCanvas::options(recorded);
    const QUrl picture = DesktopCanvas::withoutOptions(recorded);
    const QString value = flavour_.pathValued ? picture.toLocalFile() : picture.toString(QUrl::FullyEncoded);
    if (!settings.put(flavour_.pictureKey, value))
        return QStringLiteral("the desktop settings refused %1").arg(flavour_.pictureKey);
    if (settings.has(flavour_.darkKey)) {
        if (options.contains(flavour_.darkKey))
            settings.put(flavour_.darkKey, options.value(flavour_.darkKey));
        else
            settings.reset(flavour_.darkKey);
    }
    // No recorded options, or ones this desktop no longer knows: its default.
    if (!options.contains(optionsKey) || !settings.put(optionsKey, options.value(optionsKey)))
        settings.reset(optionsKey);
    GSettingsHandle::sync();
    return std::nullopt;
}

std::vector<std::optional<QString>>
GSettingsDesktopPicture::compose(const std::vector<DesktopScreen>& screens,
                                 const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers(placements.size());
    const QRect all = DesktopCanvas::bounds(screens);
    if (all.isEmpty()) return {placements.size(), QStringLiteral("no screen to show it on")};

    GSettingsHandle settings(flavour_.schema);
    const QString was = DesktopCanvas::localPath(settings.get(flavour_.pictureKey));
    const QDir folder(folder_);
    if (!folder.mkpath(QStringLiteral(".")))
        return {placements.size(), QStringLiteral("could not create %1").arg(folder_)};

    // A screen without a new still keeps its part of our previous layout, when that is what shows.
    QImage canvas(all.size(), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    if (QFileInfo(was).absolutePath() == folder.absolutePath()) {
        const QImage previous(was);
        if (previous.size() == canvas.size()) canvas = previous.convertToFormat(QImage::Format_RGB32);
    }
    for (size_t i = 0; i < placements.size(); ++i) {
        const PicturePlacement& placement = placements[i];
        if (placement.screen < 0 || size_t(placement.screen) >= screens.size()) {
            answers[i] = QStringLiteral("no such screen");
            continue;
        }
        const QRect target = screens[size_t(placement.screen)].geometry.translated(-all.topLeft());
        answers[i] = DesktopCanvas::drawFitted(canvas, target, placement.picture.toLocalFile());
    }

    // A new name each time: the desktop redraws only when the value changes.
    QString name = QStringLiteral("layout-%1.png").arg(QDateTime::currentMSecsSinceEpoch());
    for (int n = 1; folder.exists(name); ++n)
        name = QStringLiteral("layout-%1-%2.png").arg(QDateTime::currentMSecsSinceEpoch()).arg(n);
    const QString path = folder.absoluteFilePath(name);
    const QString partial = path + QStringLiteral(".part");
    if (!canvas.save(partial, "PNG") || !QFile::rename(partial, path)) {
        QFile::remove(partial);
        return {placements.size(), QStringLiteral("could not write %1").arg(path)};
    }

    const QString value = flavour_.pathValued ? path : QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    std::optional<QString> refused;
    if (!settings.put(flavour_.pictureKey, value) ||
        (settings.has(flavour_.darkKey) && !settings.put(flavour_.darkKey, value)) ||
        !settings.put(optionsKey, QStringLiteral("spanned")))
        refused = QStringLiteral("the desktop settings refused the picture");
    GSettingsHandle::sync();
    if (refused) {
        QFile::remove(path);
        return {placements.size(), refused};
    }
    for (const QFileInfo& old : folder.entryInfoList({"layout-*.png"}, QDir::Files))
        if (old.fileName() != name) QFile::remove(old.absoluteFilePath());
    return answers;
}
