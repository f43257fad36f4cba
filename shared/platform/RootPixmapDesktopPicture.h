#pragma once
// The desktop picture of any other X11 session: one pixmap the size of the root window, each screen's
// picture fitted on black inside its rectangle, made the root window's background and published in
// _XROOTPMAP_ID and ESETROOT_PMAP_ID, as classic setters do. The pixmap outlives us (our connection is
// closed with RetainPermanent); the previous one is freed when it was a setter's too.
//
// The root window holds pixels, not files: to put a picture back later, `current` saves each screen's
// part of the present root pixmap as a PNG in the folder given at construction and names that file.

#include "DesktopPicture.h"

class RootPixmapDesktopPicture : public DesktopPicture {
public:
    // `folder` receives the copies of the pictures found at `current`.
    explicit RootPixmapDesktopPicture(QString folder);

    QString name() const override { return QStringLiteral("X11 root"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

private:
    QString folder_;
};
