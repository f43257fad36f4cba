#include "SpaceWeatherCard.h"

#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QWidget* line(const QList<QWidget*>& widgets) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return holder;
}

QComboBox* choices(const QString& name, const QList<std::pair<QString, QVariant>>& items) {
    auto* combo = new QComboBox;
    combo->setAccessibleName(name);
    for (const auto& [title, value] : items)
        combo->addItem(title, value);
    return combo;
}

} // namespace

SpaceWeatherCard::SpaceWeatherCard(QWidget* parent) : QFrame(parent) {
    // Dressed as the window's other cards: a framed panel whose first line is its title.
    setObjectName(QStringLiteral("card"));
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("Space weather"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(6);
    auto* heading = new QLabel(QStringLiteral("Space weather"));
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);

    flareBox_ = new QCheckBox(QStringLiteral("Notify me of solar flares of class"));
    flareBox_->setAccessibleName(QStringLiteral("Notify me of solar flares"));
    flareClass_ = choices(QStringLiteral("Weakest flare class notified"),
                          {{QStringLiteral("C"), QStringLiteral("C")},
                           {QStringLiteral("M1"), QStringLiteral("M1")},
                           {QStringLiteral("M5"), QStringLiteral("M5")},
                           {QStringLiteral("X1"), QStringLiteral("X1")}});
    stormBox_ = new QCheckBox(QStringLiteral("Notify me of geomagnetic storms of"));
    stormBox_->setAccessibleName(QStringLiteral("Notify me of geomagnetic storms"));
    QList<std::pair<QString, QVariant>> levels;
    for (int level = 1; level <= 5; ++level)
        levels.append({QStringLiteral("G%1").arg(level), level});
    stormLevel_ = choices(QStringLiteral("Weakest storm level notified"), levels);
    badgeBox_ = new QCheckBox(QStringLiteral("Show a badge on the wall while a NOAA scale is at 1 or more"));
    badgeBox_->setAccessibleName(badgeBox_->text());
    badgeBox_->setToolTip(
        QStringLiteral("\"G2 geomagnetic storm\" or \"R3 radio blackout\" in a corner, beside "
                       "the Sun, while the caption shows. On in Kiosk."));
    note_ =
        new QLabel(QStringLiteral("Desktop notices from NOAA SWPC's data, once per event: none in a kiosk, "
                                  "while offline, or for events more than an hour old. Off by default."));
    note_->setWordWrap(true);
    QFont small = note_->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note_->setFont(small);
    note_->setForegroundRole(QPalette::PlaceholderText);

    layout->addWidget(line({flareBox_, flareClass_, new QLabel(QStringLiteral("or above"))}));
    layout->addWidget(line({stormBox_, stormLevel_, new QLabel(QStringLiteral("or above"))}));
    layout->addWidget(badgeBox_);
    layout->addWidget(note_);

    for (QCheckBox* box : {flareBox_, stormBox_, badgeBox_})
        connect(box, &QCheckBox::toggled, this, &SpaceWeatherCard::save);
    for (QComboBox* combo : {flareClass_, stormLevel_})
        connect(combo, &QComboBox::currentIndexChanged, this, &SpaceWeatherCard::save);
}

void SpaceWeatherCard::load() {
    loading_ = true;
    flareBox_->setChecked(Settings::notifyFlares());
    flareClass_->setCurrentIndex(std::max(0, flareClass_->findData(Settings::flareNoticeClass())));
    const qint64 storms = Settings::notifyStorms();
    stormBox_->setChecked(storms > 0);
    // Off keeps the level last chosen in view, so ticking the box again brings it back.
    if (storms > 0) stormLevel_->setCurrentIndex(stormLevel_->findData(int(storms)));
    badgeBox_->setChecked(Settings::spaceWeatherBadge());
    flareClass_->setEnabled(flareBox_->isChecked());
    stormLevel_->setEnabled(stormBox_->isChecked());
    loading_ = false;
}

void SpaceWeatherCard::save() {
    flareClass_->setEnabled(flareBox_->isChecked());
    stormLevel_->setEnabled(stormBox_->isChecked());
    if (loading_) return;
    if (flareBox_->isChecked() != Settings::notifyFlares()) Settings::setNotifyFlares(flareBox_->isChecked());
    const QString flareClass = flareClass_->currentData().toString();
    // The class is written once chosen away from the default, so an untouched setting stays absent.
    if (flareClass != Settings::flareNoticeClass()) Settings::setFlareNoticeClass(flareClass);
    const qint64 storms = stormBox_->isChecked() ? stormLevel_->currentData().toInt() : 0;
    if (storms != Settings::notifyStorms()) Settings::setNotifyStorms(storms);
    if (badgeBox_->isChecked() != Settings::spaceWeatherBadge())
        Settings::setSpaceWeatherBadge(badgeBox_->isChecked());
    emit changed();
}
