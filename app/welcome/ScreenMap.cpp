#include "ScreenMap.h"

#include "DisplayGeometry.h"
#include "Settings.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace {
const QColor enabledColour(255, 149, 0, 217); // system orange at 85 %
const QColor offColour(85, 85, 85);
constexpr double cornerRadius = 3;
constexpr double labelPointSize = 10;
} // namespace

ScreenMap::ScreenMap(QWidget* parent) : QWidget(parent) {
    setToolTip(QStringLiteral("Click to choose what each screen shows, in Settings."));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    describe();
    connect(qApp, &QGuiApplication::screenAdded, this, [this] {
        describe();
        update();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] {
        describe();
        update();
    });
}

void ScreenMap::describe() {
    setAccessibleName(QString::number(QGuiApplication::screens().size()) + " screen(s)");
}

std::vector<ScreenMap::Tile> ScreenMap::tiles(const std::vector<QRectF>& frames,
                                              const std::vector<ScreenChoice>& choices,
                                              const QRectF& bounds) {
    const std::vector<QRectF> rects = DisplayGeometry::layout(frames, bounds.adjusted(1, 1, -1, -1));
    std::vector<Tile> tiles;
    for (size_t index = 0; index < rects.size(); ++index) {
        const ScreenChoice choice = index < choices.size() ? choices[index] : ScreenChoice::all();
        // A screen that cycles through every product has no list to name: "all" says what it shows.
        const QString shows =
            choice.isAll() ? QStringLiteral("all") : DisplayGeometry::tileLabel(choice.ids());
        tiles.push_back({rects[index], choice.isOff() ? offColour : enabledColour,
                         QString::number(index + 1) + "  " + shows});
    }
    return tiles;
}

std::vector<ScreenMap::Tile> ScreenMap::tiles() const {
    std::vector<QRectF> frames;
    std::vector<ScreenChoice> choices;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int index = 0; index < screens.size(); ++index) {
        frames.push_back(QRectF(screens[index]->geometry()));
        choices.push_back(Settings::screenChoice(index));
    }
    return tiles(frames, choices, QRectF(rect()));
}

void ScreenMap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPointSizeF(labelPointSize);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    for (const Tile& tile : tiles()) {
        QPainterPath path;
        path.addRoundedRect(tile.rect, cornerRadius, cornerRadius);
        painter.fillPath(path, tile.colour);
        painter.save();
        painter.setClipPath(path);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(tile.rect.left() + 4, tile.rect.bottom() - 3 - metrics.descent()),
                         tile.label);
        painter.restore();
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ScreenMap::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void ScreenMap::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}
