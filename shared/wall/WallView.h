#pragma once
// The view that fills one screen with the Sun. It plays its playlist's cached clips one after another at
// half speed through two player slots, runs the transition between them, and draws the chrome (caption,
// attribution, frame clock, timeline, information card, QR plate, space-weather badge) over the video.
//
// Threads: everything here runs on the GUI thread. Players decode, apply the look and scale on their own
// threads and hand finished frames to a mailbox; the view only composes layers. Player time and end
// callbacks are queued to the view and ignored unless they come from the player they are meant for.
// Ownership: the view owns its players, clock and timers; its owner calls stop() before dropping it
// (the destructor stops too).

#include "Animator.h"
#include "CacheEntry.h"
#include "ClipChooser.h"
#include "Look.h"
#include "PlayerClock.h"
#include "Playlist.h"
#include "Provenance.h"
#include "QrImage.h"
#include "SpaceWeatherFile.h"
#include "Transition.h"
#include "TransitionGeometry.h"
#include "TypeScale.h"
#include "ViewClock.h"
#include "WallChrome.h"

#include <QDateTime>
#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class Player;
class QLabel;
struct FileSignature;

class WallView : public QWidget {
    Q_OBJECT
public:
    static constexpr double rate = 0.5;          // clips play at half their recorded speed
    static constexpr double pointsPerSlot = 8.0; // pointer travel that moves a scrub by one slot

    struct Options {
        QStringList products;               // ids to show; empty: every cached product
        double scale = 1.0;                 // device pixels per point
        std::optional<QString> attribution; // attribution line, if any
        ViewKind kind = ViewKind::full;
        bool skipOnScreen = false; // neither claim products nor avoid other screens' products
    };

    // Seams for tests; anything left empty takes the real thing.
    struct Environment {
        std::shared_ptr<ViewClock> clock;                 // timers and animations
        std::shared_ptr<PlayerClock> playerClock;         // what players present frames by
        std::function<bool()> reduceMotion;               // the desktop's reduce-motion preference
        std::function<std::vector<CacheEntry>()> entries; // the cached clips
        std::function<QString(const CacheEntry&)> clipPath;
        // The flares and X-ray level (default: the cache folder's file, read again when it changed).
        std::function<std::optional<SpaceWeather::Record>()> spaceWeather;
        // The last refresh pass (default: the cache folder's record), so a screen whose product is
        // missing can say why.
        std::function<std::optional<Cache::LastPass>()> lastPass;
    };

    // What is on screen now, for saving and sharing.
    struct Shown {
        CacheEntry entry;
        QString file;
        double seconds = 0;
        Provenance provenance;
    };

    // A plain copy of the state the chrome and the tests look at.
    struct State {
        QString captionLine, clockLine, attributionText;
        QString flareLine; // the flare the caption band names now; empty while none shows
        QStringList badge; // the space-weather badge's lines while it has a place on screen
        bool captionUp = false, timeHeld = false, paused = false, policyPaused = false, infoUp = false;
        bool stopped = false, waiting = false;
        bool playing = false; // the active player is playing
        std::optional<int> heldSlot;
        double scrubCarry = 0, progress = 0;
        int active = 0, index = 0, loopsDone = 0, clipsShown = 0;
        std::optional<QString> lastID;
        std::optional<QString> clipID;
        std::optional<QUrl> link;
        bool lookShown = false;
        std::array<bool, 2> hasPlayer{false, false};
    };

    // Builds the layers, forms the playlist and starts the first clip at once.
    WallView(QSize size, Options options, Environment environment = {}, QWidget* parent = nullptr);
    ~WallView() override;

    void stop();
    void setPaused(bool byPolicy);
    void togglePause();
    void step(int delta);
    void stepFrame(int delta);
    void scrub(double byPoints);
    void cycleLook();
    void toggleInfo();
    void showInfo(std::optional<double> forSeconds);
    void hideInfo();
    void showTime(bool held);
    // Reads the flares and X-ray level again (a pass has finished) and re-marks the clip on screen. Each
    // new clip also looks whether the file changed.
    void reloadSpaceWeather();

    std::optional<Shown> shown() const;
    bool paused() const { return paused_; }
    bool infoUp() const { return infoUp_; }
    State state() const;

    // Opacities on screen now (layers: the two video slots).
    double layerOpacity(int slot) const;
    std::optional<QPainterPath> layerMask(int slot) const;
    double captionOpacity() const;
    double scrimOpacity() const;
    double clockOpacity() const;
    double timelineOpacity() const;
    double cardOpacity() const;
    double qrOpacity() const;
    double flareOpacity() const;
    double badgeOpacity() const; // fades with the caption
    std::optional<QRectF> badgeRect() const { return badgeRect_; }
    const std::vector<FlareMarks::Mark>& flareMarks() const { return marks_; }
    const ChromeLayout& chromeLayout() const { return layout_; }
    ViewClock& clock() { return *clock_; }
    int redraws() const { return redraws_; }
    int framesWritten() const { return framesWritten_; } // straight into the window, with no picture between
    int qrRenders() const { return qr_.renders(); }

    // "UNKNOWN" for a missing or unreadable ISO 8601 time, else the caption's time of it.
    static QString pretty(const std::optional<QString>& iso);
    // The playlist's choosing rule, kept on the view for the checks that drive it from here.
    static std::optional<int> nextIndex(const QStringList& ids, int from, const QSet<QString>& elsewhere,
                                        const std::optional<QString>& last) {
        return Playlist::nextIndex(ids, from, elsewhere, last);
    }
    static int rewound(int cursor, int count) { return Playlist::rewound(cursor, count); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Slot;
    struct Mailbox;
    struct Running {
        Transition style;
        bool first = false;
        double begin = 0;
        int from = 0, to = 1;
    };

    void playCurrent(bool keepInstant = false);
    bool startOver(const CacheEntry& entry, const QString& file, const FileSignature& stamp);
    bool takeOverPlayer(int next, const QString& file, const FileSignature& stamp);
    bool openPlayer(int next, const CacheEntry& entry, const QString& file, const FileSignature& stamp);
    void showWaiting();
    // Why a product not in the cache is not there: "offline is on", "can't reach NASA SDO", or empty
    // while it may still arrive.
    QString whyNotDownloaded() const;
    void startStep(int next, quint64 playerID, const CacheEntry& entry, Transition style, bool first);
    void clipStarted(const CacheEntry& entry, quint64 playerID);
    void releaseHold();
    void applyLook(Slot& slot, const CacheEntry& entry);
    void runTransition(int from, int to, Transition style, bool first);
    void releaseSlot(int slot);
    void clipEnded(quint64 playerID);
    void playerTime(quint64 playerID, double seconds);
    void installLook(Slot& slot, const QString& product, Look look);

    // Chrome.
    void showCaption(const CacheEntry& entry, Look look);
    void showSlot(int slot, int slotCount);
    void refreshTime();
    void refreshQR();
    // Fills the card for the frame on screen, or for `atSlot` (the slot the clock shows) when given.
    void setCard(std::optional<int> atSlot = std::nullopt);
    void placeMarks();
    void showFlare(const std::optional<QDateTime>& frame);
    void placeBadge();
    void layoutChrome();
    void animationChanged();
    void frameArrived();
    bool writeFrame(QPainter& painter, Slot& slot, const QRegion& region);
    QRect chromeBand() const;
    QRectF frameTarget(int slot) const;
    std::optional<QDateTime> shownInstant() const;
    Player* activePlayer() const;
    std::optional<int> activeSlotCount() const;
    bool reduceMotion() const;
    QSize pixelSize() const;
    void cancel(ViewClock::WorkID& id);

    Options options_;
    Environment env_;
    std::shared_ptr<ViewClock> clock_;
    Animator animator_;

    bool policyPaused_ = false;
    bool stopped_ = false;
    std::unique_ptr<ClipChooser> chooser_;
    std::array<std::unique_ptr<Slot>, 2> slots_;
    int active_ = 0;
    quint64 nextPlayerID_ = 1;
    quint64 observed_ = 0;
    std::optional<Running> running_;
    bool waiting_ = false;
    ViewClock::WorkID retry_ = 0;

    double factor_ = 1.0;
    ChromeSizes sizes_;
    ChromeLayout layout_;
    QrImage qr_;
    ChromeCache chromeCache_;
    std::optional<QUrl> link_;
    ViewClock::WorkID captionHide_ = 0;
    QString captionName_;
    QString captionLine_;
    std::optional<CacheEntry> clip_;
    bool lookShown_ = false;
    std::optional<QDateTime> clipEnd_;
    bool clipChecked_ = false;
    bool clockShown_ = true; // false for a clip whose frame clock cannot be trusted
    QString clockLine_;
    double progress_ = 0;
    double chromeStepped_ = -1; // when a fade of the chrome alone last repainted
    static constexpr double chromeStepSeconds = 0.03;
    bool captionUp_ = false;
    bool timeHeld_ = false;
    bool paused_ = false;
    std::optional<int> heldSlot_;
    ViewClock::WorkID scrubbing_ = 0;
    double scrubCarry_ = 0;
    QStringList cardLines_;
    ViewClock::WorkID cardHide_ = 0;
    ViewClock::WorkID cardShow_ = 0;
    int clipsShown_ = 0;
    bool infoUp_ = false;
    int redraws_ = 0;
    int framesWritten_ = 0;
    QRect frameRect_; // where the last paint put the active frame, alone and opaque; empty otherwise
    // What assistive technology reads: the caption and the card as objects of their own, empty and
    // transparent to the mouse, placed where the view draws them.
    QLabel* captionText_ = nullptr;
    QLabel* cardText_ = nullptr;
    // Flares: the record, the marks of the clip on screen with a text object each (its class), and the
    // line naming the flare under the playhead (made when first needed).
    SpaceWeatherFile weatherFile_;
    std::optional<SpaceWeather::Record> weather_;
    std::vector<FlareMarks::Mark> marks_;
    std::vector<QLabel*> markTexts_;
    QLabel* flareText_ = nullptr;
    QString flareLine_;
    // The space-weather badge (when the setting asks for it on a full-size view): its lines, where it
    // goes (nothing where it would cover the disc) and its text object, made when first needed.
    QStringList badgeLines_;
    std::optional<QRectF> badgeRect_;
    QLabel* badgeText_ = nullptr;
};
