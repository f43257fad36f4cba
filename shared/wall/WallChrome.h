#pragma once
// The chrome drawn over the video of a wall: the scrim, caption and attribution lines, the frame clock,
// the 48-hour timeline with its playhead and flare marks, the line naming the flare that plays, the
// information card and the QR plate. Layout is a pure
// function of the bounds and the type sizes; painting takes the texts and opacities the view holds.

#include "FlareMarks.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

// Sizes in points, already multiplied by the type-scale factor.
struct ChromeSizes {
    double caption = 15, attribution = 12, clock = 13;
    double captionHeight = 22, attributionHeight = 18, clockHeight = 18;
    double qrGap = 26, timeline = 2, playhead = 9;
};

struct ChromeLayout {
    QRectF scrim, caption, attribution, clock, track, playhead, qrPlate, qrCode, card;
    QRectF flare; // the row above the caption that names the flare playing
    bool operator==(const ChromeLayout&) const = default;
};

// What the chrome shows now; opacities are the values on screen this frame.
struct ChromeState {
    QString caption;
    QString attribution;
    QString clock;
    QString flare;
    QStringList card;
    std::vector<FlareMarks::Mark> marks; // drawn with the timeline
    QImage qr;                           // empty: no plate
    // Where pictures lie; the scrim is drawn only there, as over the plain black around them it changes
    // nothing. Unset: everywhere.
    std::optional<QRect> scrimWithin;
    double scrimOpacity = 0, captionOpacity = 0, attributionOpacity = 0, clockOpacity = 0;
    double timelineOpacity = 0, cardOpacity = 0, qrOpacity = 0, flareOpacity = 0;
};

// Chrome parts rendered once into images and reused while what they show stays the same: the scrim for
// its size, and the text lines for their text, font and box. A fading caption and its scrim are redrawn
// every display frame, and blending finished pixels costs a fraction of filling a gradient and laying
// out and drawing glyphs again. GUI thread only.
class ChromeCache {
public:
    enum class Line { caption, attribution, clock, flare };
    void drawText(QPainter& painter, Line line, const QRectF& rect, const QString& text, int flags,
                  bool shadow);
    void drawScrim(QPainter& painter, const QRectF& rect);

private:
    struct Drawn {
        QString text;
        QFont font;
        int flags = 0;
        QSizeF size;
        bool shadow = false;
        qreal ratio = 1.0;
        double offset = 0; // where the picture starts in the line's box: whole device pixels from its left
        QImage image;
    };
    std::array<Drawn, 4> lines_;
    QImage scrim_;
};

namespace WallChrome {
// Room around a text line for its shadow's blur and offset, in points: repaints of a line cover it.
inline constexpr double textMargin = 4.0;
// The system font at a size in points (one point per logical pixel, as on the reference screen).
QFont font(double points, QFont::Weight weight = QFont::Normal);
// The card's outer size for its lines at the caption size (padding included).
QSizeF cardSize(const QStringList& lines, const ChromeSizes& sizes, double widthLimit);
// Where everything goes. `progress` places the playhead (0 ... 1); `qrShown` moves the clock clear of
// the plate.
ChromeLayout layout(QSizeF bounds, const ChromeSizes& sizes, double progress, bool qrShown, QSizeF card = {});
// A flare's mark: a short upright bar rising from the middle of the track at the mark's place, taller
// and wider for a larger class.
QRectF markRect(const QRectF& track, const FlareMarks::Mark& mark, const ChromeSizes& sizes);
// The mark's colour: calm blue for C, amber for M, coral for X.
QColor markColour(FlareMarks::Band band);
// Side of the QR plate and the code inside it, in points.
double qrPlateSide(QSizeF bounds);
inline constexpr double qrInset = 7.0;
// Draws every part whose opacity is above zero; the scrim and text lines come from `cache` when one is
// given.
void paint(QPainter& painter, const ChromeLayout& layout, const ChromeState& state, const ChromeSizes& sizes,
           ChromeCache* cache = nullptr);
} // namespace WallChrome
