// One program per user: the hand-over's wire form and socket paths, a hand-over that needs an answer, the
// lock that lets only one start listen, connections that say nothing, and three real starts at once.

#include "SingleInstance.h"
#include "Cache.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

// Runs the event loop until `done` or the time is up.
bool spin(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A hand-over from another thread, as a second start would make it, while this thread serves.
bool handOverServed(const QList<QUrl>& links, const QString& path, int waitMs = 5000) {
    auto answer = std::async(std::launch::async,
                             [links, path, waitMs] { return SingleInstance::handOver(links, path, waitMs); });
    spin([&answer] { return answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
    return answer.get();
}

} // namespace

TEST(SingleInstance, TheWireFormAndWhereTheSocketLives) {
    const struct {
        QByteArray message;
        std::optional<QList<QUrl>> links;
    } messages[] = {
        {"\n", QList<QUrl>{}}, // a plain reopen
        {"\n\n", QList<QUrl>{}},
        {"solvane://settings\n\n", QList<QUrl>{QUrl("solvane://settings")}},
        {"solvane://mini\nsolvane://look/detail\n\n",
         QList<QUrl>{QUrl("solvane://mini"), QUrl("solvane://look/detail")}},
        {"", std::nullopt},
        {"solvane://settings\n", std::nullopt},
        {"solvane://settings", std::nullopt},
    };
    for (const auto& row : messages)
        EXPECT_EQ(SingleInstance::decode(row.message), row.links) << row.message.constData();
    EXPECT_EQ(SingleInstance::encode({}), QByteArray("\n"));
    for (const QList<QUrl>& links :
         {QList<QUrl>{}, QList<QUrl>{QUrl("solvane://settings")},
          QList<QUrl>{QUrl("solvane://look/detail"), QUrl("solvane://product/171?x=1%202")}})
        EXPECT_EQ(SingleInstance::decode(SingleInstance::encode(links)), links);

    const QString shallow = "/run/user/1000";
    const QString deep = "/" + QString(95, 'd');    // the usual name does not fit, the short one does
    const QString deeper = "/" + QString(105, 'e'); // nothing fits
    const QString digest = "0123456789ab";
    const struct {
        QStringList folders;
        std::optional<QString> path;
    } places[] = {
        {{shallow, "/home/u/.cache/Solvane"}, shallow + "/solvane-0123456789ab.socket"},
        {{deep, "/home/u/.cache/Solvane"}, deep + "/s01234567"},
        {{deeper, "/home/u/.cache/Solvane"}, "/home/u/.cache/Solvane/solvane-0123456789ab.socket"},
        {{"", "/home/u/.cache/Solvane"}, "/home/u/.cache/Solvane/solvane-0123456789ab.socket"},
        {{deeper, deeper}, std::nullopt},
    };
    for (const auto& row : places) {
        EXPECT_EQ(SingleInstance::socketPathIn(row.folders, digest), row.path)
            << row.folders.join(' ').toStdString();
        if (row.path) {
            EXPECT_LE(row.path->toUtf8().size(), 107);
        }
    }

    // A runtime folder too deep for a socket: the program still finds one place for all its starts.
    QTemporaryDir temp;
    Settings::d().useFile(temp.filePath("settings.plist"));
    const QString cache = temp.filePath("cache");
    Cache::setDir(cache);
    qputenv("XDG_RUNTIME_DIR", (temp.path() + "/" + QString(110, 'r')).toUtf8());
    const QString path = SingleInstance::socketPath();
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(path.startsWith(cache + "/")) << path.toStdString();
    SingleInstance running;
    QList<QUrl> got{QUrl("solvane://none")};
    ASSERT_TRUE(running.listen([&got](const QList<QUrl>& links, const QStringList&) { got = links; }, path));
    EXPECT_TRUE(handOverServed({}, path));
    EXPECT_TRUE(spin([&got] { return got.isEmpty(); })) << "a lone line feed is a reopen";
    Settings::d().useFile(temp.filePath("after.plist"));
}

TEST(SingleInstance, AHandOverCountsOnlyWhenTheRunningProgramAnswers) {
    QTemporaryDir temp;
    const QString path = temp.filePath("mute.socket");
    // Something listens there but never answers: the links were not taken.
    QLocalServer mute;
    ASSERT_TRUE(mute.listen(path));
    EXPECT_FALSE(handOverServed({QUrl("solvane://settings")}, path, 500));
    mute.close();
    EXPECT_FALSE(SingleInstance::handOver({}, temp.filePath("nobody.socket"), 500));

    SingleInstance running;
    std::vector<QList<QUrl>> received;
    ASSERT_TRUE(running.listen(
        [&received](const QList<QUrl>& links, const QStringList&) { received.push_back(links); }, path));
    EXPECT_TRUE(handOverServed({QUrl("solvane://settings")}, path));
    EXPECT_TRUE(handOverServed({}, path));
    ASSERT_TRUE(spin([&received] { return received.size() == 2; }));
    EXPECT_EQ(received[0], QList<QUrl>{QUrl("solvane://settings")});
    EXPECT_EQ(received[1], QList<QUrl>{});
}

TEST(SingleInstance, OnlyTheHolderOfTheLockListensAndSilentConnectionsGo) {
    QTemporaryDir temp;
    const QString path = temp.filePath("one.socket");
    auto first = std::make_unique<SingleInstance>();
    first->connectionTimeoutMs = 300;
    first->connectionLimit = 8;
    int reopened = 0;
    // Two starts that found nobody a moment ago: the second may not take the first one's socket.
    ASSERT_TRUE(first->listen([&reopened](const QList<QUrl>&, const QStringList&) { ++reopened; }, path));
    SingleInstance second;
    EXPECT_FALSE(second.listen([](const QList<QUrl>&, const QStringList&) {}, path));
    EXPECT_TRUE(handOverServed({}, path));
    EXPECT_TRUE(spin([&reopened] { return reopened == 1; }));

    // A flood of connections that say nothing: each goes after the time-out, and the program still takes
    // a hand-over afterwards.
    std::vector<std::unique_ptr<QLocalSocket>> flood;
    for (int i = 0; i < 20; ++i) {
        flood.push_back(std::make_unique<QLocalSocket>());
        flood.back()->connectToServer(path);
        flood.back()->waitForConnected(1000);
    }
    EXPECT_TRUE(spin([&flood] {
        for (const auto& socket : flood)
            if (socket->state() != QLocalSocket::UnconnectedState) return false;
        return true;
    })) << "unfinished connections are closed";
    EXPECT_TRUE(handOverServed({}, path));
    EXPECT_TRUE(spin([&reopened] { return reopened == 2; }));

    // The first program ends, as if killed, leaving something at its socket's path: the next start takes
    // its place.
    first.reset();
    writeFile(path, "left behind");
    SingleInstance third;
    EXPECT_TRUE(third.listen([](const QList<QUrl>&, const QStringList&) {}, path));
}

TEST(SingleInstance, ThreeStartsAtOnceLeaveOne) {
    QTemporaryDir temp;
    for (int round = 0; round < 3; ++round) {
        const QString path = temp.filePath(QStringLiteral("round%1.socket").arg(round));
        std::vector<std::future<ProcessResult>> starts;
        for (int i = 0; i < 3; ++i)
            starts.push_back(std::async(std::launch::async, [path] {
                return runProgram(QStringLiteral(INSTANCE_CHILD), {path, "2"}, {}, {}, 60000);
            }));
        QByteArray outcomes;
        for (auto& start : starts)
            outcomes += start.get().out;
        EXPECT_EQ(outcomes.count("listening\n"), 1) << "round " << round << ":\n" << outcomes.constData();
        EXPECT_EQ(outcomes.count("handed over\n"), 2) << outcomes.constData();
        EXPECT_EQ(outcomes.count("reopen\n"), 2) << outcomes.constData();
    }
}
