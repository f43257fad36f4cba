// The Imagery card's source control and status line: where the imagery comes from, how old it is, and
// choosing between NASA SDO's own folders and a mirror. A typed mirror is saved only after its index
// answers with usable products, judged on a worker thread.

#include "CacheSettings.h"
#include "Catalog.h"
#include "Controller.h"
#include "ImageryCost.h"
#include "PlainCause.h"
#include "Preferences.h"
#include "PreferencesRules.h"
#include "ScreenSizes.h"
#include "Settings.h"
#include "SourceStatus.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void Preferences::loadSource() {
    const QString host = Settings::imageryHost();
    const bool direct = host.isEmpty();
    (direct ? c_.directRadio : c_.mirrorRadio)->setChecked(true);
    if (!direct) c_.mirrorHost->setText(host);
    c_.mirrorHost->setEnabled(!direct);
    c_.mirrorUse->setEnabled(!direct && !checkingMirror_);
    if (!checkingMirror_)
        c_.sourceNote->setText(direct ? QStringLiteral("Straight from NASA SDO's public image folders.")
                                      : QStringLiteral("From the mirror ") + host + QLatin1Char('.'));
}

void Preferences::sourceChanged() {
    if (loading_) return;
    const bool direct = c_.directRadio->isChecked();
    c_.mirrorHost->setEnabled(!direct);
    c_.mirrorUse->setEnabled(!direct && !checkingMirror_);
    if (!direct) {
        // Nothing is saved until the typed host has answered.
        c_.sourceNote->setText(QStringLiteral("Type the mirror's host, then Check and Use."));
        c_.mirrorHost->setFocus();
        return;
    }
    if (!Settings::imageryHost().isEmpty()) {
        Settings::setImageryHost(QString());
        scheduleRefresh();
    }
    c_.sourceNote->setText(QStringLiteral("Straight from NASA SDO's public image folders."));
    refreshCacheStatus();
}

void Preferences::checkMirror() {
    if (checkingMirror_ || !c_.mirrorRadio->isChecked()) return;
    const QString typed = c_.mirrorHost->text();
    checkingMirror_ = true;
    c_.mirrorUse->setEnabled(false);
    c_.sourceNote->setText(QStringLiteral("Checking ") + Settings::hostName(typed.trimmed()) +
                           QStringLiteral("…"));
    background([this, typed] {
        const MirrorCheck::Outcome outcome = env_.checkMirror(typed);
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                checkingMirror_ = false;
                QString text = outcome.text;
                // Chosen meanwhile: the direct source stays, whatever the mirror said.
                if (outcome.usable && c_.mirrorRadio->isChecked()) {
                    Settings::setImageryHost(outcome.host);
                    c_.mirrorHost->setText(outcome.host);
                    text += QStringLiteral(" Saved.");
                    scheduleRefresh();
                }
                c_.mirrorUse->setEnabled(c_.mirrorRadio->isChecked());
                c_.sourceNote->setText(text);
                refreshCacheStatus();
                emit mirrorChecked();
            },
            Qt::QueuedConnection);
    });
}

void Preferences::refreshCacheStatus(const std::optional<QDateTime>& refused) {
    refused_ = refused;
    // Following and sharper clips concern NASA SDO's own folders; a mirror keeps its own cadence.
    const bool direct = Settings::imageryHost().isEmpty() && !Settings::offline();
    for (QCheckBox* check : {c_.followBox, c_.meteredBox, c_.sharperBox})
        check->setEnabled(direct);
    const SourceStatus::State state = SourceStatus::current(
        priming_ || (env_.downloading && env_.downloading()), QDateTime::currentDateTimeUtc());
    // Offline, the first line already says so; the second then only tells how old the imagery is. A
    // source that could not be reached is one plain sentence with the next try, then what is shown.
    QString source = state.offline ? SourceStatus::showing(state)
                                   : PlainCause::imageryLine(state, controller_.nextRefresh());
    const bool unreachable = PlainCause::showsUnreachable(state);
    if (unreachable && !SourceStatus::showing(state).isEmpty())
        source += QLatin1Char(' ') + SourceStatus::showing(state);
    if (unreachable && !SourceStatus::meteredNote(state).isEmpty())
        source += QLatin1Char(' ') + SourceStatus::meteredNote(state);
    const QString count = PreferencesRules::cacheStatusLine(state.entries, state.offline, refused);
    c_.cacheStatus->setText(source.isEmpty() ? count : count + QLatin1Char('\n') + source);
    c_.tryAgain->setVisible(unreachable);
}

void Preferences::loadFollowing() {
    c_.followBox->setChecked(Settings::followNasa());
    c_.meteredBox->setChecked(Settings::useMeteredNetwork());
    c_.sharperBox->setChecked(Settings::sharperClips());
    refreshCost();
}

void Preferences::saveFollowing() {
    if (loading_) return;
    auto put = [](bool shown, bool held, void (*set)(bool)) {
        if (shown != held) set(shown);
    };
    put(c_.followBox->isChecked(), Settings::followNasa(), Settings::setFollowNasa);
    put(c_.meteredBox->isChecked(), Settings::useMeteredNetwork(), Settings::setUseMeteredNetwork);
    put(c_.sharperBox->isChecked(), Settings::sharperClips(), Settings::setSharperClips);
    save();
    refreshCacheStatus();
}

void Preferences::refreshCost() {
    const auto inUse = Settings::productsInUse();
    QStringList products;
    for (const CatalogProduct& product : Catalog::all())
        if (!inUse || inUse->isEmpty() || inUse->contains(product.id)) products << product.id;
    const QSet<QString> sharper =
        Settings::sharperClips() ? ScreenSizes::productsOnLargeScreens() : QSet<QString>{};
    c_.costNote->setText(ImageryCost::sentence(ImageryCost::estimate(products, sharper)));
}
