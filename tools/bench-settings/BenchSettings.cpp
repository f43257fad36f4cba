// How much a settings read and a settings write cost, so callers can keep reading at every use.
//
// Reads: Settings::mode() on an unchanged file, against the two things it is made of: a lookup in an
// in-memory map (the floor) and one stat() of the file (the freshness check). Writes: setLastCheck(),
// against writing the same bytes to a file and renaming it over the old one with an fsync (the floor
// for a save that survives a crash). The store's file-read counter shows that reads of an unchanged
// file never read it.
//
// Usage: bench-settings [reads] [writes]   (defaults 200000 and 100)

#include "Settings.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVariantMap>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work> double nanosecondsPer(long count, Work work) {
    const auto start = Clock::now();
    for (long i = 0; i < count; ++i)
        work(i);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(count);
}

// Keeps the compiler from dropping a result.
volatile long sink = 0;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long reads = argc > 1 ? std::atol(argv[1]) : 200000;
    const long writes = argc > 2 ? std::atol(argv[2]) : 100;
    if (reads <= 0 || writes <= 0) {
        std::fprintf(stderr, "usage: bench-settings [reads] [writes]\n");
        return 2;
    }

    QTemporaryDir folder;
    const QString file = folder.path() + QStringLiteral("/example.tessly.solvane.plist");
    SettingsStore& store = Settings::d();
    store.useFile(file);
    // A realistic file: every key the Preferences window saves.
    {
        SettingsStore::Batch batch(store);
        Settings::setMode(Mode::wall);
        Settings::setProducts({"rainbow", "171", "304"});
        Settings::setIdleMinutes(5);
        Settings::setLockOnDismiss(true);
        Settings::setOffline(false);
        Settings::setRefreshMinutes(720);
        Settings::setLastCheck(QDateTime::currentDateTimeUtc());
        Settings::setAttribution(false);
        Settings::setShuffle(true);
        Settings::setLoops(2);
        Settings::setTransition(Transition::crossfade);
        Settings::setDesktop(false);
        Settings::setConfigured(true);
        Settings::setCaptionUTC(false);
        Settings::setFrameClock(true);
        Settings::setLook(Look::natural);
        Settings::setRunningLagSlots(1);
        Settings::setLiveDesktop(false);
        Settings::setPauseOnBattery(true);
        Settings::setLiveStatusIcon(false);
    }
    // Pick up the file once, as a running app would have.
    Settings::mode();
    const quint64 readsBefore = store.fileReads();

    // Reference 1: the in-memory map lookup and enum parse alone.
    QVariantMap map = store.dictionary();
    const double mapNs = nanosecondsPer(reads, [&](long) {
        sink =
            sink +
            long(Modes::fromRawValue(map.value(QStringLiteral("mode")).toString()).value_or(Mode::desktop));
    });
    // Reference 2: one stat() of the settings file.
    const QByteArray path = QFile::encodeName(file);
    const double statNs = nanosecondsPer(reads, [&](long) {
        struct stat info {};
        sink = sink + long(::stat(path.constData(), &info));
    });
    const double readNs = nanosecondsPer(reads, [&](long) { sink = sink + long(Settings::mode()); });
    const quint64 fileReadsDuringReads = store.fileReads() - readsBefore;

    // Four threads reading while nothing changes: reads share one lock.
    const long perThread = reads / 4;
    const auto threadedStart = Clock::now();
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([perThread] {
            for (long i = 0; i < perThread; ++i)
                sink = sink + long(Settings::mode());
        });
    for (auto& reader : readers)
        reader.join();
    const double threadedNs = std::chrono::duration<double, std::nano>(Clock::now() - threadedStart).count() /
                              double(perThread * 4);

    // Writes.
    const QByteArray bytes = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const QByteArray scratch = QFile::encodeName(folder.path() + QStringLiteral("/scratch.plist"));
    const QByteArray scratchTemp = scratch + ".tmp";
    const double replaceNs = nanosecondsPer(writes, [&](long) {
        const int fd = ::open(scratchTemp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        sink = sink + long(::write(fd, bytes.constData(), size_t(bytes.size())));
        ::fsync(fd);
        ::close(fd);
        ::rename(scratchTemp.constData(), scratch.constData());
    });
    const QDateTime base = QDateTime::currentDateTimeUtc();
    const double writeNs =
        nanosecondsPer(writes, [&](long i) { Settings::setLastCheck(base.addSecs(i + 1)); });
    const double batchNs = nanosecondsPer(writes, [&](long i) {
        SettingsStore::Batch batch(store);
        for (int k = 0; k < 10; ++k)
            Settings::setDesktopCounter(i * 10 + k);
    });

    std::printf("settings file: %lld bytes, %d keys\n", (long long)bytes.size(), int(map.size()));
    std::printf(
        "read  Settings::mode():          %9.1f ns  (%.2f x map lookup %.1f ns, %.2f x stat %.1f ns)\n",
        readNs, readNs / mapNs, mapNs, readNs / statNs, statNs);
    std::printf("read  from 4 threads at once:    %9.1f ns per read\n", threadedNs);
    std::printf("      file reads during %ld reads of an unchanged file: %llu\n", reads,
                (unsigned long long)fileReadsDuringReads);
    std::printf("write Settings::setLastCheck():  %9.0f ns  (%.2f x fsync'd write-and-rename %.0f ns)\n",
                writeNs, writeNs / replaceNs, replaceNs);
    std::printf("write 10 settings in one batch:  %9.0f ns  (%.2f x one write)\n", batchNs,
                batchNs / writeNs);
    return fileReadsDuringReads == 0 ? 0 : 1;
}
