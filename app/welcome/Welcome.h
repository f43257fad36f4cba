#pragma once
// The window of a first launch: a preview of the imagery, one button per mode with its note, and the
// screen map. Choosing a mode opens the Preferences window with that mode selected; nothing starts until
// the user confirms there. Created once and reused; its preview plays only while it is shown.
// GUI thread only.

#include "WallView.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

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
    explicit Welcome(Preferences& preferences, std::function<WallView::Environment()> wallEnvironment = {});
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
    QString title() const;

    // The title over imagery that ends at `newest`: "The Sun, the last 48 hours", or, when it is older
    // than two days at `now`, "The Sun, 48 hours to 24 Jun 2013".
    static QString titleFor(const std::optional<QDateTime>& newest, const QDateTime& now);

    // Called once with the window when it is made (the main menu goes on it).
    std::function<void(QWidget* window)> onWindowMade;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void startPreview();
    void place();

    Preferences& preferences_;
    std::function<WallView::Environment()> wallEnvironment_;
    std::unique_ptr<QWidget> window_;
    QPointer<WallView> preview_;
    ScreenMap* map_ = nullptr;
    QLabel* title_ = nullptr;
    std::vector<QPushButton*> buttons_;
    std::vector<QWidget*> anchored_; // kept at their distance from the window's bottom edge
};
