// Following NASA from the controller: light passes only while the Sun is shown (or Desktop mode is on)
// and the network allows them, for the products the screens show, with one log line per change.
#include "Follower.h"
#include "AppFixture.h"
#include "DesktopSession.h"
#include "RecordingNetworkCost.h"

#include <mutex>

TEST_F(AppGui, FollowsNasaOnlyWhileTheSunIsShownAndTheNetworkAllows) {
    qputenv("SOLVANE_FOLLOW_SECONDS", "1");
    Settings::setConfigured(true);
    Settings::setProducts({"171", "304"});
    auto network = std::make_shared<RecordingNetworkCost>();
    std::mutex lock;
    std::vector<QSet<QString>> passes;
    auto count = [&] {
        std::lock_guard guard(lock);
        return passes.size();
    };
    App::Environment env = environment();
    env.network = network;
    env.followPass = [&](const QSet<QString>& products, const QDateTime&) {
        std::lock_guard guard(lock);
        passes.push_back(products);
        return FollowPass::Outcome{};
    };
    App app(env);
    CapturedLog captured;
    app.follower().start();

    // Nothing shows the Sun in wall mode before the wall starts: no pass.
    EXPECT_FALSE(waitUntil([&] { return count() > 0; }, 2500));
    app.show();
    ASSERT_TRUE(waitUntil([&] { return count() > 0; }, 5000));
    EXPECT_EQ(passes.front(), (QSet<QString>{"171", "304"}));

    // A metered network stops it until the person allows it.
    network->set(true);
    EXPECT_TRUE(app.meteredHolds());
    waitUntil([&] { return app.follower().busy() == false; }, 2000);
    const size_t held = count();
    EXPECT_FALSE(waitUntil([&] { return count() > held; }, 2500));
    Settings::setUseMeteredNetwork(true);
    EXPECT_FALSE(app.meteredHolds());
    EXPECT_TRUE(waitUntil([&] { return count() > held; }, 5000));
    app.hide();
    qunsetenv("SOLVANE_FOLLOW_SECONDS");
    app.follower().stop();

    const QString logged = QString::fromUtf8(captured.finish());
    const std::vector<std::pair<const char*, int>> lines{
        {"solvane: follow: a light pass every 1 s\n", 1},
        {"solvane: follow: not following NASA: the Sun is not shown\n", 1},
        {"solvane: follow: following NASA as it publishes\n", 2},
        {"solvane: follow: not following NASA: the network is metered\n", 1}};
    for (const auto& [line, times] : lines)
        EXPECT_EQ(logged.count(QLatin1String(line)), times) << line << logged.toStdString();
}
