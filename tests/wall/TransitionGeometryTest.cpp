#include "TransitionGeometry.h"
#include "Animator.h"

#include <gtest/gtest.h>

namespace {
const QSizeF bounds(1920, 1080);

TransitionFrame at(Transition style, double seconds, bool first = false) {
    return TransitionGeometry::at(style, first, bounds, seconds);
}
} // namespace

TEST(TransitionGeometry, BlinkSwitchesAtOnce) {
    for (double t : {0.0, 0.3, 5.0}) {
        EXPECT_EQ(at(Transition::blink, t).outgoing, 0.0);
        EXPECT_EQ(at(Transition::blink, t).incoming, 1.0);
        EXPECT_FALSE(at(Transition::blink, t).mask);
    }
    EXPECT_EQ(TransitionGeometry::doneAfter(Transition::blink, false), 0.0);
}

TEST(TransitionGeometry, CrossfadeIsLinearOverSixTenths) {
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.0).incoming, 0.0);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.0).outgoing, 1.0);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.3).incoming, 0.5);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.3).outgoing, 0.5);
    // Away from the middle, where swapped or curved fades show.
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.15).incoming, 0.25);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.15).outgoing, 0.75);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.45).incoming, 0.75);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.45).outgoing, 0.25);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.6).incoming, 1.0);
    EXPECT_DOUBLE_EQ(at(Transition::crossfade, 0.6).outgoing, 0.0);
    EXPECT_FALSE(at(Transition::crossfade, 0.3).mask);
    EXPECT_DOUBLE_EQ(TransitionGeometry::doneAfter(Transition::crossfade, false), 0.6);
}

TEST(TransitionGeometry, FadeThroughBlackFadesOutThenWaitsThenFadesIn) {
    // Out over 0.35 s, the incoming layer black until then, in over the next 0.35 s.
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.0).outgoing, 1.0);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.0).incoming, 0.0);
    EXPECT_NEAR(at(Transition::black, 0.175).outgoing, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.175).incoming, 0.0);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.35).outgoing, 0.0);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.35).incoming, 0.0);
    EXPECT_NEAR(at(Transition::black, 0.525).incoming, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.7).incoming, 1.0);
    EXPECT_DOUBLE_EQ(TransitionGeometry::doneAfter(Transition::black, false), 0.75);
}

TEST(TransitionGeometry, FadeThroughBlackOnTheFirstClipHasNoFadeOut) {
    EXPECT_EQ(TransitionGeometry::fadeOutSeconds(Transition::black, true), 0.0);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.0, true).incoming, 0.0);
    EXPECT_NEAR(at(Transition::black, 0.175, true).incoming, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(at(Transition::black, 0.35, true).incoming, 1.0);
    EXPECT_DOUBLE_EQ(TransitionGeometry::doneAfter(Transition::black, true), 0.4);
}

TEST(TransitionGeometry, CircleGrowsFromTheCentreToTheCorners) {
    const auto start = at(Transition::circle, 0.0);
    ASSERT_TRUE(start.mask);
    EXPECT_EQ(start.incoming, 1.0);
    EXPECT_EQ(start.outgoing, 1.0);
    EXPECT_NEAR(start.mask->boundingRect().width(), 2.0, 1e-6);
    EXPECT_EQ(start.mask->boundingRect().center(), QPointF(960, 540));

    // Half time is half way along the eased curve, so half way between the radii.
    const double full = std::hypot(1920.0, 1080.0) / 2.0;
    const auto middle = at(Transition::circle, 0.45);
    ASSERT_TRUE(middle.mask);
    EXPECT_NEAR(middle.mask->boundingRect().width() / 2.0, 1.0 + (full - 1.0) / 2.0, 1e-3);
    // Eased: a quarter of the time covers much less than a quarter of the way.
    const auto early = at(Transition::circle, 0.225);
    EXPECT_LT(early.mask->boundingRect().width() / 2.0, 0.25 * full);

    const auto end = at(Transition::circle, 0.9);
    EXPECT_FALSE(end.mask);
    EXPECT_EQ(end.outgoing, 0.0);
    EXPECT_EQ(end.incoming, 1.0);
    // Just before the end the circle reaches every corner.
    const auto nearly = at(Transition::circle, 0.8999);
    EXPECT_TRUE(nearly.mask->contains(QPointF(1, 1)));
}

TEST(TransitionGeometry, WipeRunsLeftToRight) {
    const auto start = at(Transition::wipe, 0.0);
    ASSERT_TRUE(start.mask);
    EXPECT_EQ(start.mask->boundingRect(), QRectF(0, 0, 0, 1080));
    const auto middle = at(Transition::wipe, 0.3);
    EXPECT_NEAR(middle.mask->boundingRect().width(), 960, 1e-3);
    EXPECT_EQ(middle.mask->boundingRect().left(), 0);
    EXPECT_TRUE(middle.mask->contains(QPointF(100, 500)));
    EXPECT_FALSE(middle.mask->contains(QPointF(1500, 500)));
    EXPECT_FALSE(at(Transition::wipe, 0.6).mask);
    EXPECT_EQ(at(Transition::wipe, 0.6).outgoing, 0.0);
    EXPECT_DOUBLE_EQ(TransitionGeometry::doneAfter(Transition::wipe, false), 0.6);
}

TEST(Animator, EaseInEaseOutIsSymmetricAndSlowAtTheEnds) {
    EXPECT_NEAR(easeInEaseOut(0.0), 0.0, 1e-6);
    EXPECT_NEAR(easeInEaseOut(0.5), 0.5, 1e-6);
    EXPECT_NEAR(easeInEaseOut(1.0), 1.0, 1e-6);
    EXPECT_NEAR(easeInEaseOut(0.2) + easeInEaseOut(0.8), 1.0, 1e-6);
    EXPECT_LT(easeInEaseOut(0.1), 0.05);
}

TEST(Animator, TicksOnlyWhileSomethingAnimates) {
    ManualClock clock;
    int repaints = 0;
    Animator animator(clock, [&] { ++repaints; });
    clock.onTick([&] { animator.tick(); });
    animator.set(1, 0.2);
    EXPECT_FALSE(clock.ticking());

    bool done = false;
    animator.animate(1, 1.0, 1.0, Curve::linear, 0.5, [&] { done = true; });
    EXPECT_TRUE(clock.ticking());
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(animator.value(1), 0.2); // waiting for its begin time, showing the start
    clock.advance(0.75);
    EXPECT_NEAR(animator.value(1), 0.6, 0.02);
    clock.advance(0.6);
    EXPECT_TRUE(done);
    EXPECT_FALSE(clock.ticking());
    EXPECT_DOUBLE_EQ(animator.value(1), 1.0);

    // Between animations nothing asks for a redraw.
    const int before = repaints;
    clock.advance(5.0);
    EXPECT_EQ(repaints, before);
}

TEST(Animator, AReplacedAnimationStillRunsItsDoneAction) {
    ManualClock clock;
    Animator animator(clock, {});
    int done = 0;
    animator.animate(1, 1.0, 1.0, Curve::linear, 0.0, [&] { ++done; });
    animator.animate(1, 0.0, 1.0, Curve::linear, 0.0, [&] { ++done; });
    EXPECT_EQ(done, 1);
    animator.clear();
    EXPECT_EQ(done, 1); // a stopping owner drops the rest silently
}

TEST(ManualClock, RunsWorkInTimeOrderAndCancels) {
    ManualClock clock;
    QStringList order;
    clock.after(2.0, [&] { order << "two"; });
    const auto one = clock.after(1.0, [&] { order << "one"; });
    clock.after(0.5, [&] { order << "half"; });
    clock.cancel(one);
    clock.advance(3.0);
    EXPECT_EQ(order, (QStringList{"half", "two"}));
    EXPECT_EQ(clock.pendingCount(), 0);
}
