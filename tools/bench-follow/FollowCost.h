#pragma once
// What following costs in CPU over the simulated day. The day's clips are recorded, not encoded (a day of
// real encodes would take the benchmark hours), so the cost of re-making them is estimated: the clip maker
// here counts each product's re-makes during the light passes, and makes for real during the last passes
// of one day, where each real make of a product after its first there is a re-make of a full 48-hour
// cache with one new slot, done as the program does it (the same maker, its pieces kept from the make
// before). Their mean CPU times the day's count is the re-making; the passes' own CPU is measured around each
// pass, less what was spent inside the maker.

#include "ClipMaking.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace FollowCost {

// CPU seconds (user and system) of `who`: RUSAGE_SELF (every thread of this process) or RUSAGE_CHILDREN.
double cpuSeconds(int who);

// The real re-makes of a product: their number, mean CPU and mean frames encoded (in the pieces they
// wrote), and the slots' images of the last.
struct Remake {
    int count = 0;
    double cpuSeconds = 0;
    double framesEncoded = 0;
    std::vector<QStringList> frames;
};

// The clip maker of the simulated day; install it with ClipMaking::install through a lambda.
class Maker {
public:
    enum class Mode { recorded, real };
    void setMode(Mode mode) { mode_ = mode; }
    // Whether makes are counted as the day's re-makes (only during light passes).
    void setCounting(bool counting) { counting_ = counting; }

    ClipMaking::Outcome make(const ClipMaking::Job& job);

    // CPU spent inside the maker so far, recorded and real makes alike.
    double insideSeconds() const { return inside_; }
    // The re-makes counted per product since the last call.
    std::map<QString, int> takeCounts();
    // Per product, the real makes that followed a real make of it.
    const std::map<QString, Remake>& remakes() const { return remakes_; }

private:
    Mode mode_ = Mode::recorded;
    bool counting_ = false;
    double inside_ = 0;
    std::map<QString, int> counts_;
    QSet<QString> primed_; // products whose pieces a real make left current
    std::map<QString, Remake> remakes_;
};

// The CPU of `ffmpeg -framerate 18 -pattern_type glob -i '*.jpg' -c:v libx264 -preset veryfast -crf 20`
// on `images`, in `work`; below zero when it fails.
double ffmpegSeconds(const QStringList& images, const QString& work);

} // namespace FollowCost
