#include "SleepInhibit.h"

#include "Log.h"

#include <QStringList>

FirstSleepInhibit::FirstSleepInhibit(std::vector<std::unique_ptr<SleepInhibit>> sources)
    : sources_(std::move(sources)) {}

bool FirstSleepInhibit::inhibit(const QString& application, const QString& reason) {
    if (holder_) return true;
    for (const auto& source : sources_) {
        if (source->inhibit(application, reason)) {
            holder_ = source.get();
            return true;
        }
    }
    QStringList names;
    for (const auto& source : sources_)
        names << source->name();
    log("display sleep: none of " + names.join(", ") + " holds; the displays may sleep while the Sun shows",
        LogArea::app);
    return false;
}

void FirstSleepInhibit::release() {
    if (!holder_) return;
    holder_->release();
    holder_ = nullptr;
}

bool FirstSleepInhibit::held() const {
    return holder_ != nullptr;
}

QString FirstSleepInhibit::name() const {
    return holder_ ? holder_->name() : QStringLiteral("nothing");
}
