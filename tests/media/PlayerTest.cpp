#include "Player.h"
#include "FrameConverter.h"
#include "FrameGrabber.h"
#include "IndexClip.h"
#include "ResidentSize.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <vector>

namespace {

// What a player handed over, recorded from its threads.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> indices;
    std::vector<double> seconds;
    std::vector<double> presentedAt;
    std::vector<QSize> sizes;
    std::vector<double> times;
    int ends = 0;

    Player::Callbacks callbacks() {
        Player::Callbacks c;
        c.frame = [this](const VideoFrame& frame) {
            std::lock_guard lock(mutex);
            indices.push_back(frameIndex(frame.image));
            seconds.push_back(frame.seconds);
            presentedAt.push_back(frame.presentedAt);
            sizes.push_back(frame.image.size());
            changed.notify_all();
        };
        c.time = [this](double at) {
            std::lock_guard lock(mutex);
            times.push_back(at);
            changed.notify_all();
        };
        c.end = [this] {
            std::lock_guard lock(mutex);
            ++ends;
            changed.notify_all();
        };
        return c;
    }

    template <typename Predicate> bool waitFor(Predicate done, int seconds = 20) {
        std::unique_lock lock(mutex);
        // On the system clock: the sanitizer sees pthread_cond_timedwait but not the steady clock's wait.
        const auto until = std::chrono::system_clock::now() + std::chrono::seconds(seconds);
        return changed.wait_until(lock, until, [&] { return done(); });
    }
    // Wakes waitFor after a change made outside the callbacks above.
    void poke() {
        std::lock_guard lock(mutex);
        changed.notify_all();
    }
    size_t frameCount() {
        std::lock_guard lock(mutex);
        return indices.size();
    }
};

class Playing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        clip = new QString(makeIndexClip(folder->path(), QStringLiteral("slots.mp4")));
        IndexClipOptions shortOptions;
        shortOptions.frames = 18;
        shortClip = new QString(makeIndexClip(folder->path(), QStringLiteral("short.mp4"), shortOptions));
    }
    static void TearDownTestSuite() {
        delete shortClip;
        delete clip;
        delete folder;
    }
    static QTemporaryDir* folder;
    static QString* clip;
    static QString* shortClip;
};
QTemporaryDir* Playing::folder = nullptr;
QString* Playing::clip = nullptr;
QString* Playing::shortClip = nullptr;

TEST_F(Playing, HalfRatePresentsEveryFrameOnTimeAndEndsOnce) {
    Recorder record;
    auto clock = std::make_shared<VirtualClock>(100.0);
    auto player = Player::open(*clip, record.callbacks(), clock);
    ASSERT_TRUE(player);
    ASSERT_TRUE(record.waitFor([&] { return record.indices.size() == 1; }));
    player->play(0.5);
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    player->stop();

    // The first frame is shown once on open and is not shown again when play starts from it.
    ASSERT_EQ(record.indices.size(), 144u);
    for (int k = 0; k < 144; ++k) {
        EXPECT_EQ(record.indices[size_t(k)], k);
        EXPECT_NEAR(record.seconds[size_t(k)], k / 18.0, 1e-9);
        if (k > 0) {
            EXPECT_NEAR(record.presentedAt[size_t(k)] - 100.0, k / 9.0, 1e-6) << k;
        }
    }
    // The end comes when the last frame's span has passed: 8 s of clip at half rate.
    EXPECT_NEAR(clock->now() - 100.0, 16.0, 1e-6);
    EXPECT_EQ(record.ends, 1);
    // Every 1/9 s of clip time is every second frame at 18 frames per second.
    ASSERT_EQ(record.times.size(), 72u);
    for (size_t i = 0; i < record.times.size(); ++i)
        EXPECT_NEAR(record.times[i], double(i) / 9.0, 1e-9);
}

TEST_F(Playing, SeekShowsExactlyTheSlotWhilePaused) {
    Recorder record;
    auto player = Player::open(*clip, record.callbacks(), std::make_shared<VirtualClock>());
    ASSERT_TRUE(player);
    for (int slot : {100, 143, 5, 36, 35, 0, 77}) {
        const size_t before = record.frameCount();
        std::atomic<int> finished{-1};
        player->seek((slot + 0.5) / 18.0, [&](bool done) {
            finished = done ? 1 : 0;
            record.poke();
        });
        ASSERT_TRUE(
            record.waitFor([&] { return record.indices.size() == before + 1 && finished.load() == 1; }));
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.indices.back(), slot);
        EXPECT_NEAR(record.times.back(), (slot + 0.5) / 18.0, 1e-9);
    }
    // Paused: nothing more arrives.
    const size_t shown = record.frameCount();
    QThread::msleep(100);
    EXPECT_EQ(record.frameCount(), shown);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentSeconds(), 77.5 / 18.0, 1e-9);
}

TEST_F(Playing, PlayAfterSeekContinuesWithTheNextFrame) {
    Recorder record;
    auto player = Player::open(*clip, record.callbacks(), std::make_shared<VirtualClock>());
    ASSERT_TRUE(player);
    player->seek(140 / 18.0);
    player->play(0.5);
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    std::lock_guard lock(record.mutex);
    ASSERT_GE(record.indices.size(), 4u);
    const std::vector<int> tail(record.indices.end() - 4, record.indices.end());
    EXPECT_EQ(tail, (std::vector<int>{140, 141, 142, 143}));
}

TEST_F(Playing, PauseHoldsTheFrameAndPlayResumes) {
    Recorder record;
    auto clock = std::make_shared<VirtualClock>();
    std::unique_ptr<Player> player;
    std::atomic<bool> pausedOnce{false};
    player = Player::open(*clip, record.callbacks(), clock);
    ASSERT_TRUE(player);
    // The hook runs on the decode thread for each frame; at frame 20 it pauses the player from there.
    player->setFrameHook([&](double seconds, const QImage&) -> std::optional<QImage> {
        if (std::lround(seconds * 18) == 20 && !pausedOnce.exchange(true)) {
            player->pause();
            record.poke();
        }
        return std::nullopt;
    });
    player->play(1.0);
    ASSERT_TRUE(record.waitFor([&] { return pausedOnce.load(); }));
    QThread::msleep(150);
    const size_t held = record.frameCount();
    QThread::msleep(150);
    EXPECT_EQ(record.frameCount(), held);
    EXPECT_FALSE(player->isPlaying());
    player->play();
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    player->stop();
    // No frame lost or shown twice across the pause.
    ASSERT_EQ(record.indices.size(), 144u);
    for (int k = 0; k < 144; ++k)
        EXPECT_EQ(record.indices[size_t(k)], k);
}

TEST_F(Playing, EndFiresOncePerPlayAndPlayAtTheEndStartsOver) {
    Recorder record;
    auto player = Player::open(*shortClip, record.callbacks(), std::make_shared<VirtualClock>());
    ASSERT_TRUE(player);
    player->play(2.0);
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    QThread::msleep(50);
    EXPECT_EQ(record.ends, 1);
    EXPECT_FALSE(player->isPlaying());
    player->play();
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 2; }));
    // Looping the way a wall does: back to the start, play again.
    player->seek(0);
    player->play();
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 3; }));
    // A seek at the end is where the next play starts, not the beginning.
    player->seek(0.5);
    player->play();
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 4; }));
    player->stop();
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.indices.size(),
              18u + 18u + 18u + 9u); // the first frame shows on open, then again at each start
    EXPECT_EQ(record.indices[54], 9);
    EXPECT_EQ(record.indices.back(), 17);
}

TEST_F(Playing, HookReplacesFramesBeforeTheyAreScaledToTheTarget) {
    Recorder record;
    // The size given at open holds from the first frame on.
    auto player = Player::open(*shortClip, record.callbacks(), std::make_shared<VirtualClock>(), nullptr,
                               QSize(32, 32));
    ASSERT_TRUE(player);
    std::atomic<bool> fullSize{true};
    player->setFrameHook([&](double, const QImage& image) -> std::optional<QImage> {
        if (image.size() != QSize(64, 32)) fullSize = false;
        QImage inverted = image;
        inverted.invertPixels();
        return inverted;
    });
    player->play(4.0);
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    player->stop();
    EXPECT_TRUE(fullSize.load());
    std::lock_guard lock(record.mutex);
    ASSERT_EQ(record.indices.size(), 18u);
    EXPECT_EQ(record.sizes[0], QSize(32, 16));
    for (size_t k = 1; k < 18; ++k) {
        EXPECT_EQ(record.sizes[k], QSize(32, 16));
        EXPECT_EQ(record.indices[k], 255 - int(k)); // inverted bits read as the complement
    }
}

// A sink that converts frames itself (a wall writing them into its window) gets them as decoded, at the
// size they are shown, and converting them gives the pixels the player would have; a hook's pictures still
// come as pictures.
TEST_F(Playing, ASinkThatConvertsGetsFramesAsDecodedWithThePlayersPixels) {
    const auto playAll = [](Player::Conversion conversion, bool hook) {
        std::vector<VideoFrame> frames;
        std::mutex mutex;
        Player::Callbacks callbacks;
        callbacks.conversion = conversion;
        callbacks.frame = [&](const VideoFrame& frame) {
            std::lock_guard lock(mutex);
            frames.push_back(frame);
        };
        std::atomic<bool> ended{false};
        callbacks.end = [&] { ended = true; };
        auto player =
            Player::open(*shortClip, callbacks, std::make_shared<VirtualClock>(), nullptr, QSize(48, 48));
        if (hook) player->setFrameHook([](double, const QImage&) { return std::nullopt; });
        player->play(4.0);
        QElapsedTimer timer;
        timer.start();
        while (!ended && timer.elapsed() < 20000)
            QThread::msleep(5);
        player->stop();
        return frames;
    };
    const std::vector<VideoFrame> pictures = playAll(Player::Conversion::byPlayer, false);
    const std::vector<VideoFrame> decoded = playAll(Player::Conversion::bySink, false);
    ASSERT_EQ(pictures.size(), 18u);
    ASSERT_EQ(decoded.size(), 18u);
    FrameConverter converter(FrameConverter::Use::playback);
    for (size_t k = 0; k < 18; ++k) {
        ASSERT_TRUE(decoded[k].decoded && decoded[k].image.isNull()) << k;
        EXPECT_EQ(decoded[k].size, QSize(48, 24));
        QImage written(decoded[k].size, QImage::Format_RGB32);
        ASSERT_TRUE(converter.write(decoded[k].decoded.get(), decoded[k].size, written.bits(),
                                    written.bytesPerLine()));
        written.setColorSpace(pictures[k].image.colorSpace());
        EXPECT_EQ(written, pictures[k].image) << k;
        EXPECT_EQ(frameIndex(written), int(k));
    }
    const std::vector<VideoFrame> hooked = playAll(Player::Conversion::bySink, true);
    ASSERT_FALSE(hooked.empty());
    EXPECT_TRUE(!hooked.front().decoded && hooked.front().image.size() == QSize(48, 24));
}

TEST_F(Playing, SteadyClockPlaysInRealTime) {
    Recorder record;
    auto player = Player::open(*shortClip, record.callbacks());
    ASSERT_TRUE(player);
    ASSERT_TRUE(record.waitFor([&] { return record.indices.size() == 1; }));
    QElapsedTimer timer;
    timer.start();
    player->play(4.0); // 1 s of clip in a quarter second
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    EXPECT_GE(timer.elapsed(), 230);
    player->stop();
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.indices.size(), 18u);
}

TEST_F(Playing, CallbacksRunOnTheContextThreadAndNeverAfterStop) {
    int argc = 1;
    char name[] = "media_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    Recorder record;
    Player::Callbacks callbacks = record.callbacks();
    std::atomic<bool> offThread{false};
    const auto recordTime = callbacks.time;
    callbacks.time = [&, recordTime](double at) {
        if (QThread::currentThread() != app.thread()) offThread = true;
        recordTime(at);
    };
    callbacks.context = &context;
    auto player = Player::open(*shortClip, callbacks, std::make_shared<VirtualClock>());
    ASSERT_TRUE(player);
    player->play(1.0);
    // The decode thread finishes at once on a virtual clock, but nothing reaches us until events run.
    ASSERT_TRUE(record.waitFor([&] { return record.indices.size() == 18; }));
    QThread::msleep(50);
    EXPECT_EQ(record.ends, 0);
    EXPECT_TRUE(record.times.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(record.ends, 1);
    EXPECT_EQ(record.times.size(), 9u);
    EXPECT_FALSE(offThread.load());

    // Queued before stop, dropped after it.
    player->seek(0);
    ASSERT_TRUE(record.waitFor([&] { return record.indices.size() == 19; }));
    player->stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(record.times.size(), 9u);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// Started and stopped a thousand times, a player leaves nothing behind: the resident size stays flat.
// Under the sanitizers (where each start costs a hundred times more) fewer rounds run, and the leak
// checker accounts for every buffer instead.
TEST_F(Playing, StartStopThousandTimesKeepsMemoryFlat) {
    long warm = 0;
    const int rounds = sanitized ? 150 : 1000;
    for (int i = 0; i < rounds; ++i) {
        Recorder record;
        auto player = Player::open(*shortClip, record.callbacks(), std::make_shared<VirtualClock>());
        ASSERT_TRUE(player);
        player->play(1.0);
        if (i % 2) {
            ASSERT_TRUE(record.waitFor([&] { return record.indices.size() >= 3; }));
        }
        player->stop();
        if (i == 99) warm = residentKilobytes();
    }
    if (!sanitized) {
        EXPECT_LT(residentKilobytes() - warm, 16 * 1024) << "resident size grew";
    }
}

// A look subtracts reference frames the grabber takes from the frames the hook is handed. The two must
// agree to the pixel, or an unchanged picture shows up as noise along its colour edges. Frames played
// without a look are converted more cheaply and may differ there.
TEST(PlayingWithALook, HookSeesTheGrabbersPixels) {
    QTemporaryDir folder;
    const QString clip = folder.filePath(QStringLiteral("colour.mp4"));
    runTool(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"), QStringLiteral("testsrc2=s=160x96:r=18"), QStringLiteral("-frames:v"),
             QStringLiteral("6"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
             QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), clip});
    Recorder record;
    std::mutex mutex;
    std::map<double, QImage> handed;
    auto player = Player::open(clip, record.callbacks(), std::make_shared<VirtualClock>());
    ASSERT_TRUE(player);
    player->setFrameHook([&](double seconds, const QImage& image) -> std::optional<QImage> {
        std::lock_guard lock(mutex);
        handed[seconds] = image;
        return std::nullopt;
    });
    player->play(4.0);
    ASSERT_TRUE(record.waitFor([&] { return record.ends == 1; }));
    player->stop();

    auto grabber = FrameGrabber::open(clip);
    ASSERT_TRUE(grabber);
    std::lock_guard lock(mutex);
    EXPECT_GE(handed.size(), 5u);
    for (const auto& [seconds, image] : handed) {
        const auto grabbed = grabber->frame(seconds, FrameGrabber::Tolerance::exact);
        ASSERT_TRUE(grabbed);
        EXPECT_TRUE(image == *grabbed) << "frame at " << seconds << " s";
    }
}

} // namespace
