#include "Welcome.h"

#include "Cache.h"
#include "Caption.h"
#include "Controller.h"
#include "DesktopManager.h"
#include "Log.h"
#include "Mode.h"
#include "PlainCause.h"
#include "Preferences.h"
#include "ScreenMap.h"
#include "Settings.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace {
constexpr int previewHeight = 340;
constexpr int buttonWidth = 164;
constexpr int buttonGap = 16;
constexpr int captionWidth = buttonWidth + buttonGap;
constexpr int left = 28;
constexpr int titlePixels = 28;
constexpr int followMs = 2000;
const QString chooseText = QStringLiteral("Choose how to see it. You can change this any time in Settings.");

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

Welcome::Welcome(Preferences& preferences, Controller& controller,
                 std::function<WallView::Environment()> wallEnvironment)
    : preferences_(preferences), controller_(controller), wallEnvironment_(std::move(wallEnvironment)) {
    follow_.setInterval(followMs);
    connect(&follow_, &QTimer::timeout, this, [this] {
        if (window_ && window_->isVisible())
            refreshTitle();
        else
            follow_.stop();
    });
}

Welcome::~Welcome() {
    if (preview_) preview_->stop();
}

QString Welcome::titleFor(const SourceStatus::State& state) {
    // The bundled clip is not today's Sun, whatever plays under the title.
    if (const auto newest = SourceStatus::newestImagery(state.entries, state.pass)) {
        // Old imagery is not "the last 48 hours": name the day it ends on.
        if (newest->secsTo(state.now) > Caption::yearAfterSeconds)
            return QStringLiteral("The Sun, 48 hours to ") + SourceStatus::day(*newest);
        return QStringLiteral("The Sun, the last 48 hours");
    }
    if (state.offline) return QStringLiteral("Today's Sun can't come: Solvane is offline");
    if (PlainCause::showsUnreachable(state))
        return QStringLiteral("Today's Sun can't come: ") +
               PlainCause::words(PlainCause::of(state.pass->reason));
    return QStringLiteral("Today's Sun is on its way");
}

QString Welcome::title() const {
    return title_ ? title_->text() : QString();
}

QString Welcome::note() const {
    return note_ ? note_->text() : QString();
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
    // Two lines: what the last choice did may take both.
    note_ = text(window_.get(), chooseText, 13, secondary);
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note_->setAccessibleName(QStringLiteral("Welcome note"));
    anchor(note_, left, 136, 470, 44);
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
    settings_ = new QPushButton(QStringLiteral("Settings…"), window_.get());
    settings_->setAccessibleName(QStringLiteral("Settings"));
    connect(settings_, &QPushButton::clicked, this, [this] { preferences_.open(); });
    anchor(settings_, width - left - 120, 18, 120, 30);
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
    note_->setText(chooseText);
    refreshTitle();
    follow_.start();
    startPreview();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window_->move(screen->availableGeometry().center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
    log("welcome: shown", LogArea::app);
}

void Welcome::refreshTitle() {
    const QString title =
        titleFor(SourceStatus::current(controller_.refreshing(), QDateTime::currentDateTimeUtc()));
    if (title == title_->text()) return;
    title_->setText(title);
    // A longer title (with a date or a reason) steps its size down rather than being cut at the map.
    QFont font = title_->font();
    font.setPixelSize(titlePixels);
    while (font.pixelSize() > 18 &&
           QFontMetrics(font).horizontalAdvance(title_->text()) > title_->width() - 2)
        font.setPixelSize(font.pixelSize() - 1);
    title_->setFont(font);
}

void Welcome::say(const QString& text) {
    note_->setText(text);
    QPalette palette = note_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    note_->setPalette(palette);
    log("welcome: " + text, LogArea::app);
}

void Welcome::close() {
    follow_.stop();
    if (preview_) preview_->stop();
    if (window_) window_->hide();
}

void Welcome::choose(int tag) {
    const auto mode = Modes::atSegment(tag);
    if (!mode) return;
    // Choosing is the consent: the mode is stored (and the desktop picture set) as in Settings. A wait
    // armed by an earlier choice ends with it.
    controller_.disarm();
    preferences_.chooseMode(*mode);
    switch (*mode) {
    case Mode::wall:
        close();
        controller_.show();
        return;
    case Mode::kiosk:
        // A kiosk wants the full download and its exit chord explained: Settings shows both.
        close();
        preferences_.open();
        return;
    case Mode::saver: {
        controller_.arm();
        const QString minutes = QString::number(static_cast<qint64>(std::trunc(Settings::idleMinutes())));
        say(controller_.hasIdleSource()
                ? "Screen Saver is on: the Sun starts after " + minutes +
                      " minutes without input. You can close this window; Solvane waits in the tray."
                : QStringLiteral("Screen Saver is on, but this desktop does not tell Solvane how long you "
                                 "have been away, so it cannot start on its own. Use Start in the tray."));
        return;
    }
    case Mode::desktop: {
        const Desktop::Applied applied = Desktop::lastApplied();
        if (applied.at && applied.at->secsTo(QDateTime::currentDateTimeUtc()) < 60)
            say(QStringLiteral("Desktop is on: your desktop picture is now the latest still of the Sun. "
                               "You can close this window."));
        else if (!applied.failure.isEmpty())
            say("Desktop is on, but the picture could not be set: " + applied.failure + '.');
        else
            say(QStringLiteral("Desktop is on: your desktop picture becomes today's Sun as soon as its "
                               "first image arrives. You can close this window."));
        return;
    }
    }
}

bool Welcome::eventFilter(QObject* watched, QEvent* event) {
    if (window_ && watched == window_.get()) {
        if (event->type() == QEvent::Resize) place();
        // The window's own close button: the preview stops with it.
        if (event->type() == QEvent::Close && preview_) preview_->stop();
    }
    return QObject::eventFilter(watched, event);
}
