#include "Log.h"
#include "TestSupport.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

TEST(Log, WritesOnePrefixedLinePerMessage) {
    CapturedLog captured;
    log(QStringLiteral("desktop: restored"), LogArea::desktop);
    log(QString::fromUtf8("seed: could not copy the bundled clip: \u00C5"), LogArea::cache);
    EXPECT_EQ(captured.finish(), QByteArray("solvane: desktop: restored\n"
                                            "solvane: seed: could not copy the bundled clip: \xC3\x85\n"));
}

TEST(Log, AreasHaveTheirRawValuesInOrder) {
    const std::vector<std::pair<LogArea, const char*>> expected{
        {LogArea::app, "app"},       {LogArea::cache, "cache"}, {LogArea::desktop, "desktop"},
        {LogArea::update, "update"}, {LogArea::saver, "saver"}, {LogArea::store, "store"}};
    for (const auto& [area, raw] : expected)
        EXPECT_STREQ(Log::rawValue(area), raw);
    EXPECT_STREQ(Log::subsystem, "example.tessly.solvane");
}

TEST(Log, LinesFromManyThreadsNeverInterleave) {
    constexpr int threads = 8;
    constexpr int perThread = 400;
    CapturedLog captured;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([t] {
            // Long lines, so a torn write would show.
            const QString filler(300, QLatin1Char('a' + t));
            for (int i = 0; i < perThread; ++i)
                log(QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + filler, LogArea::cache);
        });
    for (auto& writer : writers)
        writer.join();
    const QList<QByteArray> lines = captured.finish().split('\n');
    ASSERT_EQ(lines.size(), threads * perThread + 1); // the last split is the empty tail
    std::set<QByteArray> seen;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        ASSERT_TRUE(line.startsWith("solvane: thread ")) << line.left(40).constData();
        const QList<QByteArray> words = line.split(' ');
        ASSERT_EQ(words.size(), 6);
        const char letter = char('a' + words[2].toInt());
        EXPECT_EQ(words[5], QByteArray(300, letter));
        seen.insert(words[2] + ":" + words[4]);
    }
    EXPECT_EQ(seen.size(), size_t(threads * perThread));
}
