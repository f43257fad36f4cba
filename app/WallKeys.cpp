#include "WallKeys.h"

#include "HintLabel.h"
#include "TypeScale.h"
#include "WallWindow.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

namespace {

const QString overlayName = QStringLiteral("wallKeys");
const QString pausedName = QStringLiteral("wallPaused");
// Up long enough to read, then faded as the controls fade.
constexpr int overlayMilliseconds = 8000;
constexpr int fadeMilliseconds = 1200;

double scaleOf(const QWidget* window) {
    return TypeScale::factor(window->height());
}

// A dark rounded panel with the key lines in white, centred on the wall.
class KeysPanel : public QWidget {
public:
    explicit KeysPanel(QWidget* parent) : QWidget(parent) {
        setObjectName(overlayName);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setAccessibleName(QStringLiteral("Wall keys"));
        setAccessibleDescription(WallKeys::lines().join(QLatin1Char('\n')));
        font_.setPixelSize(int(std::lround(TypeScale::points(TypeScale::hint, scaleOf(parent)))));
        const QFontMetrics metrics(font_);
        int width = 0;
        for (const QString& line : WallKeys::lines())
            width = std::max(width, metrics.horizontalAdvance(line));
        const int pad = metrics.height();
        resize(width + 2 * pad, metrics.lineSpacing() * int(WallKeys::lines().size()) + 2 * pad);
        move((parent->width() - this->width()) / 2, (parent->height() - height()) / 2);
    }
    void setOpacity(double opacity) {
        opacity_ = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setOpacity(opacity_);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 190));
        const QFontMetrics metrics(font_);
        painter.drawRoundedRect(rect(), metrics.height() / 2.0, metrics.height() / 2.0);
        painter.setFont(font_);
        painter.setPen(Qt::white);
        const int pad = metrics.height();
        int y = pad + metrics.ascent();
        for (const QString& line : WallKeys::lines()) {
            painter.drawText(pad, y, line);
            y += metrics.lineSpacing();
        }
    }

private:
    QFont font_;
    double opacity_ = 1.0;
};

} // namespace

QStringList WallKeys::lines() {
    return {
        QStringLiteral("Esc    end the wall"),
        QStringLiteral("Space    pause or play"),
        QStringLiteral("← →    previous or next clip"),
        QStringLiteral("Shift + ← →    one frame back or on"),
        QStringLiteral("Wheel    move through the 48 hours"),
        QStringLiteral("I    what you are looking at"),
        QStringLiteral("L    the next look"),
        QStringLiteral("? or F1    these keys"),
    };
}

bool WallKeys::overlayShown(const WallWindow* window) {
    return window->findChild<QWidget*>(overlayName, Qt::FindDirectChildrenOnly) != nullptr;
}

void WallKeys::toggleOverlay(const std::vector<WallWindow*>& windows) {
    const bool up = std::any_of(windows.begin(), windows.end(), overlayShown);
    for (WallWindow* window : windows) {
        if (QWidget* shown = window->findChild<QWidget*>(overlayName, Qt::FindDirectChildrenOnly)) {
            shown->setObjectName(QString());
            shown->deleteLater();
        }
        if (up) continue;
        auto* panel = new KeysPanel(window);
        panel->show();
        panel->raise();
        QPointer<KeysPanel> held(panel);
        QTimer::singleShot(overlayMilliseconds, panel, [held] {
            if (!held) return;
            auto* fade = new QVariantAnimation(held);
            fade->setStartValue(1.0);
            fade->setEndValue(0.0);
            fade->setDuration(fadeMilliseconds);
            QObject::connect(fade, &QVariantAnimation::valueChanged, held,
                             [held](const QVariant& value) { held->setOpacity(value.toDouble()); });
            QObject::connect(fade, &QVariantAnimation::finished, held, [held] {
                held->setObjectName(QString());
                held->deleteLater();
            });
            fade->start(QAbstractAnimation::DeleteWhenStopped);
        });
    }
}

bool WallKeys::pausedShown(const WallWindow* window) {
    return window->findChild<QWidget*>(pausedName, Qt::FindDirectChildrenOnly) != nullptr;
}

void WallKeys::showPaused(WallWindow* window, bool paused) {
    QWidget* mark = window->findChild<QWidget*>(pausedName, Qt::FindDirectChildrenOnly);
    if (!paused) {
        delete mark;
        return;
    }
    if (mark) return;
    const double scale = scaleOf(window);
    auto* label =
        new HintLabel(QStringLiteral("❚❚  Paused"), TypeScale::points(TypeScale::hint, scale), window);
    label->setObjectName(pausedName);
    label->setAccessibleName(QStringLiteral("Paused"));
    label->resize(label->sizeHint());
    const int margin = int(std::lround(TypeScale::controlInset * scale));
    label->move(margin, margin);
    label->show();
    label->raise();
}
