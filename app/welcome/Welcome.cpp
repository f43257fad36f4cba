#include "Welcome.h"

#include "Cache.h"
#include "Caption.h"
#include "Log.h"
#include "Mode.h"
#include "Preferences.h"
#include "ScreenMap.h"
#include "Settings.h"
#include "SourceStatus.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {
constexpr int previewHeight = 340;
constexpr int buttonWidth = 164;
constexpr int buttonGap = 16;
constexpr int captionWidth = buttonWidth + buttonGap;
constexpr int left = 28;
constexpr int titlePixels = 28;

const char* noteFor(Mode mode) {
    switch (mode) {
    case Mode::desktop:
        return "Your desktop picture, kept current";
    case Mode::saver:
        return "Starts after you step away";
    case Mode::wall:
        return "Full screen until you close it";
    case Mode::kiosk:
        return "For lobbies and classrooms";
    }
    return "";
}

// Sizes are in pixels at scale 1, as the layout's coordinates are.
QLabel* text(QWidget* parent, const QString& value, int pixels, const QColor& colour) {
    auto* label = new QLabel(value, parent);
    QFont font = label->font();
    font.setPixelSize(pixels);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}
} // namespace

Welcome::Welcome(Preferences& preferences, std::function<WallView::Environment()> wallEnvironment)
    : preferences_(preferences), wallEnvironment_(std::move(wallEnvironment)) {}

Welcome::~Welcome() {
    if (preview_) preview_->stop();
}

QString Welcome::titleFor(const std::optional<QDateTime>& newest, const QDateTime& now) {
    // Old imagery is not "the last 48 hours": name the day it ends on.
    if (newest && newest->secsTo(now) > Caption::yearAfterSeconds)
        return QStringLiteral("The Sun, 48 hours to ") + SourceStatus::day(*newest);
    return QStringLiteral("The Sun, the last 48 hours");
}

QString Welcome::title() const {
    return title_ ? title_->text() : QString();
}

QPushButton* Welcome::button(int tag) const {
    return tag >= 0 && tag < int(buttons_.size()) ? buttons_[size_t(tag)] : nullptr;
}

void Welcome::build() {
    window_ = std::make_unique<QWidget>();
    window_->setWindowTitle(QStringLiteral("Welcome to Solvane"));
    window_->setAccessibleName(QStringLiteral("Welcome to Solvane"));
    window_->resize(width, height);
    window_->setMinimumSize(width, height);
    QPalette dark = window_->palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Button, QColor(58, 58, 60));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    window_->setPalette(dark);
    window_->setAutoFillBackground(true);
    window_->installEventFilter(this);

    // The dark appearance's secondary label colour, made opaque: small captions on black keep a contrast
    // well above 4.5:1 however the text is smoothed.
    const QColor secondary(174, 174, 180);
    // Positions are distances from the bottom edge, so the controls stay put under a growing preview.
    auto anchor = [this](QWidget* widget, int x, int fromBottom, int w, int h) {
        widget->setGeometry(x, height - fromBottom - h, w, h);
        widget->setProperty("fromBottom", fromBottom);
        anchored_.push_back(widget);
    };
    title_ = text(window_.get(), QStringLiteral("The Sun, the last 48 hours"), titlePixels, Qt::white);
    anchor(title_, left, 184, 460, 30);
    anchor(text(window_.get(),
                QStringLiteral("Choose how to see it. You can change this any time in Settings."), 13,
                secondary),
           left, 160, 460, 21);
    for (int tag = 0; tag < 4; ++tag) {
        const Mode mode = *Modes::atSegment(tag);
        auto* modeButton = new QPushButton(Modes::segmentTitle(mode), window_.get());
        QFont font = modeButton->font();
        font.setPixelSize(15); // the large control size
        modeButton->setFont(font);
        modeButton->setAccessibleName(Modes::segmentTitle(mode));
        modeButton->setAccessibleDescription(QString::fromUtf8(noteFor(mode)));
        connect(modeButton, &QPushButton::clicked, this, [this, tag] { choose(tag); });
        const int x = left + tag * (buttonWidth + buttonGap);
        anchor(modeButton, x, 92, buttonWidth, 40);
        buttons_.push_back(modeButton);
        // The caption may use the gap between the buttons; a font whose text is wider still steps down.
        auto* caption = text(window_.get(), QString::fromUtf8(noteFor(mode)), 11, secondary);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QFont small = caption->font();
        while (small.pixelSize() > 9 &&
               QFontMetrics(small).horizontalAdvance(caption->text()) > captionWidth - 2)
            small.setPixelSize(small.pixelSize() - 1);
        caption->setFont(small);
        anchor(caption, x - buttonGap / 2, 68, captionWidth, 19);
    }
    map_ = new ScreenMap(window_.get());
    anchor(map_, 512, 150, 220, 50);
    connect(map_, &ScreenMap::clicked, this, [this] { preferences_.open(); });
    auto* mapLabel = text(window_.get(), QStringLiteral("Your screens"), 11, secondary);
    // Centred under the map, which draws its screens centred in its box.
    mapLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    anchor(mapLabel, 512, 130, 220, 19);
    // A visible focus ring on the dark window: the style's own is too faint there.
    window_->setStyleSheet(QStringLiteral(
        "QPushButton { background: #3a3a3c; color: white; border: 2px solid #3a3a3c; border-radius: 6px; "
        "padding: 4px 10px; }"
        "QPushButton:hover { background: #48484a; border-color: #48484a; }"
        "QPushButton:focus { border: 2px solid #5eb0ff; }"));
}

void Welcome::place() {
    const QSize size = window_->size();
    for (QWidget* widget : anchored_)
        widget->move(widget->x(), size.height() - widget->property("fromBottom").toInt() - widget->height());
    if (preview_)
        preview_->setGeometry(0, 0, size.width(), std::max(0, size.height() - (height - previewHeight)));
}

void Welcome::startPreview() {
    if (preview_) {
        preview_->stop();
        delete preview_;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    WallView::Options options;
    options.products = Settings::productList(0);
    options.scale = screen ? screen->devicePixelRatio() : 2.0;
    options.kind = ViewKind::preview;
    // A preview takes nothing from what the walls show.
    options.skipOnScreen = true;
    preview_ = new WallView(QSize(width, previewHeight), options,
                            wallEnvironment_ ? wallEnvironment_() : WallView::Environment{}, window_.get());
    preview_->setAccessibleName(QStringLiteral("Preview of the Sun"));
    preview_->lower();
    place();
    preview_->show();
}

void Welcome::show() {
    if (window_ && window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    if (!window_) {
        build();
        if (onWindowMade) onWindowMade(window_.get());
    }
    std::optional<QDateTime> newest;
    for (const CacheEntry& entry : Cache::entries()) {
        QDateTime when = QDateTime::fromString(entry.updated, Qt::ISODate);
        if (when.isValid() && (!newest || when > *newest)) newest = when;
    }
    title_->setText(titleFor(newest, QDateTime::currentDateTimeUtc()));
    // A longer title (with a date) steps its size down rather than being cut at the map.
    QFont font = title_->font();
    font.setPixelSize(titlePixels);
    while (font.pixelSize() > 18 &&
           QFontMetrics(font).horizontalAdvance(title_->text()) > title_->width() - 2)
        font.setPixelSize(font.pixelSize() - 1);
    title_->setFont(font);
    startPreview();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window_->move(screen->availableGeometry().center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
    log("welcome: shown", LogArea::app);
}

void Welcome::close() {
    if (preview_) preview_->stop();
    if (window_) window_->hide();
}

void Welcome::choose(int tag) {
    const auto mode = Modes::atSegment(tag);
    if (!mode) return;
    close();
    preferences_.open();
    preferences_.chooseMode(*mode);
}

bool Welcome::eventFilter(QObject* watched, QEvent* event) {
    if (window_ && watched == window_.get()) {
        if (event->type() == QEvent::Resize) place();
        // The window's own close button: the preview stops with it.
        if (event->type() == QEvent::Close && preview_) preview_->stop();
    }
    return QObject::eventFilter(watched, event);
}
