#include "WallFixture.h"

#include <QFile>
#include <cstdio>

#include "Settings.h"
#include "SolarTime.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineF>
#include <QScreen>
#include <QWindow>
#include <QtMath>
#include <algorithm>

using State = WallView::State;

TEST_F(WallFixture, WaitsWithTheOfflineCaptionAndRetriesEveryFiveSeconds) {
    Settings::setOffline(true);
    CapturedLog captured;
    auto view = makeView({}, {"171"});
    EXPECT_TRUE(view->state().waiting);
    EXPECT_EQ(view->state().captionLine,
              QString::fromUtf8("AIA 171 Å  ·  NOT DOWNLOADED, AND OFFLINE IS ON"));
    EXPECT_DOUBLE_EQ(view->captionOpacity(), 0.85);
    EXPECT_DOUBLE_EQ(view->scrimOpacity(), 1.0);
    clock->advance(10.5);
    const QByteArray log = captured.finish();
    EXPECT_EQ(log.count("nothing to play here yet; looking again in 5 s"), 3);
}

TEST_F(WallFixture, WaitingNamesTheSunWithoutAWantedProduct) {
    Settings::setOffline(false);
    auto view = makeView({});
    EXPECT_EQ(view->state().captionLine, QString::fromUtf8("the Sun  ·  DOWNLOADING…"));
    auto unknown = makeView({}, {"nonesuch"});
    EXPECT_EQ(unknown->state().captionLine, QString::fromUtf8("the Sun  ·  DOWNLOADING…"));
}

TEST_F(WallFixture, StartsPlayingOnceTheCacheHasAClip) {
    std::vector<CacheEntry> cached;
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = playerClock;
    environment.entries = [&cached] { return cached; };
    const QString path = clip();
    environment.clipPath = [path](const CacheEntry&) { return path; };
    WallView view(QSize(320, 180), {}, environment);
    EXPECT_TRUE(view.state().waiting);
    cached = entries({"171"});
    clock->advance(5.1);
    EXPECT_FALSE(view.state().waiting);
    EXPECT_EQ(view.state().clipID, QString("171"));
}

TEST_F(WallFixture, FirstClipFadesInFromBlackWithNoFadeOut) {
    CapturedLog captured;
    auto view = makeView(entries({"171"}));
    const State s = view->state();
    EXPECT_EQ(s.active, 1);
    EXPECT_TRUE(s.hasPlayer[1]);
    EXPECT_FALSE(s.hasPlayer[0]);
    EXPECT_DOUBLE_EQ(view->layerOpacity(1), 0.0);
    clock->advance(0.175);
    EXPECT_NEAR(view->layerOpacity(1), 0.5, 0.02);
    clock->advance(0.2);
    EXPECT_DOUBLE_EQ(view->layerOpacity(1), 1.0);
    EXPECT_TRUE(captured.finish().contains("playing AIA 171 Å"));
}

TEST_F(WallFixture, ACrossfadeLetsGoOfTheOldPlayerWhenItEnds) {
    Settings::setTransition(Transition::crossfade);
    auto view = makeView(entries({"171", "193"}));
    clock->advance(1.0);
    view->step(1);
    EXPECT_EQ(view->state().active, 0);
    EXPECT_EQ(view->state().clipID, QString("193"));
    clock->advance(0.3);
    EXPECT_NEAR(view->layerOpacity(0), 0.5, 0.02);
    EXPECT_NEAR(view->layerOpacity(1), 0.5, 0.02);
    clock->advance(0.4);
    EXPECT_DOUBLE_EQ(view->layerOpacity(0), 1.0);
    EXPECT_FALSE(view->state().hasPlayer[1]); // at most two decoders, and the idle one is torn down
}

TEST_F(WallFixture, ReduceMotionTurnsTheRevealsIntoACrossfade) {
    for (Transition style : {Transition::circle, Transition::wipe}) {
        Settings::setTransition(style);
        auto view = makeView(entries({"171", "193"}), {}, true);
        clock->advance(1.0);
        view->step(1);
        clock->advance(0.3);
        EXPECT_FALSE(view->layerMask(0));
        EXPECT_NEAR(view->layerOpacity(0), 0.5, 0.02);
        view->stop();
    }
    // Without it the circle masks the incoming layer.
    Settings::setTransition(Transition::circle);
    auto view = makeView(entries({"171", "193"}));
    clock->advance(1.0);
    view->step(1);
    clock->advance(0.3);
    EXPECT_TRUE(view->layerMask(0));
    EXPECT_DOUBLE_EQ(view->layerOpacity(0), 1.0);
}

TEST_F(WallFixture, PauseByPolicyNeverResumesAUserPause) {
    auto view = makeView(entries({"171"}));
    EXPECT_TRUE(view->state().playing);
    view->togglePause();
    EXPECT_FALSE(view->state().playing);
    view->setPaused(true);
    view->setPaused(false);
    EXPECT_FALSE(view->state().playing);
    EXPECT_TRUE(view->paused());
    view->togglePause();
    EXPECT_TRUE(view->state().playing);
    view->setPaused(true);
    EXPECT_FALSE(view->state().playing);
    view->togglePause();
    view->togglePause(); // the user plays on, but the policy still holds it
    EXPECT_FALSE(view->state().playing);
    view->setPaused(false);
    EXPECT_TRUE(view->state().playing);
}

TEST_F(WallFixture, AfterStopNothingStartsAnotherClip) {
    CapturedLog captured;
    auto waiting = makeView({});
    auto first = makeView(entries({"171", "193"}));
    auto playing = makeView(entries({"171", "193"}));
    clock->advance(1.0);
    waiting->stop();
    first->stop();
    playing->stop();
    EXPECT_EQ(clock->pendingCount(), 0);
    EXPECT_FALSE(playing->state().hasPlayer[0] || playing->state().hasPlayer[1]);
    const QByteArray before = captured.finish();
    CapturedLog after;
    clock->advance(30.0);
    playing->step(1);
    QCoreApplication::processEvents();
    const QByteArray later = after.finish();
    EXPECT_FALSE(later.contains("playing")) << later.constData();
    EXPECT_FALSE(later.contains("nothing to play")) << later.constData();
    EXPECT_TRUE(before.contains("playing AIA 193 Å")); // the second screen avoided the first's product
}

TEST_F(WallFixture, ScrubMovesOneSlotPerEightPointsAndCarriesTheRest) {
    auto view = makeView(entries({"171"}));
    view->scrub(12);
    EXPECT_EQ(view->state().heldSlot, 1);
    EXPECT_DOUBLE_EQ(view->state().scrubCarry, 4);
    EXPECT_FALSE(view->state().playing);
    view->scrub(4);
    EXPECT_EQ(view->state().heldSlot, 2);
    EXPECT_DOUBLE_EQ(view->state().scrubCarry, 0);
    view->scrub(-100);
    EXPECT_EQ(view->state().heldSlot, 0); // limited to the clip
    // The clip's first slot: 48 hours before `updated`, plus one 20-minute slot.
    const QDateTime first = QDateTime::fromString(updated, Qt::ISODate).addSecs(-48 * 3600 + 20 * 60);
    EXPECT_EQ(view->state().clockLine,
              QLocale::c().toString(first.date(), "MMM d").toUpper() + "  20:20 UTC");
    // Three seconds after the last movement playback resumes.
    clock->advance(3.1);
    EXPECT_FALSE(view->state().heldSlot);
    EXPECT_TRUE(view->state().playing);
}

TEST_F(WallFixture, SteppingFramesHoldsThePause) {
    auto view = makeView(entries({"171"}));
    view->stepFrame(1);
    EXPECT_TRUE(view->paused());
    EXPECT_EQ(view->state().heldSlot, 1);
    view->stepFrame(1);
    EXPECT_EQ(view->state().heldSlot, 2);
    view->stepFrame(-5);
    EXPECT_EQ(view->state().heldSlot, 0);
    view->scrub(16);
    clock->advance(5.0); // the scrub ends, but the user's pause stays
    EXPECT_TRUE(view->paused());
    EXPECT_FALSE(view->state().playing);
    view->togglePause();
    EXPECT_TRUE(view->state().playing);
    EXPECT_FALSE(view->state().heldSlot); // playing on lets the clock follow the picture again
}

TEST_F(WallFixture, TheCardComesUpAfterEveryNthClip) {
    Settings::setInfoEvery(2);
    auto view = makeView(entries({"171", "193"}));
    clock->advance(1.0);
    EXPECT_FALSE(view->infoUp());
    view->step(1);
    EXPECT_FALSE(view->infoUp());
    clock->advance(0.6);
    EXPECT_TRUE(view->infoUp());
    EXPECT_NEAR(view->cardOpacity(), 0.25, 0.1);
    clock->advance(12.0);
    EXPECT_FALSE(view->infoUp());
    view->step(1);
    clock->advance(1.0);
    EXPECT_FALSE(view->infoUp()); // the third clip
    view->step(1);
    clock->advance(1.0);
    EXPECT_TRUE(view->infoUp());
    ASSERT_TRUE(view->shown());
    EXPECT_EQ(view->shown()->provenance.lines().size(), 8);
}

TEST_F(WallFixture, TheClockHidesWithTheCaptionUnlessHeldPausedOrScrubbing) {
    auto view = makeView(entries({"171"}));
    view->scrub(8); // gives the clock a line; a scrub is pending
    clock->advance(0.5);
    EXPECT_NEAR(view->clockOpacity(), 0.85, 1e-9);
    EXPECT_NEAR(view->timelineOpacity(), 0.7, 1e-9);
    clock->advance(7.0); // caption down, scrub over
    EXPECT_FALSE(view->state().captionUp);
    EXPECT_DOUBLE_EQ(view->clockOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(view->timelineOpacity(), 0.0);

    view->showTime(true);
    clock->advance(1.3);
    EXPECT_NEAR(view->clockOpacity(), 0.85, 1e-9);
    EXPECT_DOUBLE_EQ(view->timelineOpacity(), 0.0); // the timeline shows only with the caption
    view->showTime(false);
    clock->advance(1.3);
    EXPECT_DOUBLE_EQ(view->clockOpacity(), 0.0);

    view->togglePause();
    clock->advance(1.3);
    EXPECT_NEAR(view->clockOpacity(), 0.85, 1e-9);
    view->togglePause();
    clock->advance(1.3);
    EXPECT_DOUBLE_EQ(view->clockOpacity(), 0.0);

    Settings::setFrameClock(false);
    view->showTime(true);
    clock->advance(1.3);
    EXPECT_DOUBLE_EQ(view->clockOpacity(), 0.0);
}

TEST_F(WallFixture, ACaptionNamesTheClipAndItsFortyEightHours) {
    Settings::setCaptionUTC(true);
    // A build without a web host of its own has no link to show.
    EXPECT_FALSE(makeView(entries({"171"}))->state().link);
    Settings::setStoreHost("www.example.org");
    auto view = makeView(entries({"171"}));
    EXPECT_EQ(view->state().captionLine,
              QString::fromUtf8("AIA 171 Å  ·  48 HR TO ") + updatedDay() + QStringLiteral(", 20:00 UTC"));
    ASSERT_TRUE(view->state().link);
    EXPECT_TRUE(view->state().link->toString().contains("wl=171"));
    EXPECT_DOUBLE_EQ(view->qrOpacity(), 0.88);
    clock->advance(6.0 + 1.3);
    EXPECT_DOUBLE_EQ(view->captionOpacity(), 0.0);
    // The QR code is rendered once for its size, however often the view redraws.
    view->grab();
    view->grab();
    EXPECT_EQ(view->qrRenders(), 1);
}

// A screen whose product is not downloaded plays another and says so, and why once a pass has failed or
// offline is on; old imagery shows its year. With nothing at all to play, the waiting line says the same.
TEST_F(WallFixture, ACaptionSaysWhenAnotherProductStandsInAndWhyItIsMissing) {
    Settings::setCaptionUTC(true);
    updated = "2013-06-24T17:31:30Z";
    Cache::LastPass reached, unreached, mirror;
    unreached.reached = mirror.reached = false;
    unreached.reason = mirror.reason = "Could not resolve host";
    mirror.host = "mirror.example.org";
    const struct {
        std::optional<Cache::LastPass> pass;
        bool offline;
        const char* standIn;
        const char* waiting;
    } cases[] = {
        {std::nullopt, false, "AIA 171 Å is not downloaded yet", "DOWNLOADING…"},
        {reached, false, "AIA 171 Å is not downloaded yet", "DOWNLOADING…"},
        {unreached, false, "AIA 171 Å is not downloaded: can't reach NASA SDO",
         "NOT DOWNLOADED: CAN'T REACH NASA SDO"},
        {mirror, false, "AIA 171 Å is not downloaded: can't reach mirror.example.org",
         "NOT DOWNLOADED: CAN'T REACH MIRROR.EXAMPLE.ORG"},
        {unreached, true, "AIA 171 Å is not downloaded: offline is on", "NOT DOWNLOADED, AND OFFLINE IS ON"},
    };
    for (const auto& c : cases) {
        lastPass = c.pass;
        Settings::setOffline(c.offline);
        auto view = makeView(entries({"193"}), {"171"});
        EXPECT_EQ(view->state().captionLine,
                  QString::fromUtf8(c.standIn) +
                      QString::fromUtf8("; showing AIA 193 Å  ·  48 HR TO JUN 24, 2013, 17:31 UTC"));
        auto waiting = makeView({}, {"171"});
        EXPECT_EQ(waiting->state().captionLine,
                  QString::fromUtf8("AIA 171 Å  ·  ") + QString::fromUtf8(c.waiting));
    }
    Settings::setOffline(false);
    auto own = makeView(entries({"171"}), {"171"});
    EXPECT_TRUE(own->state().captionLine.startsWith(QString::fromUtf8("AIA 171 Å  ·  48 HR TO ")));
}

TEST_F(WallFixture, AClipWithMoreFramesThanSlotsShowsTheDateOnly) {
    Settings::setCaptionUTC(true);
    CapturedLog captured;
    auto view = makeView(entries({"171"}, 150));
    view->scrub(8);
    EXPECT_EQ(view->state().clockLine, "");
    EXPECT_EQ(view->state().captionLine, QString::fromUtf8("AIA 171 Å  ·  48 HR TO ") + updatedDay());
    EXPECT_TRUE(captured.finish().contains(
        "clock: 171 frame_count 150 is more than its 144 slots; showing the date only"));
}

TEST_F(WallFixture, LoopsPlayTheSameClipBeforeChoosingAgain) {
    Settings::setLoops(2);
    CapturedLog captured;
    auto view = makeView(entries({"171", "193"}));
    // The 8-second clip takes 16 seconds at half speed; the player clock moves a second at a time.
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(1.0);
        return view->state().clipID == QString("193");
    }));
    const QByteArray log = captured.finish();
    const auto firstEnd = log.indexOf("clip ended (loops done 1 of 2)");
    const auto secondEnd = log.indexOf("clip ended (loops done 2 of 2)");
    ASSERT_GE(firstEnd, 0);
    ASSERT_GT(secondEnd, firstEnd);
    // Between the two ends the same clip played again: nothing else started.
    EXPECT_FALSE(log.mid(firstEnd, secondEnd - firstEnd).contains("playing "));
    EXPECT_TRUE(log.mid(secondEnd).contains("playing AIA 193"));
}

TEST_F(WallFixture, CyclingTheLookStoresItAndSaysSo) {
    CapturedLog captured;
    auto view = makeView(entries({"171"}));
    view->cycleLook();
    EXPECT_NE(Settings::look(), Look::natural);
    EXPECT_TRUE(view->state().lookShown);
    EXPECT_TRUE(view->state().captionLine.contains(Looks::label(Settings::look())));
    EXPECT_TRUE(
        captured.finish().contains("look: " + Looks::rawValue(Settings::look()).toUtf8() + " on 171"));
}

// A difference look on a clip of one real frame (the bundled clip) would be a flat grey square: the
// natural look plays, and the caption says why.
TEST_F(WallFixture, DifferenceLooksOnASingleFrameShowNaturalWithANote) {
    Settings::setLook(Look::running);
    auto view = makeView(entries({"171"}, 1));
    EXPECT_FALSE(view->state().lookShown);
    EXPECT_TRUE(view->state().captionLine.startsWith(QString::fromUtf8(
        "AIA 171 Å  ·  Running difference needs more than one frame; showing Natural  ·  48 HR")))
        << view->state().captionLine.toStdString();
    view->cycleLook(); // on to base difference: still one frame
    EXPECT_EQ(Settings::look(), Look::base);
    EXPECT_FALSE(view->state().lookShown);
    EXPECT_TRUE(view->state().captionLine.contains("Base difference needs more than one frame"));
    view->cycleLook(); // back to natural: no note
    EXPECT_FALSE(view->state().captionLine.contains("needs more than one frame"));
}

// The view repaints only what changes (a new frame's rectangle, the chrome band while it fades, the two
// pictures of a crossfade), and writes a frame shown alone straight into the window's pixels. What those
// repaints leave on screen must equal a full repaint drawn from pictures; the offscreen platform's window
// grab reads the window's backing store, which keeps every partial flush. The view sits inside a window,
// away from its corner, as a wall does under its controls.
TEST_F(WallFixture, PartialRepaintsLeaveTheSameScreenAsAFullOne) {
    Settings::setTransition(Transition::crossfade);
    QWidget window;
    auto view = makeView(entries({"171", "193"}));
    window.resize(view->width() + 30, view->height() + 20);
    view->setParent(&window);
    view->move(17, 9);
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    const auto sameAsFullRepaint = [&] {
        return waitFor([&] {
            const QImage shown = window.screen()
                                     ->grabWindow(window.winId())
                                     .toImage()
                                     .copy(view->geometry())
                                     .convertToFormat(QImage::Format_RGB32);
            const QImage full = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
            return !shown.isNull() && shown == full;
        });
    };
    // Moves the player's clock in small steps until the view has taken a new frame time; the player may
    // still be seeking its first frame when the test gets here.
    const auto frames = [&] {
        const double before = view->state().progress;
        ASSERT_TRUE(waitFor([&] {
            playerClock->advance(0.05);
            return view->state().progress != before;
        }));
    };

    clock->advance(0.4); // the first clip has faded in
    frames();
    EXPECT_TRUE(sameAsFullRepaint()) << "new frames under the caption";
    clock->advance(8.0); // the caption, clock and timeline fade out
    frames();
    EXPECT_TRUE(sameAsFullRepaint()) << "new frames after the caption left";
    view->step(1);
    clock->advance(0.3);
    EXPECT_TRUE(sameAsFullRepaint()) << "the middle of a crossfade";
    clock->advance(0.4);
    frames();
    EXPECT_TRUE(sameAsFullRepaint()) << "the next clip alone";
    EXPECT_GT(view->framesWritten(), 0);
    view->stop();
}

// A clip chosen again at its end starts over where it is, with its caption and no transition; a file a
// pass renamed over it is a new clip, opened afresh and faded in.
TEST_F(WallFixture, AClipChosenAgainStartsOverInPlaceUnlessAPassReplacedTheFile) {
    // One product: each end plays the same file again.
    const QString path = dir.filePath("171.mp4");
    ASSERT_TRUE(QFile::copy(clip(), path));
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = playerClock;
    environment.entries = [this] { return entries({"171"}); };
    environment.clipPath = [path](const CacheEntry&) { return path; };
    WallView view(QSize(320, 180), {}, environment);
    auto playOn = [&](int clips) {
        return waitFor([&] {
            playerClock->advance(1.0);
            return view.state().clipsShown == clips;
        });
    };
    clock->advance(1.0); // the first clip has faded in
    const int active = view.state().active;
    CapturedLog captured;
    ASSERT_TRUE(playOn(2));
    EXPECT_EQ(view.state().active, active);
    EXPECT_FALSE(view.state().hasPlayer[size_t(1 - active)]);
    for (int i = 0; i < 4; ++i, clock->advance(0.2)) {
        EXPECT_DOUBLE_EQ(view.layerOpacity(active), 1.0);
        EXPECT_DOUBLE_EQ(view.layerOpacity(1 - active), 0.0);
    }
    ASSERT_TRUE(view.shown());
    EXPECT_LT(view.shown()->seconds, 1.0);
    EXPECT_TRUE(view.state().captionUp);
    EXPECT_TRUE(captured.finish().contains("playing AIA 171"));

    // A pass renames a new clip over the file: the next start opens it.
    ASSERT_TRUE(QFile::copy(clip(), path + ".new"));
    ASSERT_EQ(::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(playOn(3));
    EXPECT_TRUE(view.state().hasPlayer[0] && view.state().hasPlayer[1]);
    EXPECT_LT(view.layerOpacity(view.state().active), 1.0);
    view.stop();
}

// A crossfade keeps the solar instant only when the user changes clips mid-way; at a natural end the
// instant on screen is the clip's last slot, and aligning to it made every next clip end at once.
TEST_F(WallFixture, OnlyAStepMidWayKeepsTheInstantOnScreen) {
    Settings::setTransition(Transition::crossfade);
    CapturedLog captured;
    auto view = makeView(entries({"171", "193"}));
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(1.0);
        return view->state().clipID == QString("193");
    }));
    ASSERT_TRUE(view->shown());
    EXPECT_LT(view->shown()->seconds, 1.0);
    clock->advance(1.0);
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(0.5);
        return view->state().progress > 0.2;
    }));
    const QByteArray atEnd = captured.finish();
    EXPECT_FALSE(atEnd.contains("same instant")) << atEnd.constData();

    CapturedLog stepped;
    view->step(1);
    EXPECT_EQ(view->state().clipID, QString("171"));
    EXPECT_TRUE(stepped.finish().contains("same instant: 171 starts at slot "));
    EXPECT_GT(view->shown()->seconds, 1.0);
}

TEST_F(WallFixture, WaitingAfterAClipLeavesNoClockOrTimelineUp) {
    std::vector<CacheEntry> cached = entries({"171"});
    WallView::Environment environment;
    environment.clock = clock;
    environment.playerClock = playerClock;
    environment.entries = [&cached] { return cached; };
    const QString path = clip();
    environment.clipPath = [path](const CacheEntry&) { return path; };
    WallView view(QSize(320, 180), {}, environment);
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(0.25);
        return !view.state().clockLine.isEmpty();
    }));
    clock->advance(1.0);
    EXPECT_GT(view.clockOpacity(), 0.0);
    cached.clear();
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(1.0);
        return view.state().waiting;
    }));
    clock->advance(2.0);
    EXPECT_FALSE(view.state().captionUp);
    EXPECT_DOUBLE_EQ(view.clockOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(view.timelineOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(view.captionOpacity(), 0.85);
}

TEST(WallViewRules, TheChoosingRuleIsReachableOnTheView) {
    const QStringList ids{"171", "193", "304"};
    EXPECT_EQ(WallView::nextIndex(ids, 0, {"171"}, QString("193")),
              Playlist::nextIndex(ids, 0, {"171"}, QString("193")));
    EXPECT_EQ(WallView::nextIndex({}, 0, {}, std::nullopt), std::nullopt);
    EXPECT_EQ(WallView::rewound(1, 3), Playlist::rewound(1, 3));
    EXPECT_EQ(WallView::rewound(0, 0), 0);
}

// The caption and the card are two things a screen reader reads, not one description that each
// overwrites.
TEST_F(WallFixture, TheCaptionAndTheCardAreReadAsObjectsOfTheirOwn) {
    auto view = makeView(entries({"171"}));
    view->showInfo(std::nullopt);
    ASSERT_TRUE(view->shown());
    QAccessibleInterface* wall = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_TRUE(wall);
    EXPECT_EQ(wall->text(QAccessible::Name), "The Sun, the last 48 hours");
    QStringList texts;
    for (int i = 0; i < wall->childCount(); ++i)
        if (QAccessibleInterface* child = wall->child(i); child && child->role() == QAccessible::StaticText)
            texts << child->text(QAccessible::Name);
    ASSERT_EQ(texts.size(), 2) << texts.join(" | ").toStdString();
    const QString card = view->shown()->provenance.text();
    EXPECT_TRUE(texts.contains(card));
    texts.removeAll(card);
    EXPECT_TRUE(texts.value(0).contains("171")) << texts.value(0).toStdString();
}

// Flares of the clip's 48 hours stand on its timeline as marks a screen reader reads by their class; the
// one under the playhead is named above the caption, and a frame shown with marks says whose X-ray data
// they are, as the card does with the level now.
TEST_F(WallFixture, FlaresAreMarkedOnTheTimelineAndNamedWhileTheyPlay) {
    const QDateTime end = QDateTime::fromString(updated, Qt::ISODate);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto flare = [&end](const char* flareClass, qint64 peakMinutes, bool ended) {
        return SpaceWeather::Flare{end.addSecs((peakMinutes - 12) * 60), end.addSecs(peakMinutes * 60),
                                   ended ? end.addSecs((peakMinutes + 15) * 60) : QDateTime(),
                                   QString::fromLatin1(flareClass), 16};
    };
    SpaceWeather::Record record;
    record.fetched = now;
    record.latest = SpaceWeather::Sample{now.addSecs(-120), 2.3e-6, 18};
    record.flares = {flare("M5.0", -50 * 60, true), flare("X2.1", -40 * 60, true),
                     flare("B7.0", -30 * 60, true), flare("M1.2", -24 * 60, true), flare("C3.0", -30, false)};
    weather = record;
    auto view = makeView(entries({"171"}));
    ASSERT_EQ(view->flareMarks().size(), 3u); // the M5.0 is older than the clip, the B7.0 too faint

    QStringList marks;
    for (const QObject* child : view->children())
        if (child->objectName() == "flareMark") {
            QAccessibleInterface* text = QAccessible::queryAccessibleInterface(const_cast<QObject*>(child));
            ASSERT_TRUE(text);
            EXPECT_EQ(text->role(), QAccessible::StaticText);
            marks << text->text(QAccessible::Name);
            // Each mark sits on the track, at its flare's place along it.
            const QRect box = static_cast<const QWidget*>(child)->geometry();
            EXPECT_LE(box.top(), qRound(view->chromeLayout().track.center().y()));
            EXPECT_GE(box.bottom() + 1, qFloor(view->chromeLayout().track.top()));
        }
    EXPECT_EQ(marks, QStringList({"X2.1", "M1.2", "C3.0"}));
    EXPECT_NEAR(view->flareMarks()[1].fraction, 71.0 / 143.0, 1e-9); // 72 frames of 143 before the end

    // Scrub to the M1.2's peak: slot 71 of 144 shows 24 hours before the end.
    EXPECT_TRUE(view->state().flareLine.isEmpty());
    view->scrub(71 * WallView::pointsPerSlot);
    ASSERT_EQ(view->state().heldSlot, 71);
    const QString named = FlareMarks::caption(record.flares[3], QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(named.startsWith("M1.2 flare, peak ")) << named.toStdString();
    EXPECT_EQ(view->state().flareLine, named);
    clock->advance(0.4);
    EXPECT_NEAR(view->flareOpacity(), 0.85, 1e-9);
    const QLabel* line = view->findChild<QLabel*>("flare");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->accessibleName(), named);

    // Within the flare, half a frame after its end, it is still named; a frame further on it is not:
    // the line goes at once rather than name the flare for hours of the clip after it ended.
    view->scrub(1 * WallView::pointsPerSlot);
    EXPECT_EQ(view->state().flareLine, named);
    view->scrub(1 * WallView::pointsPerSlot);
    EXPECT_TRUE(view->state().flareLine.isEmpty());
    clock->advance(0.3);
    EXPECT_DOUBLE_EQ(view->flareOpacity(), 0.0);

    // The frame's provenance and the card say whose data the marks come from, and the level now.
    ASSERT_TRUE(view->shown());
    EXPECT_EQ(view->shown()->provenance.lines().last(), "X-ray data: NOAA SWPC (GOES-18)");
    view->showInfo(std::nullopt);
    const QString card = view->findChild<QLabel*>("card")->accessibleName();
    EXPECT_TRUE(card.contains("\nX-ray C2.3 at " + now.addSecs(-120).toString("HH:mm") + " UTC\n"))
        << card.toStdString();
    EXPECT_TRUE(card.contains("flare in the last 24 hours")) << card.toStdString();
    EXPECT_TRUE(card.endsWith("\nX-ray data: NOAA SWPC (GOES-18)")) << card.toStdString();
    EXPECT_EQ(card.count("X-ray data:"), 1);

    // A record without flares in the clip leaves no marks and no source line in what is saved.
    record.flares = {flare("M5.0", -50 * 60, true)};
    weather = record;
    view->reloadSpaceWeather();
    EXPECT_TRUE(view->flareMarks().empty());
    EXPECT_EQ(view->findChildren<QLabel*>("flareMark").size(), 0);
    EXPECT_EQ(view->shown()->provenance.lines().size(), Provenance::lineCount);
}

// The card follows the frame while the clip plays on; a clip of one image (a first light, the bundled
// clip) keeps that image's time on the clock and the card, and says "1 image so far".
TEST_F(WallFixture, TheCardFollowsThePlayingFrameAndOneImageKeepsItsTime) {
    auto view = makeView(entries({"171"}));
    ASSERT_TRUE(waitFor([&] { return view->state().playing; }));
    view->toggleInfo();
    auto* card = view->findChild<QLabel*>("card");
    auto frameLine = [card] { return card->accessibleName().split('\n').value(2); };
    const QString opened = frameLine();
    ASSERT_TRUE(opened.startsWith("Frame ")) << opened.toStdString();
    ASSERT_TRUE(waitFor([&] {
        playerClock->advance(0.05);
        return frameLine() != opened;
    }));
    EXPECT_EQ(frameLine(), "Frame " + view->state().clockLine);

    auto single = makeView(entries({"193"}, 1));
    single->toggleInfo();
    single->stepFrame(-100);
    const QString end = SolarTime::clock(QDateTime::fromString(updated, Qt::ISODate));
    EXPECT_EQ(single->state().clockLine, end);
    EXPECT_DOUBLE_EQ(single->state().progress, 1.0);
    const QStringList lines = single->findChild<QLabel*>("card")->accessibleName().split('\n');
    EXPECT_EQ(lines.value(2), "Frame " + end);
    EXPECT_EQ(lines.value(3), "1 image so far");
}

// The mini player shows only its frame clock: no caption, scrim, QR plate or card over the small picture.
TEST_F(WallFixture, TheMiniPlayerShowsOnlyTheClock) {
    auto view = makeView(entries({"rainbow"}), {}, false, ViewKind::mini);
    view->stepFrame(1); // a slot on screen gives the clock its line
    clock->advance(2.0);
    EXPECT_DOUBLE_EQ(view->captionOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(view->scrimOpacity(), 0.0);
    EXPECT_NEAR(view->clockOpacity(), 0.85, 1e-9);
    clock->advance(10.0); // long after a wall's caption would have gone, the clock stays
    EXPECT_NEAR(view->clockOpacity(), 0.85, 1e-9);
    view->toggleInfo();
    EXPECT_FALSE(view->infoUp());
    // Its one name, the chooser's, even where the cache labels it with where it was made.
    EXPECT_TRUE(view->state().captionLine.startsWith(QString::fromUtf8("Rainbow  \u00B7  48 HR TO ")))
        << view->state().captionLine.toStdString();
}

// The space-weather badge: off unless asked for, it names the current NOAA scales at 1 or more in the
// top-left corner, fades with the caption, and never covers the disc.
TEST_F(WallFixture, TheSpaceWeatherBadgeNamesCurrentScalesAndKeepsOffTheDisc) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    SpaceWeather::Record record;
    record.fetched = now;
    record.geomagnetic.scales = Geomagnetic::Scales{now.addSecs(-600), 3, 0, 2};
    weather = record;
    auto view = makeView(entries({"171"}));
    view->show();
    view->resize(1280, 720);
    EXPECT_TRUE(view->state().badge.isEmpty());
    Settings::setSpaceWeatherBadge(true);
    view->reloadSpaceWeather();
    EXPECT_EQ(view->state().badge, QStringList({"G2 geomagnetic storm", "R3 radio blackout"}));
    ASSERT_TRUE(view->badgeRect());
    const QRectF box = *view->badgeRect();
    EXPECT_LT(box.right(), view->width() / 4.0);
    EXPECT_LT(box.bottom(), view->height() / 4.0);
    // The disc of the square picture centred on the 1280 x 720 view lies clear of it.
    const QPointF centre(640, 360);
    const QPointF nearest(std::clamp(centre.x(), box.left(), box.right()),
                          std::clamp(centre.y(), box.top(), box.bottom()));
    EXPECT_GE(QLineF(centre, nearest).length(), 0.41 * 720);
    const QLabel* text = view->findChild<QLabel*>("spaceWeatherBadge");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->accessibleName(), "G2 geomagnetic storm, R3 radio blackout");
    clock->advance(1.3);
    EXPECT_DOUBLE_EQ(view->badgeOpacity(), view->captionOpacity());
    EXPECT_GT(view->badgeOpacity(), 0.0);
    clock->advance(6.0);
    EXPECT_DOUBLE_EQ(view->badgeOpacity(), 0.0);

    // On a square screen the corner reaches into the disc: no badge there.
    view->resize(600, 600);
    EXPECT_FALSE(view->badgeRect());
    EXPECT_TRUE(view->state().badge.isEmpty());
    EXPECT_FALSE(text->isVisible());
    view->resize(1280, 720);
    EXPECT_TRUE(view->badgeRect());

    // Scales past their freshness, or all quiet, make no badge.
    record.geomagnetic.scales = Geomagnetic::Scales{now.addSecs(-3 * 3600 - 60), 3, 0, 2};
    weather = record;
    view->reloadSpaceWeather();
    EXPECT_TRUE(view->state().badge.isEmpty());
    record.geomagnetic.scales = Geomagnetic::Scales{now, 0, 0, 0};
    weather = record;
    view->reloadSpaceWeather();
    EXPECT_TRUE(view->state().badge.isEmpty());
}
