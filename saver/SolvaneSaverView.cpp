#include "SolvaneSaverView.h"

#include "Cache.h"
#include "Log.h"
#include "SaverSetup.h"
#include "Settings.h"
#include "WallView.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <QResizeEvent>
#include <QThreadPool>

SolvaneSaverView::SolvaneSaverView(bool isPreview, QWidget* parent) : QWidget(parent), preview_(isPreview) {
    SaverSetup::run();
    // A screen with nothing to play is black, not the window system's grey.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

SolvaneSaverView::~SolvaneSaverView() {
    stopAnimation();
}

void SolvaneSaverView::startAnimation(const Placement& placement) {
    screenName_ = placement.screenName;
    if (!Settings::isEnabled(placement.index)) {
        log(QStringLiteral("saver: screen ") + QString::number(placement.index) +
                QStringLiteral(" is Off, staying black"),
            LogArea::saver);
        return;
    }
    WallView::Options options;
    options.products = Settings::productList(placement.index);
    options.scale = placement.scale;
    if (Settings::attribution()) options.attribution = Settings::storeHost();
    options.kind = preview_ ? ViewKind::preview : ViewKind::full;
    options.skipOnScreen = false;
    auto* wall = new WallView(size(), options, {}, this);
    wall->setGeometry(rect());
    wall->show();
    if (wall_) {
        wall_->stop();
        delete wall_;
    }
    wall_ = wall;
    if (!Cache::readOnly()) refreshIfStale();
}

void SolvaneSaverView::stopAnimation() {
    if (!wall_) return;
    wall_->stop();
    delete wall_;
    wall_ = nullptr;
}

void SolvaneSaverView::animateOneFrame() {
    ++ticks_;
    if (ticks_ % 2 == 1 && screenName_)
        log(QStringLiteral("saver: ") + *screenName_ + QStringLiteral(" headroom ") +
                QString::number(headroom(), 'f', 1),
            LogArea::saver);
}

void SolvaneSaverView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (wall_) wall_->setGeometry(rect());
}

void SolvaneSaverView::refreshIfStale() {
    // The pass decides for itself whether one is due, and blocks while it downloads: never on this thread.
    // Afterwards the wall reads the flares and X-ray level again.
    QPointer<SolvaneSaverView> self(this);
    QThreadPool::globalInstance()->start([self] {
        Cache::refresh();
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (self && self->wall_) self->wall_->reloadSpaceWeather();
            },
            Qt::QueuedConnection);
    });
}
