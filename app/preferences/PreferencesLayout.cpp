// The Preferences window's controls and cards: the "Mode" card on top, two columns of equal width
// below it, and the row of Start, Arm and "Turn Off and Quit" at the bottom. Wiring lives here too, so
// each control's title, tool tip and the setting it writes read in one place.

#include "BuildInfo.h"
#include "Controller.h"
#include "Diagnostics.h"
#include "Look.h"
#include "Platform.h"
#include "Preferences.h"
#include "ScreenGrid.h"
#include "Settings.h"
#include "SpaceWeatherCard.h"
#include "Transition.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
// A titled card: a framed panel whose first line is its title.
QWidget* card(const QString& title, const QList<QWidget*>& rows) {
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("card"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAccessibleName(title);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(6);
    auto* heading = new QLabel(title);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);
    for (QWidget* row : rows)
        layout->addWidget(row);
    return frame;
}

// A secondary note: smaller, wrapped, the palette's placeholder colour.
QLabel* note(const QString& text = {}) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QCheckBox* box(const QString& title, const QString& tip = {}) {
    auto* check = new QCheckBox(title);
    check->setAccessibleName(title);
    if (!tip.isEmpty()) check->setToolTip(tip);
    return check;
}

QWidget* row(const QList<QWidget*>& widgets, bool stretch = true) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    if (stretch) layout->addStretch(1);
    return holder;
}

// A labelled pull-down whose items carry the values they store.
QComboBox* popup(const QString& name, const QList<std::pair<QString, QVariant>>& items,
                 const QString& tip = {}) {
    auto* combo = new QComboBox;
    combo->setAccessibleName(name);
    if (!tip.isEmpty()) combo->setToolTip(tip);
    for (const auto& [title, value] : items)
        combo->addItem(title, value);
    return combo;
}

QSpinBox* stepper(const QString& name, int minimum, int maximum) {
    auto* spin = new QSpinBox;
    spin->setAccessibleName(name);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(1);
    return spin;
}

QLabel* labelFor(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}
} // namespace

void Preferences::build() {
    window_ = std::make_unique<QWidget>();
    window_->setWindowTitle(QStringLiteral("Solvane Settings"));
    window_->setAccessibleName(QStringLiteral("Solvane Settings"));
    auto* stack = new QVBoxLayout(window_.get());
    stack->setContentsMargins(0, 0, 0, 16);
    stack->setSpacing(8);

    // The whole page scrolls as one when the screen is short (1280 x 720 and smaller): the mode on top,
    // then two columns of cards. Only the row of Start, Arm and Turn Off and Quit stays in view.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("cards"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(24, 20, 24, 8);
    pageLayout->setSpacing(12);
    pageLayout->addWidget(buildModeCard());
    auto* columns = new QHBoxLayout;
    columns->setSpacing(12);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    for (QWidget* widget : {buildScreensCard(), buildPlaybackCard(), buildDesktopCard()})
        left->addWidget(widget);
    c_.spaceWeather = new SpaceWeatherCard;
    c_.flareNoticeBox = c_.spaceWeather->flareBox();
    for (QWidget* widget : {buildGeneralCard(), buildStartingCard(), buildImageryCard(),
                            static_cast<QWidget*>(c_.spaceWeather), buildSaverCard()})
        right->addWidget(widget);
    left->addStretch(1);
    right->addStretch(1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    pageLayout->addLayout(columns, 1);
    scroll->setWidget(page);
    stack->addWidget(scroll, 1);
    QWidget* bottom = buildButtonRow();
    bottom->layout()->setContentsMargins(24, 0, 24, 0);
    stack->addWidget(bottom);
    c_.saverSection->setVisible(carriesSaver());
}

QWidget* Preferences::buildModeCard() {
    c_.mode = new QButtonGroup(window_.get());
    c_.mode->setExclusive(true);
    QList<QWidget*> segments;
    for (int position = 0; position < 4; ++position) {
        const Mode mode = *Modes::atSegment(position);
        auto* segment = new QPushButton(Modes::segmentTitle(mode));
        segment->setCheckable(true);
        segment->setAccessibleName("Mode: " + Modes::segmentTitle(mode));
        segment->setMinimumWidth(120);
        c_.mode->addButton(segment, position);
        segments << segment;
    }
    auto* selector = row(segments);
    selector->layout()->setSpacing(0);
    c_.modeHelp = new QLabel;
    c_.modeHelp->setWordWrap(true);
    return card(QStringLiteral("Mode"), {selector, c_.modeHelp});
}

QWidget* Preferences::buildScreensCard() {
    c_.screensGrid = new ScreenGrid;
    c_.screensHint =
        note(QStringLiteral("Tick the products each screen shows, in play order. Nothing ticked means "
                            "all of them; Off leaves that screen alone."));
    return card(QStringLiteral("Screens"), {c_.screensGrid, c_.screensHint});
}

QWidget* Preferences::buildPlaybackCard() {
    c_.shuffleBox = box(QStringLiteral("Play products in random order"));
    c_.loops = stepper(QStringLiteral("Loops per clip"), 1, 20);
    QList<std::pair<QString, QVariant>> transitions;
    for (Transition transition : Transitions::allCases)
        transitions.append({Transitions::label(transition), Transitions::rawValue(transition)});
    c_.transitionPopup = popup(QStringLiteral("Transition between clips"), transitions);
    QList<std::pair<QString, QVariant>> looks;
    for (Look look : Looks::allCases)
        looks.append({Looks::label(look), Looks::rawValue(look)});
    c_.lookPopup =
        popup(QStringLiteral("Look"), looks,
              QStringLiteral("How the picture is drawn. Press L on a Wall to change it. A visualization, "
                             "not a calibrated radiance."));
    c_.lagPopup =
        popup(QStringLiteral("Running difference"),
              {{QStringLiteral("20 minutes"), 1}, {QStringLiteral("60 minutes"), 3}},
              QStringLiteral("How far back Running difference looks, in minutes of the Sun (one or three "
                             "frames)."));
    c_.captionUTCBox = box(QStringLiteral("Caption times in UTC, not local time"));
    c_.frameClockBox =
        box(QStringLiteral("Show the time of each frame"),
            QStringLiteral("The UTC time of the frame on screen and a 48-hour timeline, under the "
                           "caption."));
    return card(
        QStringLiteral("Playback"),
        {c_.shuffleBox, row({labelFor(QStringLiteral("Loops per clip"), c_.loops), c_.loops}),
         row({labelFor(QStringLiteral("Transition between clips"), c_.transitionPopup), c_.transitionPopup}),
         row({labelFor(QStringLiteral("Look"), c_.lookPopup), c_.lookPopup}),
         row({labelFor(QStringLiteral("Running difference"), c_.lagPopup), c_.lagPopup}), c_.captionUTCBox,
         c_.frameClockBox});
}

QWidget* Preferences::buildDesktopCard() {
    c_.desktopBox = box(QStringLiteral("Set the desktop picture to the latest still"));
    c_.desktopNow = new QPushButton(QStringLiteral("Update now"));
    c_.desktopNow->setAccessibleName(QStringLiteral("Update the desktop picture now"));
    c_.liveBox = box(
        QStringLiteral("Play the Sun beneath icons and windows"),
        QStringLiteral("Desktop mode only. The clip plays behind your windows and pauses when covered, on "
                       "battery and in power-saver mode."));
    c_.liveNote = note(Platform::liveDesktopUnavailable());
    c_.liveNote->setAccessibleName(QStringLiteral("No live desktop"));
    c_.batteryBox = box(QStringLiteral("Pause on battery"));
    c_.lockScreenBox = box(QStringLiteral("Show the Sun on the lock screen"),
                           QStringLiteral("The lock screen shows the first screen's desktop picture while "
                                          "Solvane sets it; yours comes back when this is off."));
    c_.lockScreenNote = note(Platform::lockScreenUnavailable());
    c_.lockScreenNote->setAccessibleName(QStringLiteral("No lock-screen picture"));
    c_.desktopNote =
        note(QStringLiteral("Rotates through each screen's ticked products, one step per update. Your "
                            "previous picture comes back when this is off."));
    auto* battery = row({c_.batteryBox});
    battery->layout()->setContentsMargins(22, 0, 0, 0);
    return card(QStringLiteral("Desktop picture"),
                {row({c_.desktopBox, c_.desktopNow}), c_.liveBox, c_.liveNote, battery, c_.lockScreenBox,
                 c_.lockScreenNote, c_.desktopNote});
}

QWidget* Preferences::buildGeneralCard() {
    c_.loginBox = box(QStringLiteral("Open Solvane at login"));
    // A build without a web host of its own shows the product's name instead.
    const QString maker = Settings::storeHost().isEmpty() ? QStringLiteral("Solvane") : Settings::storeHost();
    c_.attributionBox = box("Show " + maker + " on screen");
    c_.statusIconBox =
        box(QStringLiteral("Show a live Sun in the tray"),
            QStringLiteral("The tray Sun shows the latest picture, refreshed every 20 minutes. Off by "
                           "default."));
    c_.presetNote = note();
    return card(QStringLiteral("General"), {c_.loginBox, c_.attributionBox, c_.statusIconBox, c_.presetNote});
}

QWidget* Preferences::buildStartingCard() {
    c_.idle = stepper(QStringLiteral("Minutes without input before starting"), 1, 120);
    c_.idleRow = row({new QLabel(QStringLiteral("Start after")), c_.idle,
                      new QLabel(QStringLiteral("minutes without input"))});
    c_.lockBox = box(QStringLiteral("Lock the screen when dismissed"));
    c_.lockNote = note(QStringLiteral("Only Screen Saver mode locks the screen."));
    c_.armNote = note();
    c_.idleNote = note(QStringLiteral(
        "This desktop does not tell Solvane how long you have been away, so Screen Saver mode and Arm "
        "never start on their own here. Use Start instead."));
    c_.idleNote->setAccessibleName(QStringLiteral("No idle time"));
    return card(QStringLiteral("Starting"), {c_.idleRow, c_.lockBox, c_.lockNote, c_.armNote, c_.idleNote});
}

QWidget* Preferences::buildImageryCard() {
    c_.onlineRadio = new QRadioButton(QStringLiteral("Keep imagery updated"));
    c_.refreshPopup = popup(QStringLiteral("How often to update"),
                            {{QStringLiteral("once a day"), 1440}, {QStringLiteral("twice a day"), 720}});
    c_.offlineRadio = new QRadioButton(QStringLiteral("Offline: never use the network"));
    c_.onlineRadio->setAccessibleName(c_.onlineRadio->text());
    c_.offlineRadio->setAccessibleName(c_.offlineRadio->text());
    auto* network = new QButtonGroup(window_.get());
    network->addButton(c_.onlineRadio);
    network->addButton(c_.offlineRadio);
    c_.primeButton = new QPushButton(QStringLiteral("Download all imagery now"));
    c_.primeButton->setAccessibleName(c_.primeButton->text());
    c_.busy = new QProgressBar;
    c_.busy->setAccessibleName(QStringLiteral("Download progress"));
    c_.busy->setMaximumWidth(120);
    c_.busy->setTextVisible(false);
    c_.busy->hide();
    c_.primeNote = note();
    c_.primeNote->setAccessibleName(QStringLiteral("Download of all imagery"));
    c_.cacheStatus = note();
    c_.cacheStatus->setAccessibleName(QStringLiteral("Downloaded imagery"));
    c_.tryAgain = new QPushButton(QStringLiteral("Try Again"));
    c_.tryAgain->setAccessibleName(QStringLiteral("Try Again"));
    c_.tryAgain->setToolTip(QStringLiteral("Asks the imagery source again now, as the hourly check does."));
    c_.tryAgain->hide();
    c_.cadenceNote = note();
    c_.cadenceNote->setAccessibleName(QStringLiteral("How often imagery is fetched"));
    auto* refresh = row({c_.refreshPopup});
    refresh->layout()->setContentsMargins(22, 0, 0, 0);
    auto* cadence = row({c_.cadenceNote}, false);
    cadence->layout()->setContentsMargins(22, 0, 0, 0);
    c_.followBox = box(
        QStringLiteral("Follow NASA as it publishes (new images every 20 minutes while the Sun is shown)"),
        QStringLiteral("Reads only what NASA SDO added since the last look, for the products on screen."));
    c_.meteredBox =
        box(QStringLiteral("Also on a metered network"),
            QStringLiteral("Without this, a metered connection (a phone's hotspot, a mobile plan) gets "
                           "only the newest images, once."));
    c_.sharperBox = box(QStringLiteral("Sharper clips on large screens (about four times the download)"),
                        QStringLiteral("2048-pixel clips for screens wider than 1440 pixels."));
    c_.costNote = note();
    c_.costNote->setAccessibleName(QStringLiteral("What the imagery costs"));
    auto* following = new QWidget;
    auto* followingLayout = new QVBoxLayout(following);
    followingLayout->setContentsMargins(22, 0, 0, 0);
    followingLayout->setSpacing(6);
    for (QWidget* widget : {static_cast<QWidget*>(c_.followBox), static_cast<QWidget*>(c_.meteredBox),
                            static_cast<QWidget*>(c_.sharperBox), static_cast<QWidget*>(c_.costNote)})
        followingLayout->addWidget(widget);

    c_.directRadio = new QRadioButton(QStringLiteral("NASA SDO, direct"));
    c_.mirrorRadio = new QRadioButton(QStringLiteral("An imagery mirror"));
    c_.directRadio->setAccessibleName(QStringLiteral("Imagery source: NASA SDO, direct"));
    c_.mirrorRadio->setAccessibleName(QStringLiteral("Imagery source: an imagery mirror"));
    auto* source = new QButtonGroup(window_.get());
    source->addButton(c_.directRadio);
    source->addButton(c_.mirrorRadio);
    c_.mirrorHost = new QLineEdit;
    c_.mirrorHost->setPlaceholderText(QStringLiteral("mirror host"));
    c_.mirrorHost->setAccessibleName(QStringLiteral("Mirror host"));
    c_.mirrorUse = new QPushButton(QStringLiteral("Check and Use"));
    c_.mirrorUse->setAccessibleName(QStringLiteral("Check and Use"));
    c_.mirrorUse->setToolTip(
        QStringLiteral("Reads the mirror's imagery index and saves the host only when it lists usable "
                       "products."));
    c_.sourceNote = note();
    c_.sourceNote->setAccessibleName(QStringLiteral("Imagery source"));
    auto* mirror = row({c_.mirrorRadio, c_.mirrorHost, c_.mirrorUse}, false);
    auto* sourceTitle = new QLabel(QStringLiteral("Imagery from"));
    return card(QStringLiteral("Imagery"),
                {c_.onlineRadio, refresh, cadence, following, c_.offlineRadio, row({c_.primeButton, c_.busy}),
                 c_.primeNote, c_.cacheStatus, row({c_.tryAgain}), sourceTitle, row({c_.directRadio}), mirror,
                 c_.sourceNote});
}

QWidget* Preferences::buildSaverCard() {
    c_.installButton = new QPushButton(QStringLiteral("Add to XScreenSaver…"));
    c_.installButton->setAccessibleName(QStringLiteral("Add to XScreenSaver"));
    c_.installNote =
        note(QStringLiteral("Adds Solvane to the screen savers in XScreenSaver. Screen Saver mode here "
                            "covers every screen."));
    c_.saverSection = card(QStringLiteral("System screen saver"), {row({c_.installButton}), c_.installNote});
    return c_.saverSection;
}

QWidget* Preferences::buildButtonRow() {
    c_.startButton = new QPushButton;
    c_.armButton = new QPushButton(QStringLiteral("Arm"));
    c_.quitButton = new QPushButton(QStringLiteral("Turn Off and Quit"));
    c_.quitButton->setToolTip(
        QStringLiteral("Put the desktop picture back, stop opening at login, and quit."));
    c_.armButton->setAccessibleName(QStringLiteral("Arm"));
    c_.quitButton->setAccessibleName(QStringLiteral("Turn Off and Quit"));
    c_.startButton->setDefault(true);
    c_.versionLabel = note(QString::fromUtf8(BuildInfo::version));
    c_.versionLabel->setWordWrap(false);
    c_.versionLabel->setAccessibleName(QStringLiteral("Version"));
    auto* bottom = new QWidget;
    auto* layout = new QHBoxLayout(bottom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(c_.startButton);
    layout->addWidget(c_.armButton);
    layout->addWidget(c_.quitButton);
    layout->addStretch(1);
    layout->addWidget(c_.versionLabel);
    return bottom;
}

void Preferences::wire() {
    connect(c_.mode, &QButtonGroup::idClicked, this, [this] { modeChanged(); });
    connect(c_.screensGrid, &ScreenGrid::changed, this, &Preferences::save);
    connect(c_.idle, &QSpinBox::valueChanged, this, [this] {
        save();
        if (!loading_) applyMode();
    });
    connect(c_.loops, &QSpinBox::valueChanged, this, &Preferences::save);
    for (QCheckBox* check :
         {c_.lockBox, c_.attributionBox, c_.captionUTCBox, c_.frameClockBox, c_.shuffleBox, c_.batteryBox})
        connect(check, &QCheckBox::toggled, this, &Preferences::save);
    connect(c_.spaceWeather, &SpaceWeatherCard::changed, this, &Preferences::save);
    connect(c_.loginBox, &QCheckBox::toggled, this, &Preferences::loginToggled);
    for (QCheckBox* check : {c_.followBox, c_.meteredBox, c_.sharperBox})
        connect(check, &QCheckBox::toggled, this, &Preferences::saveFollowing);
    connect(c_.statusIconBox, &QCheckBox::toggled, this, [this] {
        if (loading_) return;
        save();
        controller_.statusChanged();
    });
    connect(c_.desktopBox, &QCheckBox::toggled, this, [this](bool on) {
        if (loading_) return;
        save();
        if (on)
            controller_.applyDesktopPicture();
        else if (!Settings::desktopActive())
            controller_.restoreDesktopPicture();
        applyMode();
    });
    connect(c_.lockScreenBox, &QCheckBox::toggled, this, [this] {
        if (loading_) return;
        save();
        env_.lockScreenChanged();
    });
    connect(c_.liveBox, &QCheckBox::toggled, this, [this] {
        if (loading_) return;
        save();
        controller_.syncLiveDesktop();
        applyMode();
    });
    connect(c_.onlineRadio, &QRadioButton::toggled, this, &Preferences::networkChanged);
    for (QComboBox* combo : {c_.refreshPopup, c_.transitionPopup, c_.lookPopup, c_.lagPopup})
        connect(combo, &QComboBox::currentIndexChanged, this, &Preferences::save);
    connect(c_.primeButton, &QPushButton::clicked, this, &Preferences::prime);
    connect(c_.tryAgain, &QPushButton::clicked, this, [this] {
        controller_.tryAgain();
        refreshCacheStatus();
    });
    connect(c_.directRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on) sourceChanged();
    });
    connect(c_.mirrorRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on) sourceChanged();
    });
    connect(c_.mirrorUse, &QPushButton::clicked, this, &Preferences::checkMirror);
    connect(c_.mirrorHost, &QLineEdit::returnPressed, this, &Preferences::checkMirror);
    connect(c_.desktopNow, &QPushButton::clicked, this, &Preferences::updateDesktopNow);
    connect(c_.installButton, &QPushButton::clicked, this, [this] {
        const QString outcome = controller_.installSaver();
        if (!outcome.isEmpty()) c_.installNote->setText(outcome);
    });
    connect(c_.startButton, &QPushButton::clicked, this, [this] {
        if (Settings::mode() == Mode::desktop) {
            updateDesktopNow();
            return;
        }
        controller_.show();
        if (controller_.showing()) hide();
    });
    connect(c_.armButton, &QPushButton::clicked, this, [this] {
        hide();
        controller_.arm();
    });
    connect(c_.quitButton, &QPushButton::clicked, this, &Preferences::deactivate);
}
