#pragma once
// A desktop picture for tests: keeps one picture per screen, records every request and release, fails on
// demand.

#include "DesktopPicture.h"

#include <QMap>

class RecordingDesktopPicture : public DesktopPicture {
public:
    QString name() const override { return QStringLiteral("recording"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override {
        ++reads;
        QStringList out;
        for (size_t i = 0; i < screens.size(); ++i)
            out << pictures.value(int(i));
        return out;
    }
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override {
        lastScreens = screens;
        std::vector<std::optional<QString>> answers;
        for (const PicturePlacement& placement : placements) {
            requests.push_back(placement);
            if (failing.contains(placement.screen)) {
                answers.push_back(failing.value(placement.screen));
                continue;
            }
            pictures[placement.screen] = placement.picture.toString();
            answers.push_back(std::nullopt);
        }
        return answers;
    }
    void release() override { ++releases; }

    QMap<int, QString> pictures; // screen index -> URL text
    QMap<int, QString> failing;  // screen index -> the reason its sets fail
    std::vector<PicturePlacement> requests;
    std::vector<DesktopScreen> lastScreens;
    int reads = 0;
    int releases = 0;
};
