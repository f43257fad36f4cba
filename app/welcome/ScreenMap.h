#pragma once
// A miniature of the connected screens: one rounded tile per screen, orange when it shows the Sun, grey
// when it is Off, labelled with its number and what it shows. A click (or Space/Enter) asks for the
// Preferences window. Reads the screens and the `products` setting at every paint. GUI thread only.

#include "ScreenChoice.h"

#include <QColor>
#include <QRectF>
#include <QWidget>
#include <vector>

class ScreenMap : public QWidget {
    Q_OBJECT
public:
    struct Tile {
        QRectF rect;
        QColor colour;
        QString label;
    };

    explicit ScreenMap(QWidget* parent = nullptr);

    // The tiles for screens with these frames and choices, drawn into `bounds`.
    static std::vector<Tile> tiles(const std::vector<QRectF>& frames,
                                   const std::vector<ScreenChoice>& choices, const QRectF& bounds);
    // The tiles of the connected screens in this view now.
    std::vector<Tile> tiles() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void describe();
};
