#pragma once
// The Preferences card "Space weather": which flares and geomagnetic storms bring a desktop notice, and
// the wall's badge. Each control writes its setting at once, like every other control of the window.
// GUI thread only.

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;

class SpaceWeatherCard : public QFrame {
    Q_OBJECT
public:
    explicit SpaceWeatherCard(QWidget* parent = nullptr);

    // Fills the controls from the settings without writing them back.
    void load();

    QCheckBox* flareBox() const { return flareBox_; }
    QComboBox* flareClass() const { return flareClass_; }
    QCheckBox* stormBox() const { return stormBox_; }
    QComboBox* stormLevel() const { return stormLevel_; }
    QCheckBox* badgeBox() const { return badgeBox_; }

signals:
    // A setting was written from the card.
    void changed();

private:
    void save();

    QCheckBox* flareBox_ = nullptr;
    QComboBox* flareClass_ = nullptr;
    QCheckBox* stormBox_ = nullptr;
    QComboBox* stormLevel_ = nullptr;
    QCheckBox* badgeBox_ = nullptr;
    QLabel* note_ = nullptr;
    bool loading_ = false;
};
