#include "WallView.h"
#include "IsoDate.h"

#include "WallViewSlot.h"

#include "Cache.h"
#include "Caption.h"
#include "Catalog.h"
#include "ClipFrames.h"
#include "Log.h"
#include "LookRules.h"
#include "LookState.h"
#include "Looks.h"
#include "Player.h"
#include "Settings.h"
#include "SolarTime.h"
#include "SourceStatus.h"
#include "Store.h"
#include "StormBadge.h"
#include "XrayStatus.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <algorithm>
#include <utility>

namespace {

constexpr double kCaptionOpacity = 0.85;
constexpr double retrySeconds = 5.0;

Shuffle shuffle() {
    return Settings::shuffle() ? Shuffle::on : Shuffle::off;
}

} // namespace

WallView::WallView(QSize size, Options options, Environment environment, QWidget* parent)
    : QWidget(parent), options_(std::move(options)), env_(std::move(environment)),
      clock_(env_.clock ? env_.clock : std::make_shared<SystemClock>()),
      animator_(*clock_, [this] { animationChanged(); }) {
    clock_->onTick([this] { animator_.tick(); });
    for (auto& slot : slots_)
        slot = std::make_unique<Slot>();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setAccessibleName("The Sun, the last 48 hours");
    for (QLabel** text : {&captionText_, &cardText_}) {
        *text = new QLabel(this);
        (*text)->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    captionText_->setObjectName("caption");
    cardText_->setObjectName("card");
    cardText_->hide();
    resize(size);
    factor_ = TypeScale::factor(size.height(), options_.kind);
    if (options_.attribution) animator_.set(attributionKey, 0.5);
    layoutChrome();
    chooser_ = std::make_unique<ClipChooser>(
        options_.products, options_.skipOnScreen ? Claims::skipped : Claims::shared,
        env_.entries ? env_.entries : ClipChooser::EntrySource([] { return Cache::entries(); }));
    chooser_->reload(shuffle());
    playCurrent();
}

WallView::~WallView() {
    stop();
}

// ---- The playlist ----

void WallView::playCurrent(bool keepInstant) {
    if (stopped_) return;
    cancel(retry_);
    const std::optional<CacheEntry> chosen = chooser_->choose(shuffle());
    if (!chosen) {
        showWaiting();
        retry_ = clock_->after(retrySeconds, [this] {
            retry_ = 0;
            playCurrent();
        });
        return;
    }
    waiting_ = false;
    const CacheEntry entry = *chosen;

    const QString file = env_.clipPath ? env_.clipPath(entry) : Cache::file(entry.video);
    const FileSignature stamp = FileSignature::of(file);
    if (!keepInstant && startOver(entry, file, stamp)) return;

    const int next = 1 - active_;
    // Only a change mid-way through a clip carries its instant over; at a natural end the instant on
    // screen is the clip's last slot, and the next clip would be aligned to its own end and end at once.
    const std::optional<QDateTime> instant = keepInstant ? shownInstant() : std::nullopt;
    releaseSlot(next); // a slot still finishing an interrupted transition
    const bool first = !slots_[static_cast<size_t>(active_)]->player;
    Slot& slot = *slots_[static_cast<size_t>(next)];
    const bool again = takeOverPlayer(next, file, stamp);
    if (!again && !openPlayer(next, entry, file, stamp)) return;
    slot.entry = entry;
    releaseHold();
    const Transition style = Transitions::effective(Settings::transition(), first, reduceMotion());
    applyLook(slot, entry);

    double from = 0.0;
    if (Transitions::keepsInstant(style) && instant) {
        const auto count = SolarTime::slotCount(slot.player->asset().durationSeconds);
        const auto end = parseISO(entry.updated);
        std::optional<int> at;
        if (count && SolarTime::trusted(entry.frameCount, *count) && end)
            at = SolarTime::sameInstant(*instant, *end, *count);
        if (at && count) {
            from = SolarTime::seekSeconds(*at, *count).value_or(0.0);
            log("same instant: " + entry.id + " starts at slot " + QString::number(*at) + " of " +
                    QString::number(*count) + ", " + SolarTime::clock(*instant),
                LogArea::app);
        } else {
            log("same instant: " + entry.id + " does not cover " + SolarTime::clock(*instant) +
                    "; starting at its beginning",
                LogArea::app);
        }
    }
    // A new player starts at the beginning by itself; one playing its file again goes back.
    if (again || from > 0.0) slot.player->seek(from);
    startStep(next, slot.id, entry, style, first);
}

bool WallView::startOver(const CacheEntry& entry, const QString& file, const FileSignature& stamp) {
    // The clip on screen chosen again at its end (one product, or the same clip once more), its file
    // unchanged: it starts over where it is, as a loop does, with its caption but no transition; a fade
    // from its last frame into its first would show a change of clip that is not there.
    Slot& slot = *slots_[static_cast<size_t>(active_)];
    if (running_ || !slot.player || slot.file != file || !stamp.exists || slot.stamp != stamp) return false;
    releaseHold();
    applyLook(slot, entry);
    slot.entry = entry;
    slot.player->seek(0.0);
    if (policyPaused_)
        slot.player->pause();
    else
        slot.player->play(rate);
    clipStarted(entry, slot.id);
    return true;
}

bool WallView::takeOverPlayer(int next, const QString& file, const FileSignature& stamp) {
    // The same file again, unchanged since its player opened it (a single product, or the same clip
    // once more): that player goes back to the start instead of a second decoder opening the file, which
    // costs more than playing several frames. The slot it leaves keeps its last frame for the fade.
    Slot& current = *slots_[static_cast<size_t>(1 - next)];
    if (!current.player || current.file != file || !stamp.exists || current.stamp != stamp) return false;
    Slot& slot = *slots_[static_cast<size_t>(next)];
    if (current.mailbox) {
        std::lock_guard<std::mutex> guard(current.mailbox->lock);
        if (current.mailbox->latest) current.take(std::move(*current.mailbox->latest));
        current.mailbox->latest.reset();
    }
    slot.player = std::move(current.player);
    slot.mailbox = std::move(current.mailbox);
    slot.id = std::exchange(current.id, 0);
    current.still = true;
    slot.file = file;
    slot.stamp = stamp;
    slot.clearFrame();
    return true;
}

bool WallView::openPlayer(int next, const CacheEntry& entry, const QString& file,
                          const FileSignature& stamp) {
    Slot& slot = *slots_[static_cast<size_t>(next)];
    const quint64 id = nextPlayerID_++;
    slot.mailbox = std::make_shared<Mailbox>();
    Player::Callbacks callbacks;
    callbacks.context = this;
    callbacks.conversion = Player::Conversion::bySink;
    callbacks.frame = [mailbox = slot.mailbox, view = this, id](const VideoFrame& frame) {
        std::lock_guard<std::mutex> guard(mailbox->lock);
        mailbox->latest = frame;
        mailbox->seconds = frame.seconds;
        if (mailbox->notified) return;
        mailbox->notified = true;
        QMetaObject::invokeMethod(
            view,
            [view, mailbox, id] {
                double seconds = 0;
                {
                    std::lock_guard<std::mutex> inner(mailbox->lock);
                    mailbox->notified = false;
                    seconds = mailbox->seconds;
                }
                // The clock and the timeline follow the frame they describe, in the same repaint: a
                // separate tick could arrive after the frame's repaint and cost one of its own.
                view->playerTime(id, seconds);
                view->frameArrived();
            },
            Qt::QueuedConnection);
    };
    callbacks.end = [this, id] { clipEnded(id); };
    QString error;
    // At the view's size from the first frame on, so no frame is scaled again while it is drawn.
    std::unique_ptr<Player> player =
        Player::open(file, std::move(callbacks), env_.playerClock, &error, pixelSize());
    if (!player) {
        // A clip that will not decode is passed over; the next attempt moves on to the next clip.
        log("cannot play " + entry.id + ": " + error + "; trying the next clip in 5 s", LogArea::app);
        slot.mailbox.reset();
        retry_ = clock_->after(retrySeconds, [this] {
            retry_ = 0;
            playCurrent();
        });
        return false;
    }
    slot.player = std::move(player);
    slot.id = id;
    slot.file = file;
    slot.stamp = stamp;
    slot.clearFrame();
    return true;
}

void WallView::releaseHold() {
    // A new clip, or the same one from its start, is neither paused nor held by the user.
    paused_ = false;
    heldSlot_.reset();
    cancel(scrubbing_);
    scrubCarry_ = 0;
}

void WallView::applyLook(Slot& slot, const CacheEntry& entry) {
    const Look look = Looks::resolved(
        entry.id, Settings::look(), reduceMotion() ? ReduceMotion::on : ReduceMotion::off, entry.frameCount);
    lookShown_ = look != Look::natural;
    installLook(slot, entry.id, look);
}

void WallView::installLook(Slot& slot, const QString& product, Look look) {
    if (!slot.player) return;
    if (look == Look::natural) {
        slot.player->setFrameHook({});
        return;
    }
    auto state = std::make_shared<LookState>(std::make_shared<ClipFrames>(slot.file), look,
                                             Looks::lagSlots(Settings::runningLagSlots()));
    slot.player->setFrameHook([state](double seconds, const QImage& image) -> std::optional<QImage> {
        return state->render(LookState::Request{image, seconds});
    });
    Q_UNUSED(product);
}

void WallView::startStep(int next, quint64 playerID, const CacheEntry& entry, Transition style, bool first) {
    Slot& slot = *slots_[static_cast<size_t>(next)];
    if (stopped_ || slot.id != playerID || !slot.player) return;
    if (paused_ || policyPaused_)
        slot.player->pause();
    else
        slot.player->play(rate);
    runTransition(active_, next, style, first);
    active_ = next;
    clipStarted(entry, playerID);
}

void WallView::clipStarted(const CacheEntry& entry, quint64 playerID) {
    showCaption(entry, Looks::resolved(entry.id, Settings::look(),
                                       reduceMotion() ? ReduceMotion::on : ReduceMotion::off));
    observed_ = Settings::frameClock() ? playerID : 0;
    log("playing " + (entry.label.isEmpty() ? entry.id : entry.label), LogArea::app);
}

void WallView::runTransition(int from, int to, Transition style, bool first) {
    // A transition still running is brought to its end first, as a replaced animation completes.
    if (animator_.animating(transitionKey)) animator_.set(transitionKey, 0.0);
    running_ = Running{style, first, clock_->now(), from, to};
    const quint64 outgoing = slots_[static_cast<size_t>(from)]->id;
    animator_.animate(transitionKey, 0.0, 1.0, TransitionGeometry::doneAfter(style, first), Curve::linear,
                      0.0, [this, from, outgoing] {
                          running_.reset();
                          // Let go of the old player, unless the slot already holds a newer one.
                          if (slots_[static_cast<size_t>(from)]->id == outgoing) releaseSlot(from);
                          update();
                      });
}

void WallView::releaseSlot(int index) {
    Slot& slot = *slots_[static_cast<size_t>(index)];
    if (slot.player) slot.player->stop();
    slot.player.reset();
    slot.mailbox.reset();
    slot.clearFrame();
    slot.id = 0;
    slot.file.clear();
    slot.stamp = {};
    slot.still = false;
    frameRect_ = QRect();
}

void WallView::animationChanged() {
    // Fades repaint only what they move: chrome its own rectangles, a fading transition the two pictures.
    // A masked transition, or a value set outright, repaints the whole view.
    if (!animator_.animating()) {
        update();
        return;
    }
    QRect dirty;
    if (animator_.animating(transitionKey)) {
        if (!running_ || layerMask(running_->to)) {
            update();
            return;
        }
        for (int i = 0; i < 2; ++i)
            dirty |= frameTarget(i).toAlignedRect();
    } else {
        // The chrome's slow fades step at most 30 times a second: they look the same, and each step
        // repaints and sends the whole band under the picture.
        const double now = clock_->now();
        if (now - chromeStepped_ < chromeStepSeconds) return;
        chromeStepped_ = now;
    }
    if (animator_.animating(cardKey)) dirty |= layout_.card.toAlignedRect();
    if (animator_.animating(captionKey) && badgeRect_)
        dirty |= badgeRect_->toAlignedRect().adjusted(-1, -1, 1, 1);
    for (int key : {scrimKey, captionKey, attributionKey, clockKey, timelineKey, qrKey, flareKey})
        if (animator_.animating(key)) dirty |= chromeBand();
    update(dirty);
}

void WallView::clipEnded(quint64 playerID) {
    if (stopped_) return;
    Slot& slot = *slots_[static_cast<size_t>(active_)];
    if (slot.id != playerID || !slot.player) return;
    if (chooser_->clipEnded(Settings::loops()) == ClipChooser::AtEnd::playAgain) {
        slot.player->seek(0.0);
        slot.player->play(rate);
        return;
    }
    playCurrent();
}

void WallView::showWaiting() {
    waiting_ = true;
    QString name = "the Sun";
    if (!options_.products.isEmpty()) name = Catalog::label(options_.products.first()).value_or("the Sun");
    // A pass that reached no source is not downloading: the waiting line says so rather than promise.
    const QString why = whyNotDownloaded();
    if (Settings::offline())
        captionLine_ = name + "  ·  NOT DOWNLOADED, AND OFFLINE IS ON";
    else if (!why.isEmpty())
        captionLine_ = name + "  ·  NOT DOWNLOADED: " + why.toUpper();
    else
        captionLine_ = name + "  ·  DOWNLOADING…";
    cancel(captionHide_);
    animator_.set(captionKey, kCaptionOpacity);
    animator_.set(scrimKey, 1.0);
    // The waiting line stays up without counting as a clip's caption, so a clock or timeline of a clip
    // that played before does not stay up with it.
    captionUp_ = false;
    refreshTime();
    update();
}

QString WallView::whyNotDownloaded() const {
    if (Settings::offline()) return QStringLiteral("offline is on");
    // NASA SDO's folders give no temperature map: it waits for a mirror, not for the network.
    if (Settings::imageryHost().isEmpty() && !options_.products.isEmpty() &&
        Catalog::needsMirror(options_.products.front()))
        return QStringLiteral("it needs an imagery mirror");
    const auto pass = env_.lastPass ? env_.lastPass() : Cache::lastPass();
    if (!pass || pass->reached) return {};
    return QStringLiteral("can't reach ") + SourceStatus::sourceName(pass->host);
}

// ---- Pausing, stepping, stopping ----

void WallView::setPaused(bool byPolicy) {
    policyPaused_ = byPolicy;
    Player* player = activePlayer();
    if (!player) return;
    if (!byPolicy && !paused_)
        player->play(rate);
    else
        player->pause();
}

void WallView::togglePause() {
    paused_ = !paused_;
    if (Player* player = activePlayer()) {
        if (paused_ || policyPaused_) {
            player->pause();
        } else {
            // Playing on lets go of a held frame, so the clock follows the picture again.
            cancel(scrubbing_);
            heldSlot_.reset();
            scrubCarry_ = 0;
            player->play(rate);
        }
    }
    log(paused_ ? "paused" : "playing on", LogArea::app);
    refreshTime();
}

void WallView::step(int delta) {
    if (stopped_ || !chooser_->step(delta)) return;
    playCurrent(true);
}

void WallView::stop() {
    if (stopped_) return;
    stopped_ = true;
    chooser_->release();
    cancel(captionHide_);
    cancel(cardHide_);
    cancel(cardShow_);
    cancel(scrubbing_);
    cancel(retry_);
    observed_ = 0;
    animator_.clear();
    running_.reset();
    for (int i = 0; i < 2; ++i)
        releaseSlot(i);
    update();
}

// ---- Helpers ----

Player* WallView::activePlayer() const {
    return slots_[static_cast<size_t>(active_)]->player.get();
}

std::optional<int> WallView::activeSlotCount() const {
    const Player* player = activePlayer();
    if (!player) return std::nullopt;
    return SolarTime::slotCount(player->asset().durationSeconds);
}

bool WallView::reduceMotion() const {
    return env_.reduceMotion ? env_.reduceMotion() : false;
}

QSize WallView::pixelSize() const {
    return QSize(std::max(1, qRound(width() * options_.scale)),
                 std::max(1, qRound(height() * options_.scale)));
}

void WallView::cancel(ViewClock::WorkID& id) {
    if (id) clock_->cancel(id);
    id = 0;
}

std::optional<WallView::Shown> WallView::shown() const {
    const Slot& slot = *slots_[static_cast<size_t>(active_)];
    if (!slot.player || !clip_) return std::nullopt;
    const double seconds = slot.player->currentSeconds();
    const auto count = SolarTime::slotCount(slot.player->asset().durationSeconds);
    std::optional<QDateTime> frame;
    if (count && clipEnd_)
        frame = SolarTime::shownTime(*clipEnd_, heldSlot_.value_or(SolarTime::slot(seconds, *count)), *count,
                                     slot.entry.frameCount);
    Provenance provenance = Provenance::make(slot.entry.id, slot.entry.label, slot.entry.frameCount,
                                             slot.entry.integration, frame, count);
    // A frame whose timeline carried flare marks says whose X-ray data they are.
    if (weather_ && !marks_.empty()) provenance.xraySatellite = XrayStatus::satellite(*weather_);
    return Shown{slot.entry, slot.file, seconds, provenance};
}

WallView::State WallView::state() const {
    State s;
    s.captionLine = captionLine_;
    s.clockLine = clockLine_;
    s.attributionText = options_.attribution.value_or(QString());
    if (animator_.target(flareKey) > 0.0) s.flareLine = flareLine_;
    if (badgeRect_) s.badge = badgeLines_;
    s.captionUp = captionUp_;
    s.timeHeld = timeHeld_;
    s.paused = paused_;
    s.policyPaused = policyPaused_;
    s.infoUp = infoUp_;
    s.stopped = stopped_;
    s.waiting = waiting_;
    s.heldSlot = heldSlot_;
    s.scrubCarry = scrubCarry_;
    s.progress = progress_;
    s.active = active_;
    s.index = chooser_->index();
    s.loopsDone = static_cast<int>(chooser_->loopsDone());
    s.clipsShown = clipsShown_;
    s.lastID = chooser_->lastID();
    if (clip_) s.clipID = clip_->id;
    s.link = link_;
    s.lookShown = lookShown_;
    s.playing = activePlayer() && activePlayer()->isPlaying();
    for (size_t i = 0; i < 2; ++i)
        s.hasPlayer[i] = slots_[i]->player != nullptr;
    return s;
}

// ---- Drawing ----

void WallView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    frameRect_ = QRect();
    factor_ = TypeScale::factor(height(), options_.kind);
    layoutChrome();
    for (auto& slot : slots_)
        if (slot->player) slot->player->setTargetSize(pixelSize());
}

void WallView::paintEvent(QPaintEvent* event) {
    ++redraws_;
    struct Layer {
        Slot* slot;
        double opacity;
        std::optional<QPainterPath> mask;
        QRectF target;
    };
    std::vector<Layer> layers;
    for (int i = 0; i < 2; ++i) {
        Slot& slot = *slots_[static_cast<size_t>(i)];
        if (slot.mailbox) {
            std::lock_guard<std::mutex> guard(slot.mailbox->lock);
            if (slot.mailbox->latest) {
                slot.take(std::move(*slot.mailbox->latest));
                slot.mailbox->latest.reset();
            }
        }
        const double opacity = layerOpacity(i);
        if (slot.empty() || opacity <= 0.0) continue;
        layers.push_back(Layer{&slot, opacity, layerMask(i), frameTarget(i)});
    }

    // A single opaque frame on whole pixels hides what lies under it: black goes only around it.
    const QRect before = frameRect_;
    frameRect_ = QRect();
    if (layers.size() == 1) {
        const Layer& only = layers.front();
        const bool opaque = only.slot->decoded || !only.slot->frame.hasAlphaChannel();
        if (only.opacity >= 1.0 && !only.mask && opaque && QRectF(only.target.toRect()) == only.target)
            frameRect_ = only.target.toRect();
    }
    QPainter painter(this);
    for (const QRect& bare : QRegion(rect()).subtracted(QRegion(frameRect_)))
        painter.fillRect(bare, Qt::black);
    const bool drawn = !frameRect_.isEmpty() && writeFrame(painter, *layers.front().slot, event->region());
    for (const Layer& layer : drawn ? std::vector<Layer>{} : layers) {
        // A repaint beside the picture (a control over the black around it) needs none of its pixels.
        if (!event->region().intersects(layer.target.toAlignedRect())) continue;
        painter.save();
        painter.setOpacity(layer.opacity);
        if (layer.mask) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setClipPath(*layer.mask);
        }
        painter.drawImage(layer.target, layer.slot->picture());
        painter.restore();
    }
    // The picture moved while only part of the view was painted: paint the rest next.
    if (frameRect_ != before && !QRegion(rect()).subtracted(event->region()).isEmpty()) update();
    ChromeState chrome;
    chrome.caption = captionLine_;
    chrome.attribution = options_.attribution.value_or(QString());
    chrome.clock = clockLine_;
    chrome.flare = flareLine_;
    chrome.flareOpacity = flareOpacity();
    chrome.marks = marks_;
    chrome.card = cardLines_;
    chrome.scrimOpacity = scrimOpacity();
    QRect pictures;
    for (const Layer& layer : layers)
        pictures |= layer.target.toAlignedRect();
    chrome.scrimWithin = pictures;
    chrome.captionOpacity = captionOpacity();
    chrome.attributionOpacity = animator_.value(attributionKey);
    chrome.clockOpacity = clockOpacity();
    chrome.timelineOpacity = timelineOpacity();
    chrome.cardOpacity = cardOpacity();
    chrome.qrOpacity = qrOpacity();
    if (chrome.qrOpacity > 0.0 && link_) {
        const int side = qRound(layout_.qrCode.width() * options_.scale);
        chrome.qr = qr_.image(link_->toString(QUrl::FullyEncoded).toUtf8(), side);
    }
    WallChrome::paint(painter, layout_, chrome, sizes_, &chromeCache_);
    if (badgeRect_) StormBadge::paint(painter, *badgeRect_, badgeLines_, sizes_, badgeOpacity());
}

double WallView::captionOpacity() const {
    return animator_.value(captionKey);
}
double WallView::scrimOpacity() const {
    return animator_.value(scrimKey);
}
double WallView::clockOpacity() const {
    return animator_.value(clockKey);
}
double WallView::timelineOpacity() const {
    return animator_.value(timelineKey);
}
double WallView::cardOpacity() const {
    return animator_.value(cardKey);
}
double WallView::qrOpacity() const {
    return animator_.value(qrKey);
}
double WallView::flareOpacity() const {
    return animator_.value(flareKey);
}
double WallView::badgeOpacity() const {
    return animator_.value(captionKey);
}
