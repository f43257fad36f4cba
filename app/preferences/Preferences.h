#pragma once
// The Preferences window: every setting's control, arming, starting and turning the program off. Created
// once and kept; every control writes its setting at once through Settings (there is no OK or Cancel),
// so what the window shows is what the store holds. GUI thread only; the full download runs on a worker
// thread and reports back here through queued calls.

#include "Cache.h"
#include "MirrorCheck.h"
#include "Mode.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Controller;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QThread;
class QWidget;
class ScreenGrid;
class SpaceWeatherCard;

class Preferences : public QObject {
    Q_OBJECT
public:
    // Seams; anything left empty takes the real thing.
    struct Environment {
        // The requested check of Cache::refreshNow; called on a worker thread.
        std::function<std::optional<QDateTime>(bool everything, const Cache::Progress& progress)> refreshNow;
        // The scheduled refresh a save asks for (Cache::refresh); called on a worker thread.
        std::function<void()> refresh;
        // The "Turn Off and Quit" confirmation: true to go on.
        std::function<bool(const QString& title, const QString& text)> confirm;
        std::function<void()> quit;
        // Whether the program carries the screen-saver hack it can install.
        std::function<bool()> carriesSaver;
        // Asks running downloads to stop at their next safe point (Cache::requestStop), so closing
        // never waits for one.
        std::function<void()> stop;
        // Judges a typed mirror host before it is saved (MirrorCheck::check); called on a worker thread.
        std::function<MirrorCheck::Outcome(const QString& typed)> checkMirror;
        // Whether a refresh pass is running now (the status line then says it is downloading).
        std::function<bool()> downloading;
        // The lock-screen box changed (Desktop::syncLockScreen).
        std::function<void()> lockScreenChanged;
    };

    // The controls, for the window's own wiring and for tests.
    struct Controls {
        QButtonGroup* mode = nullptr; // ids are the selector positions
        QLabel* modeHelp = nullptr;
        ScreenGrid* screensGrid = nullptr;
        QLabel* screensHint = nullptr;
        QSpinBox* idle = nullptr; // the idle field and its stepper
        QWidget* idleRow = nullptr;
        QCheckBox* lockBox = nullptr;
        QCheckBox* loginBox = nullptr;
        QCheckBox* attributionBox = nullptr;
        QCheckBox* captionUTCBox = nullptr;
        QCheckBox* frameClockBox = nullptr;
        QRadioButton* onlineRadio = nullptr;
        QRadioButton* offlineRadio = nullptr;
        QComboBox* refreshPopup = nullptr;
        QCheckBox* followBox = nullptr;  // light passes while the Sun is shown
        QCheckBox* meteredBox = nullptr; // downloads on a metered network too
        QCheckBox* sharperBox = nullptr; // 2048-pixel clips for large screens
        QLabel* costNote = nullptr;      // roughly what the chosen products download and keep
        QPushButton* primeButton = nullptr;
        QLabel* primeNote = nullptr; // "3 of 11 products" while downloading; why not while offline
        QLabel* cacheStatus = nullptr;
        QPushButton* tryAgain = nullptr;     // shown while the source could not be reached
        QLabel* cadenceNote = nullptr;       // how often the imagery is checked and fetched
        QRadioButton* directRadio = nullptr; // the imagery source: NASA SDO's own folders
        QRadioButton* mirrorRadio = nullptr; // or an imagery mirror named in mirrorHost
        QLineEdit* mirrorHost = nullptr;
        QPushButton* mirrorUse = nullptr; // checks the typed host and saves it when it answers
        QLabel* sourceNote = nullptr;
        QProgressBar* busy = nullptr;
        QCheckBox* shuffleBox = nullptr;
        QComboBox* transitionPopup = nullptr;
        QComboBox* lookPopup = nullptr;
        QComboBox* lagPopup = nullptr;
        QCheckBox* statusIconBox = nullptr;
        SpaceWeatherCard* spaceWeather = nullptr; // flare and storm notices, the wall's badge
        QCheckBox* flareNoticeBox = nullptr;      // its flare box
        QCheckBox* desktopBox = nullptr;
        QPushButton* desktopNow = nullptr;
        QCheckBox* liveBox = nullptr;
        QLabel* liveNote = nullptr; // why the live desktop cannot run here
        QCheckBox* batteryBox = nullptr;
        QCheckBox* lockScreenBox = nullptr;
        QLabel* lockScreenNote = nullptr; // why the lock screen cannot show the Sun here
        QLabel* desktopNote = nullptr;
        QSpinBox* loops = nullptr; // the loops field and its stepper
        QPushButton* startButton = nullptr;
        QPushButton* armButton = nullptr;
        QPushButton* quitButton = nullptr;
        QLabel* versionLabel = nullptr;
        QWidget* saverSection = nullptr;
        QPushButton* installButton = nullptr;
        QLabel* installNote = nullptr;
        QLabel* lockNote = nullptr;
        QLabel* presetNote = nullptr;
        QLabel* armNote = nullptr;
        // Shown when the desktop tells no idle time, saying why nothing starts on its own.
        QLabel* idleNote = nullptr;
    };

    explicit Preferences(Controller& controller, Environment environment = {});
    ~Preferences() override;

    // Stops the controller waiting, fills every control from the settings and brings the window forward.
    void open();
    // Takes the window off screen (it is kept).
    void hide();
    // Selects a mode as if the user had clicked its segment (the welcome window's buttons).
    void chooseMode(Mode mode);

    void load();
    void save();
    void applyMode();
    void modeChanged();
    void networkChanged();
    void refreshCacheStatus(const std::optional<QDateTime>& refused = std::nullopt);
    void rebuildScreens();
    void prime();
    void loginToggled();
    // The source control: the direct source is saved at once, a mirror only once its index answers.
    void sourceChanged();
    void checkMirror();
    void deactivate();
    void updateDesktopNow();
    // The full download's progress in products: those with a clip on disk of those it fetches.
    void showPrimeProgress();

    QWidget* window() const { return window_.get(); }
    const Controls& controls() const { return c_; }
    bool priming() const { return priming_; }
    bool checkingMirror() const { return checkingMirror_; }

signals:
    // A full download ended (after the window showed its outcome).
    void primed();
    // A typed mirror host was judged (after the window showed the outcome).
    void mirrorChecked();

private:
    void build();
    QWidget* buildModeCard();
    QWidget* buildScreensCard();
    QWidget* buildPlaybackCard();
    QWidget* buildDesktopCard();
    QWidget* buildGeneralCard();
    QWidget* buildStartingCard();
    QWidget* buildImageryCard();
    QWidget* buildSaverCard();
    QWidget* buildButtonRow();
    void wire();
    void applyAppearance();
    void loadSource();
    void loadFollowing();
    void saveFollowing();
    void refreshCost();
    void fitWindow();
    void orderTabs();
    void scheduleRefresh();
    bool carriesSaver() const;
    // Desktop mode, chosen: the picture is kept current whatever the desktop setting says.
    static bool desktopMode();
    // Runs `work` on a thread of its own, which the destructor waits for.
    void background(std::function<void()> work);

    Controller& controller_;
    Environment env_;
    std::unique_ptr<QWidget> window_;
    Controls c_;
    bool loading_ = false;
    bool priming_ = false;
    bool checkingMirror_ = false;
    QTimer refreshLater_;
    QTimer statusFollow_;              // keeps the cache line current while the window is up
    QTimer primeFollow_;               // counts the products on disk while a full download runs
    std::optional<QDateTime> refused_; // the last refusal shown, kept while it lasts
    std::vector<QPointer<QThread>> workers_;
};
