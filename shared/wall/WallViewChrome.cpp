// The chrome half of WallView: caption, frame clock and timeline with its flare marks, scrubbing, the card
// and the QR plate.

#include "IsoDate.h"
#include "WallView.h"

#include "WallViewSlot.h"

#include "Caption.h"
#include "GeomagneticStatus.h"
#include "Log.h"
#include "LookRules.h"
#include "Player.h"
#include "Settings.h"
#include "SolarTime.h"
#include "Store.h"
#include "StormBadge.h"
#include "XrayStatus.h"

#include <QLabel>
#include <QLocale>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kCaptionOpacity = 0.85;
constexpr double captionFadeSeconds = 1.2;
constexpr double captionUpSeconds = 6.0;
constexpr double lookCaptionSeconds = 4.0;
constexpr double scrubEndSeconds = 3.0;
constexpr double infoAfterSeconds = 0.5;
constexpr double infoForSeconds = 12.0;
constexpr double kClockOpacity = 0.85;
constexpr double kTimelineOpacity = 0.7;
constexpr double kQrPlateOpacity = 0.88;
constexpr double kFlareOpacity = 0.85;
// Quick: at the clip's pace (one 20-minute frame is a ninth of a second) a slow fade would name the
// flare for hours of the Sun after it ended.
constexpr double flareFadeSeconds = 0.2;

// The caption's name part for the look asked for: a screen standing in with another product says so
// rather than passing it off as its own, and a difference look on a single frame says it shows Natural.
QString captionNameFor(const CacheEntry& entry, const QStringList& wanted, Look asked,
                       const std::function<QString()>& why) {
    const QString name =
        ClipChooser::standIn(wanted, entry, why).value_or(Caption::productName(entry.id, entry.label));
    const QString note = Looks::singleFrameNote(asked, entry.frameCount);
    return note.isEmpty() ? Caption::name(name, asked) : name + QStringLiteral("  \u00B7  ") + note;
}

TimeBasis captionBasis() {
    return Settings::captionUTC() ? TimeBasis::utc : TimeBasis::local;
}
} // namespace

QString WallView::pretty(const std::optional<QString>& iso) {
    const auto date = iso ? parseISO(*iso) : std::nullopt;
    if (!date) return "UNKNOWN";
    return Caption::time(*date, QLocale(), captionBasis(), std::nullopt, QDateTime::currentDateTimeUtc());
}

void WallView::showCaption(const CacheEntry& entry, Look look) {
    link_ = Store::link(entry, Settings::storeHost());
    refreshQR();
    captionName_ = captionNameFor(entry, options_.products, look, [this] { return whyNotDownloaded(); });
    const QString when = pretty(entry.updated);
    clip_ = entry;
    clipChecked_ = false;
    clockShown_ = true;
    clipEnd_ = parseISO(entry.updated);
    progress_ = 0;
    clockLine_.clear();
    animator_.set(flareKey, 0.0);
    if (flareText_) flareText_->hide();
    reloadSpaceWeather();
    layoutChrome();
    captionLine_ = Caption::shown(captionName_, when);
    captionText_->setAccessibleName(Caption::spoken(captionName_, when));

    cancel(captionHide_);
    ++clipsShown_;
    if (options_.kind == ViewKind::mini) {
        // The mini player is too small for the caption over its picture: only the frame clock shows.
        animator_.animate(captionKey, 0.0, captionFadeSeconds);
        animator_.animate(scrimKey, 0.0, captionFadeSeconds);
        captionUp_ = false;
        refreshTime();
        return;
    }
    animator_.animate(captionKey, kCaptionOpacity, captionFadeSeconds);
    animator_.animate(scrimKey, 1.0, captionFadeSeconds);
    captionUp_ = true;
    refreshTime();

    if (infoUp_) setCard();
    const qint64 every = Settings::infoEvery();
    if (every > 0 && clipsShown_ % every == 0) {
        cancel(cardShow_);
        cardShow_ = clock_->after(infoAfterSeconds, [this] {
            cardShow_ = 0;
            showInfo(infoForSeconds);
        });
    }
    captionHide_ = clock_->after(captionUpSeconds, [this] {
        captionHide_ = 0;
        animator_.animate(captionKey, 0.0, captionFadeSeconds);
        animator_.animate(scrimKey, 0.0, captionFadeSeconds);
        captionUp_ = false;
        refreshTime();
    });
}

void WallView::showSlot(int slot, int slotCount) {
    if (!clip_) return;
    const QString caption = captionLine_;
    if (!clipChecked_) {
        clipChecked_ = true;
        if (!SolarTime::trusted(clip_->frameCount, slotCount)) {
            log("clock: " + clip_->id + " frame_count " + QString::number(clip_->frameCount.value_or(0)) +
                    " is more than its " + QString::number(slotCount) + " slots; showing the date only",
                LogArea::app);
            const QString day = clipEnd_ ? Caption::day(*clipEnd_, QLocale(), captionBasis(), std::nullopt,
                                                        QDateTime::currentDateTimeUtc())
                                         : QString("UNKNOWN");
            captionLine_ = Caption::shown(captionName_, day);
            captionText_->setAccessibleName(Caption::spoken(captionName_, day));
            clockShown_ = false;
        } else if (!clipEnd_) {
            log("clock: " + clip_->id + " has no end time; showing no frame time", LogArea::app);
            clockShown_ = false;
        }
    }
    // A clip of one image shows that image's time in every slot, and its playhead stays at it.
    const bool single = clip_->frameCount == 1;
    if (clockShown_ && clipEnd_) {
        const auto frame = SolarTime::shownTime(*clipEnd_, slot, slotCount, clip_->frameCount);
        if (frame) {
            clockLine_ = SolarTime::clock(*frame);
            refreshTime();
        }
        if (options_.kind != ViewKind::mini) showFlare(frame);
    }
    progress_ = single ? 1.0 : SolarTime::progress(slot, slotCount);
    layoutChrome();
    // An open card follows the frame on screen, at the slot the clock shows.
    if (infoUp_) setCard(slot);
    // The clock and the timeline are redrawn only while they show; the next frame brings the picture.
    if (captionLine_ != caption)
        update();
    else if (clockOpacity() > 0.0 || timelineOpacity() > 0.0)
        update(chromeBand());
}

void WallView::playerTime(quint64 playerID, double seconds) {
    if (stopped_ || playerID == 0 || playerID != observed_ || heldSlot_) return;
    if (const auto count = activeSlotCount()) showSlot(SolarTime::slot(seconds, *count), *count);
}

void WallView::refreshTime() {
    // The mini player's clock stays up: it is all the chrome there.
    const bool mini = options_.kind == ViewKind::mini;
    const bool visible = Settings::frameClock() && clipEnd_ && !clockLine_.isEmpty() &&
                         (mini || captionUp_ || timeHeld_ || paused_ || scrubbing_ != 0);
    const double target = visible ? kClockOpacity : 0.0;
    if (animator_.target(clockKey) == target) return;
    const double seconds = captionUp_ ? 0.3 : 1.2;
    animator_.animate(clockKey, target, seconds);
    animator_.animate(timelineKey, captionUp_ && visible ? kTimelineOpacity : 0.0, seconds);
}

void WallView::showTime(bool held) {
    if (timeHeld_ == held) return;
    timeHeld_ = held;
    refreshTime();
}

void WallView::scrub(double byPoints) {
    Player* player = activePlayer();
    const auto count = activeSlotCount();
    if (stopped_ || !player || !count) return;
    const int current = heldSlot_.value_or(SolarTime::slot(player->currentSeconds(), *count));
    if (scrubbing_ == 0 && !paused_) player->pause();
    cancel(scrubbing_);
    scrubbing_ = clock_->after(scrubEndSeconds, [this] {
        scrubbing_ = 0;
        heldSlot_.reset();
        scrubCarry_ = 0;
        if (Player* p = activePlayer(); p && !paused_ && !policyPaused_) p->play(rate);
        refreshTime();
    });
    const double total = byPoints + scrubCarry_;
    const int steps = static_cast<int>(std::trunc(total / pointsPerSlot));
    scrubCarry_ = total - pointsPerSlot * steps;
    const int target = std::clamp(current + steps, 0, *count - 1);
    heldSlot_ = target;
    player->seek(SolarTime::seekSeconds(target, *count).value_or(0.0));
    refreshTime();
    showSlot(target, *count);
}

void WallView::stepFrame(int delta) {
    Player* player = activePlayer();
    const auto count = activeSlotCount();
    if (stopped_ || !player || !count) return;
    const int current = heldSlot_.value_or(SolarTime::slot(player->currentSeconds(), *count));
    cancel(scrubbing_);
    scrubCarry_ = 0;
    const int target = std::clamp(current + delta, 0, *count - 1);
    paused_ = true;
    player->pause();
    heldSlot_ = target;
    player->seek(SolarTime::seekSeconds(target, *count).value_or(0.0));
    refreshTime();
    showSlot(target, *count);
}

void WallView::cycleLook() {
    if (stopped_ || !clip_) return;
    const QString product = clip_->id;
    const ReduceMotion motion = reduceMotion() ? ReduceMotion::on : ReduceMotion::off;
    const Look current = Looks::resolved(product, Settings::look(), motion);
    const Look next = Looks::next(product, current, motion);
    Settings::setLook(next);
    lookShown_ = Looks::resolved(product, next, motion, clip_->frameCount) != Look::natural;
    // The look is swapped only on the clip on screen, keeping its player and position.
    auto& slot = slots_[static_cast<size_t>(active_)];
    if (slot->player) {
        installLook(*slot, product, Looks::resolved(product, next, motion, clip_->frameCount));
        if (paused_ || heldSlot_) slot->player->seek(slot->player->currentSeconds());
    }
    captionName_ = captionNameFor(*clip_, options_.products, next, [this] { return whyNotDownloaded(); });
    const QString when = pretty(clip_->updated);
    captionLine_ = Caption::shown(captionName_, when);
    captionText_->setAccessibleName(Caption::spoken(captionName_, when));
    cancel(captionHide_);
    animator_.animate(captionKey, kCaptionOpacity, 0.3);
    animator_.animate(scrimKey, 1.0, 0.3);
    captionUp_ = true;
    refreshTime();
    captionHide_ = clock_->after(lookCaptionSeconds, [this] {
        captionHide_ = 0;
        animator_.animate(captionKey, 0.0, captionFadeSeconds);
        animator_.animate(scrimKey, 0.0, captionFadeSeconds);
        captionUp_ = false;
        refreshTime();
    });
    log("look: " + Looks::rawValue(next) + " on " + product, LogArea::app);
}

void WallView::toggleInfo() {
    if (infoUp_)
        hideInfo();
    else
        showInfo(std::nullopt);
}

void WallView::setCard(std::optional<int> atSlot) {
    auto now = shown();
    if (now && atSlot && clipEnd_ && now->provenance.slotCount)
        now->provenance.frame =
            SolarTime::shownTime(*clipEnd_, *atSlot, *now->provenance.slotCount, now->entry.frameCount);
    QStringList lines = now ? now->provenance.lines() : QStringList{};
    if (now && weather_) {
        // The space-weather lines end the card, the X-ray source last, whether or not the provenance
        // named it.
        if (now->provenance.xraySatellite) lines.removeLast();
        const QDateTime utc = QDateTime::currentDateTimeUtc();
        QStringList xray = XrayStatus::cardLines(*weather_, utc);
        const QString source = xray.takeLast();
        lines << xray << GeomagneticStatus::cardLines(weather_->geomagnetic, utc) << source;
    }
    // Asked again with every frame while the card is up: unchanged lines draw nothing.
    if (lines == cardLines_ && !cardLines_.isEmpty()) return;
    cardLines_ = lines;
    cardText_->setAccessibleName(lines.join(QLatin1Char('\n')));
    layoutChrome();
    update(); // new lines in a card of the same size
}

void WallView::showInfo(std::optional<double> forSeconds) {
    if (stopped_ || options_.kind == ViewKind::mini) return;
    setCard();
    infoUp_ = true;
    cardText_->show();
    cancel(cardHide_);
    animator_.animate(cardKey, 1.0, 0.4);
    if (forSeconds)
        cardHide_ = clock_->after(*forSeconds, [this] {
            cardHide_ = 0;
            hideInfo();
        });
}

void WallView::hideInfo() {
    cancel(cardHide_);
    infoUp_ = false;
    cardText_->hide();
    animator_.animate(cardKey, 0.0, 0.8);
}

void WallView::refreshQR() {
    const bool shown = options_.attribution.has_value() && link_.has_value();
    animator_.set(qrKey, shown ? kQrPlateOpacity : 0.0);
    layoutChrome();
}

void WallView::layoutChrome() {
    const double f = factor_;
    sizes_.caption = TypeScale::points(TypeScale::caption, f);
    sizes_.attribution = TypeScale::points(TypeScale::attribution, f);
    sizes_.clock = TypeScale::points(TypeScale::clock, f);
    sizes_.captionHeight = TypeScale::captionHeight * f;
    sizes_.attributionHeight = TypeScale::attributionHeight * f;
    sizes_.clockHeight = TypeScale::clockHeight * f;
    sizes_.qrGap = TypeScale::qrGap * f;
    sizes_.timeline = std::max(TypeScale::timeline * f, 1.0);
    sizes_.playhead = std::max(TypeScale::playhead * f, 2.0);
    const QSizeF card = WallChrome::cardSize(cardLines_, sizes_, width() * 0.6);
    const ChromeLayout before = layout_;
    layout_ = WallChrome::layout(QSizeF(size()), sizes_, progress_, animator_.target(qrKey) > 0.0, card);
    // The mini player's clock is its only text: it may take the width a wall gives the caption.
    if (options_.kind == ViewKind::mini) layout_.clock.setLeft(std::min(layout_.clock.left(), sizes_.qrGap));
    captionText_->setGeometry(layout_.caption.toAlignedRect());
    if (flareText_) flareText_->setGeometry(layout_.flare.toAlignedRect());
    for (size_t i = 0; i < markTexts_.size() && i < marks_.size(); ++i)
        markTexts_[i]->setGeometry(WallChrome::markRect(layout_.track, marks_[i], sizes_).toAlignedRect());
    cardText_->setGeometry(layout_.card.toAlignedRect());
    placeBadge();
    // Anything but the playhead moving on repaints the whole view; the playhead goes with the clock.
    ChromeLayout moved = layout_;
    moved.playhead = before.playhead;
    if (!(moved == before)) update();
}

QRect WallView::chromeBand() const {
    const ChromeLayout& l = layout_;
    // The track's band reaches up to the tallest flare mark.
    const QRectF marks = l.track.adjusted(0, -2.0 * sizes_.playhead, 0, 0);
    const QRectF band =
        l.scrim | l.caption | l.flare | l.attribution | l.clock | l.track | marks | l.playhead | l.qrPlate;
    const int margin = qCeil(WallChrome::textMargin) + 1;
    return band.toAlignedRect().adjusted(-margin, -margin, margin, margin) & rect();
}

std::optional<QDateTime> WallView::shownInstant() const {
    const Slot& slot = *slots_[static_cast<size_t>(active_)];
    if (!slot.player || !clipEnd_) return std::nullopt;
    const auto count = SolarTime::slotCount(slot.player->asset().durationSeconds);
    if (!count || !SolarTime::trusted(slot.entry.frameCount, *count)) return std::nullopt;
    return SolarTime::frameTime(
        *clipEnd_, heldSlot_.value_or(SolarTime::slot(slot.player->currentSeconds(), *count)), *count);
}

void WallView::reloadSpaceWeather() {
    weather_ = env_.spaceWeather ? env_.spaceWeather() : weatherFile_.current();
    placeMarks();
    if (infoUp_) setCard();
    // Only current scales make a badge: an old storm is not news on a public screen.
    const QStringList lines =
        weather_ && options_.kind == ViewKind::full && Settings::spaceWeatherBadge()
            ? GeomagneticStatus::badgeLines(weather_->geomagnetic, QDateTime::currentDateTimeUtc())
            : QStringList();
    if (lines != badgeLines_) {
        badgeLines_ = lines;
        placeBadge();
        update();
    }
}

void WallView::placeBadge() {
    if (badgeLines_.isEmpty() && !badgeRect_) return; // the common case, on every frame's layout
    const auto before = badgeRect_;
    badgeRect_ = StormBadge::place(QSizeF(size()), frameTarget(active_),
                                   StormBadge::size(badgeLines_, sizes_), sizes_.qrGap);
    if (badgeRect_ && !badgeText_) {
        badgeText_ = new QLabel(this);
        badgeText_->setObjectName(QStringLiteral("spaceWeatherBadge"));
        badgeText_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (badgeText_) {
        badgeText_->setAccessibleName(badgeLines_.join(QStringLiteral(", ")));
        if (badgeRect_) badgeText_->setGeometry(badgeRect_->toAlignedRect());
        badgeText_->setVisible(badgeRect_.has_value());
    }
    if (before != badgeRect_) update();
}

void WallView::placeMarks() {
    std::vector<FlareMarks::Mark> marks;
    const auto count = activeSlotCount();
    // Marks need the times the timeline stands for: a clip whose frame clock is not trusted gets none.
    if (weather_ && clip_ && clipEnd_ && count && SolarTime::trusted(clip_->frameCount, *count))
        marks = FlareMarks::marks(weather_->flares, *clipEnd_, *count, SolarTime::cadence);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool same =
        marks.size() == marks_.size() &&
        std::equal(marks.begin(), marks.end(), marks_.begin(), [&now](const auto& a, const auto& b) {
            return a.fraction == b.fraction &&
                   FlareMarks::caption(a.flare, now) == FlareMarks::caption(b.flare, now);
        });
    if (same) return;
    marks_ = std::move(marks);
    for (QLabel* text : markTexts_)
        delete text;
    markTexts_.clear();
    for (const FlareMarks::Mark& mark : marks_) {
        auto* text = new QLabel(this);
        text->setObjectName(QStringLiteral("flareMark"));
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
        text->setAccessibleName(mark.flare.peakClass.trimmed());
        text->setAccessibleDescription(FlareMarks::caption(mark.flare, now));
        text->setGeometry(WallChrome::markRect(layout_.track, mark, sizes_).toAlignedRect());
        text->show();
        markTexts_.push_back(text);
    }
    update(chromeBand());
}

void WallView::showFlare(const std::optional<QDateTime>& frame) {
    const auto mark = frame ? FlareMarks::under(marks_, *frame, SolarTime::cadence) : std::nullopt;
    if (mark) {
        const QString line = FlareMarks::caption(mark->flare, QDateTime::currentDateTimeUtc());
        if (!flareText_) {
            flareText_ = new QLabel(this);
            flareText_->setObjectName(QStringLiteral("flare"));
            flareText_->setAttribute(Qt::WA_TransparentForMouseEvents);
            flareText_->setGeometry(layout_.flare.toAlignedRect());
        }
        flareText_->setAccessibleName(line);
        flareText_->show();
        if (line != flareLine_) {
            flareLine_ = line;
            update(chromeBand());
        }
        if (animator_.target(flareKey) != kFlareOpacity) animator_.animate(flareKey, kFlareOpacity, 0.3);
        return;
    }
    // The line names the flare only while the frame on screen lies within it: held on, it named a flare
    // hours of the clip after it had ended.
    if (animator_.target(flareKey) <= 0.0) return;
    animator_.animate(flareKey, 0.0, flareFadeSeconds);
    if (flareText_) flareText_->hide();
}
