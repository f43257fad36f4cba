// GIO first: Qt's "signals" keyword would clash with a member of that name in its headers.
#include <gio/gio.h>

#include "GSettingsDesktopPicture.h"

#include "DesktopCanvas.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace {

const char* optionsKey = "picture-options";

// A GSettings object on an installed schema, released with its scope.
class Handle {
public:
    explicit Handle(const QString& schemaId) {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        if (!source) return;
        schema_ = g_settings_schema_source_lookup(source, schemaId.toUtf8().constData(), TRUE);
        if (schema_) settings_ = g_settings_new_full(schema_, nullptr, nullptr);
    }
    ~Handle() {
        if (settings_) g_object_unref(settings_);
        if (schema_) g_settings_schema_unref(schema_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return settings_ != nullptr; }
    bool has(const QString& key) const {
        return !key.isEmpty() && schema_ && g_settings_schema_has_key(schema_, key.toUtf8().constData());
    }
    QString get(const QString& key) const {
        if (!has(key)) return {};
        gchar* value = g_settings_get_string(settings_, key.toUtf8().constData());
        const QString text = QString::fromUtf8(value);
        g_free(value);
        return text;
    }
    // A key the schema lacks, or a value outside its range, would be a programming error to GLib; here
    // it is a refusal.
    bool put(const QString& key, const QString& value) {
        if (!has(key)) return false;
        const QByteArray name = key.toUtf8();
        GVariant* variant = g_variant_ref_sink(g_variant_new_string(value.toUtf8().constData()));
        GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema_, name.constData());
        const bool fits = g_settings_schema_key_range_check(schemaKey, variant);
        g_settings_schema_key_unref(schemaKey);
        const bool stored = fits && g_settings_set_value(settings_, name.constData(), variant);
        g_variant_unref(variant);
        return stored;
    }
    void reset(const QString& key) {
        if (has(key)) g_settings_reset(settings_, key.toUtf8().constData());
    }

private:
    GSettingsSchema* schema_ = nullptr;
    GSettings* settings_ = nullptr;
};

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
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return false;
    GSettingsSchema* found = g_settings_schema_source_lookup(source, schema.toUtf8().constData(), TRUE);
    if (found) g_settings_schema_unref(found);
    return found != nullptr;
}

QStringList GSettingsDesktopPicture::current(const std::vector<DesktopScreen>& screens) {
    QString text;
    Handle settings(flavour_.schema);
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
    Handle settings(flavour_.schema);
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
    g_settings_sync();
    return std::nullopt;
}

std::vector<std::optional<QString>>
GSettingsDesktopPicture::compose(const std::vector<DesktopScreen>& screens,
                                 const std::vector<PicturePlacement>& placements) {
    std::vector<std::optional<QString>> answers(placements.size());
    const QRect all = DesktopCanvas::bounds(screens);
    if (all.isEmpty()) return {placements.size(), QStringLiteral("no screen to show it on")};

    Handle settings(flavour_.schema);
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
    g_settings_sync();
    if (refused) {
        QFile::remove(path);
        return {placements.size(), refused};
    }
    for (const QFileInfo& old : folder.entryInfoList({"layout-*.png"}, QDir::Files))
        if (old.fileName() != name) QFile::remove(old.absoluteFilePath());
    return answers;
}
