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
        bold_ = font_;
        bold_.setBold(true);
        const QFontMetrics metrics(font_), strong(bold_);
        int descriptions = 0;
        for (const auto& [key, does] : WallKeys::keys()) {
            keyWidth_ = std::max(keyWidth_, strong.horizontalAdvance(key));
            descriptions = std::max(descriptions, metrics.horizontalAdvance(does));
        }
        const int pad = metrics.height();
        gap_ = metrics.height();
        resize(keyWidth_ + gap_ + descriptions + 2 * pad,
               metrics.lineSpacing() * int(WallKeys::keys().size()) + 2 * pad);
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
        painter.setPen(Qt::white);
        const int pad = metrics.height();
        int y = pad;
        // Keys right-aligned in their column, what they do left-aligned in the next.
        for (const auto& [key, does] : WallKeys::keys()) {
            painter.setFont(bold_);
            painter.drawText(QRect(pad, y, keyWidth_, metrics.lineSpacing()),
                             Qt::AlignRight | Qt::AlignVCenter, key);
            painter.setFont(font_);
            painter.drawText(
                QRect(pad + keyWidth_ + gap_, y, width() - pad - keyWidth_ - gap_, metrics.lineSpacing()),
                Qt::AlignLeft | Qt::AlignVCenter, does);
            y += metrics.lineSpacing();
        }
    }

private:
    QFont font_, bold_;
    int keyWidth_ = 0, gap_ = 0;
    double opacity_ = 1.0;
};

} // namespace

std::vector<std::pair<QString, QString>> WallKeys::keys() {
    return {
        {QStringLiteral("Esc"), QStringLiteral("end the wall")},
        {QStringLiteral("Space"), QStringLiteral("pause or play")},
        {QStringLiteral("← →"), QStringLiteral("previous or next clip")},
        {QStringLiteral("Shift + ← →"), QStringLiteral("one frame back or on")},
        {QStringLiteral("Wheel"), QStringLiteral("move through the 48 hours")},
        {QStringLiteral("I"), QStringLiteral("what you are looking at")},
        {QStringLiteral("L"), QStringLiteral("the next look")},
        {QStringLiteral("? or F1"), QStringLiteral("these keys")},
    };
}

QStringList WallKeys::lines() {
    QStringList out;
    for (const auto& [key, does] : keys())
        out << key + QStringLiteral(": ") + does;
    return out;
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
