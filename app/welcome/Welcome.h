#pragma once
// The window of a first launch: a preview of the imagery, one button per mode with its note, the screen
// map and a way to Settings. A mode button does what it promises: Wall starts the wall, Screen Saver
// arms and says so, Desktop sets the picture (or says it waits for today's Sun), Kiosk opens Settings
// where the kiosk is prepared. Created once and reused; its preview plays only while it is shown.
// GUI thread only.

#include "SourceStatus.h"
#include "WallView.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class Controller;
class Preferences;
class QLabel;
class QPushButton;
class QWidget;
class ScreenMap;

class Welcome : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 760;
    static constexpr int height = 560;

    // `wallEnvironment` gives the preview's seams (tests: a manual clock and a fixed cache).
    Welcome(Preferences& preferences, Controller& controller,
            std::function<WallView::Environment()> wallEnvironment = {});
    ~Welcome() override;

    // Brings the window forward when it is up; otherwise shows it with a fresh preview.
    void show();
    // Stops the preview and takes the window off screen.
    void close();
    // A mode button: `tag` is the mode's selector position.
    void choose(int tag);

    QWidget* window() const { return window_.get(); }
    WallView* preview() const { return preview_; }
    ScreenMap* screenMap() const { return map_; }
    QPushButton* button(int tag) const;
    QPushButton* settingsButton() const { return settings_; }
    QString title() const;
    // The line under the title: how to choose, or what the last choice did.
    QString note() const;

    // The title for what is cached: "The Sun, the last 48 hours" over imagery of the last two days,
    // "The Sun, 48 hours to 24 Jun 2013" over older imagery; with only the bundled clip, "Today's Sun is
    // on its way", or why it can't come ("Today's Sun can't come: no connection").
    static QString titleFor(const SourceStatus::State& state);

    // Called once with the window when it is made (the main menu goes on it).
    std::function<void(QWidget* window)> onWindowMade;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void startPreview();
    void place();
    void refreshTitle();
    void say(const QString& text);

    Preferences& preferences_;
    Controller& controller_;
    std::function<WallView::Environment()> wallEnvironment_;
    std::unique_ptr<QWidget> window_;
    QPointer<WallView> preview_;
    ScreenMap* map_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* settings_ = nullptr;
    QTimer follow_; // the title follows the cache while the window is up
    std::vector<QPushButton*> buttons_;
    std::vector<QWidget*> anchored_; // kept at their distance from the window's bottom edge
};
