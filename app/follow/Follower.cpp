#include "Follower.h"

#include "Catalog.h"
#include "Log.h"
#include "ScreenSizes.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QPointer>
#include <thread>

Follower::Follower(Environment environment, QObject* parent) : QObject(parent), env_(std::move(environment)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::VeryCoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &Follower::due);
}

Follower::~Follower() = default;

void Follower::start() {
    schedule();
}

void Follower::stop() {
    timer_.stop();
    next_ = QDateTime();
}

QSet<QString> Follower::shownProducts() {
    const auto inUse = Settings::productsInUse();
    if (inUse && !inUse->isEmpty()) return *inUse;
    QSet<QString> all;
    for (const CatalogProduct& product : Catalog::all())
        all.insert(product.id);
    return all;
}

Follow::Conditions Follower::conditions() const {
    Follow::Conditions c;
    c.followNasa = Settings::followNasa();
    c.offline = Settings::offline();
    c.mirror = !Settings::imageryHost().isEmpty();
    c.metered = env_.metered && env_.metered();
    c.meteredAllowed = Settings::useMeteredNetwork();
    c.sunShown = env_.sunShown && env_.sunShown();
    // Before a mode is chosen the desktop is left alone, so Desktop mode's default is not "on".
    c.desktopPicture = Settings::configured() && Settings::desktopActive();
    return c;
}

void Follower::schedule() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto period = Follow::periodOverride();
    next_ = period ? now.addSecs(period->count()) : Follow::nextStart(now);
    if (!logged_) {
        logged_ = true;
        log(period ? QStringLiteral("follow: a light pass every %1 s").arg(period->count())
                   : QStringLiteral("follow: light passes at :07, :27 and :47 past each hour (UTC)"),
            LogArea::cache);
    }
    timer_.start(int(std::max<qint64>(1000, now.msecsTo(next_))));
}

void Follower::due() {
    schedule();
    const auto why = Follow::whyNot(conditions());
    if (why != lastWhyNot_) {
        // Said once when it changes, not every 20 minutes.
        log(why ? QStringLiteral("follow: not following NASA: ") + *why
                : QStringLiteral("follow: following NASA as it publishes"),
            LogArea::cache);
        lastWhyNot_ = why;
    }
    if (why || busy_->exchange(true)) return;
    ScreenSizes::publish();
    QPointer<Follower> self(this);
    using Pass = std::function<FollowPass::Outcome(const QSet<QString>&, const QDateTime&)>;
    const Pass pass = env_.pass ? env_.pass : Pass(FollowPass::run);
    std::thread([self, pass, products = shownProducts(), flag = busy_] {
        const FollowPass::Outcome outcome = pass(products, QDateTime::currentDateTimeUtc());
        flag->store(false);
        QMetaObject::invokeMethod(
            qApp,
            [self, outcome] {
                if (!self) return;
                if (!outcome.skipped.isEmpty())
                    log(QStringLiteral("follow: skipped: ") + outcome.skipped, LogArea::cache);
                emit self->followed(outcome);
            },
            Qt::QueuedConnection);
    }).detach();
}
