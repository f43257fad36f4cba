#pragma once
// The desktop picture of the GNOME family (GNOME, Budgie, Cinnamon, MATE) through GIO's GSettings. These
// desktops show one picture across all monitors, so each update composes one image of the monitor
// layout (every screen's still fitted on black inside its rectangle), saves it under a new name (so the
// desktop reloads) and sets it "spanned". GNOME takes it for the light and the dark style alike.

#include "DesktopPicture.h"

class GSettingsDesktopPicture : public DesktopPicture {
public:
    // The schema and key names differ between the family's members.
    struct Flavour {
        QString label;           // for log lines
        QString schema;          // e.g. "org.gnome.desktop.background"
        QString pictureKey;      // "picture-uri", or "picture-filename" where it holds a path
        QString darkKey;         // "picture-uri-dark", or empty where the desktop has none
        bool pathValued = false; // the picture key holds a plain path rather than a URI
    };
    static Flavour gnome();
    static Flavour cinnamon();
    static Flavour mate();

    // Composed layouts go to `folder` (created when missing); older ones there are removed.
    GSettingsDesktopPicture(Flavour flavour, QString folder);

    QString name() const override { return flavour_.label; }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

    // Whether the schema is installed here (without it GSettings would abort the process).
    static bool available(const QString& schema);

private:
    std::vector<std::optional<QString>> compose(const std::vector<DesktopScreen>& screens,
                                                const std::vector<PicturePlacement>& placements);
    std::optional<QString> putBack(const QUrl& recorded);

    Flavour flavour_;
    QString folder_;
};
