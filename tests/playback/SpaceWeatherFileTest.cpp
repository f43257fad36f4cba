#include "SpaceWeatherFile.h"
#include "Cache.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readers ask often (the tray every two seconds): the file is read again only when it changed, and a
// damaged one gives nothing and is reported once, not at every asking.
TEST(SpaceWeatherFile, ReadsAgainOnlyWhenTheFileChanges) {
    QTemporaryDir dir;
    const QString before = Cache::dir();
    Cache::setDir(dir.path());
    SpaceWeatherFile file;
    EXPECT_FALSE(file.current()) << "no file, no record";

    SpaceWeather::Record record;
    record.fetched = QDateTime::currentDateTimeUtc();
    record.latest = SpaceWeather::Sample{record.fetched, 2.3e-6, 16};
    ASSERT_TRUE(SpaceWeather::save(record));
    ASSERT_TRUE(file.current());
    EXPECT_EQ(file.current()->latest->satellite, 16);

    CapturedLog captured;
    writeFile(Cache::file(QString::fromLatin1(SpaceWeather::fileName)), "[\"damaged");
    EXPECT_FALSE(file.current());
    EXPECT_FALSE(file.current());
    record.latest->satellite = 18;
    ASSERT_TRUE(SpaceWeather::save(record));
    ASSERT_TRUE(file.current());
    EXPECT_EQ(file.current()->latest->satellite, 18);
    EXPECT_EQ(captured.finish().count("spaceweather.json unreadable"), 1);
    Cache::setDir(before);
}
