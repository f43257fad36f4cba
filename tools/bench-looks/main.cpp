// Measures the looks on 1024 x 1024 frames against a plain copy of the same frame (the memory-bound
// floor), all in one run on one core, and prints the ratios. A frame is on screen for 1/9 s at half
// speed; the whole look should cost at most 5 % of that.
//
// usage: bench-looks [frames]   (default 60 frames per measurement)

#include "LookState.h"
#include "Looks.h"

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <time.h>

namespace {

// The CPU time of this thread, so other work on a shared machine does not count against the looks.
double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A frame with structure at every scale: a radial disc with noise, like the Sun on black.
QImage makeFrame(unsigned seed) {
    QImage image(1024, 1024, QImage::Format_RGB32);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int dx = x - 512, dy = y - 512;
            const int base = dx * dx + dy * dy < 400 * 400 ? 170 : 20;
            const int v = std::clamp(base + noise(random), 0, 255);
            row[x] = qRgb(v, std::clamp(v - 40, 0, 255), std::clamp(v - 90, 0, 255));
        }
    }
    return image;
}

// Median-free but warm: one untimed run, then the mean CPU time of `frames` runs, in milliseconds.
double measure(int frames, const std::function<void(int)>& work) {
    work(0);
    const double start = threadMilliseconds();
    for (int i = 0; i < frames; ++i)
        work(i);
    return (threadMilliseconds() - start) / frames;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const QImage a = makeFrame(1), b = makeFrame(2);
    volatile int sink = 0;

    const double copy = measure(frames, [&](int) {
        QImage c = a.copy();
        sink = sink + c.constBits()[c.sizeInBytes() / 2];
    });
    const double difference = measure(frames, [&](int i) {
        const QImage d = LookState::difference(i % 2 ? a : b, i % 2 ? b : a, a.rect());
        sink = sink + d.constBits()[0];
    });
    const double detail = measure(frames, [&](int i) {
        const QImage d = Looks::detail(i % 2 ? a : b);
        sink = sink + d.constBits()[0];
    });
    // The whole running-difference path of one frame, history and pruning included.
    LookState running(nullptr, Look::running, 1);
    const double render = measure(frames, [&](int i) {
        const QImage d = running.render({i % 2 ? a : b, (i + 1) / 18.0});
        sink = sink + d.constBits()[0];
    });

    const double budget = 0.05 * 1000.0 / 9.0; // 5 % of a frame's 111 ms on screen at half speed
    std::printf("bench-looks: 1024 x 1024 frames, %d per measurement, CPU time on one core, %s build\n",
                frames, SOLVANE_BENCH_BUILD_TYPE);
    std::printf("plain copy              %7.3f ms  1.00x\n", copy);
    std::printf("running difference      %7.3f ms  %5.2fx copy\n", difference, difference / copy);
    std::printf("running look (render)   %7.3f ms  %5.2fx copy\n", render, render / copy);
    std::printf("detail                  %7.3f ms  %5.2fx copy\n", detail, detail / copy);
    std::printf("budget (5%% of 111 ms)   %7.3f ms  %5.2fx copy\n", budget, budget / copy);
    std::printf("difference within budget: %s; detail within budget: %s\n",
                difference <= budget ? "yes" : "no", detail <= budget ? "yes" : "no");
    return 0;
}
