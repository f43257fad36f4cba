#pragma once
// A lock screen for tests: holds one picture, records what it was asked to show and put back.

#include "LockScreenPicture.h"

class RecordingLockScreenPicture : public LockScreenPicture {
public:
    QString name() const override { return QStringLiteral("recording"); }
    std::optional<QStringList> current() override { return QStringList{"picture=" + picture}; }
    std::optional<QString> show(const QString& file) override {
        shown << file;
        picture = file;
        return std::nullopt;
    }
    std::optional<QString> putBack(const QStringList& recorded) override {
        putBacks.push_back(recorded);
        picture = recorded.value(0).mid(QStringLiteral("picture=").size());
        return std::nullopt;
    }

    QString picture = QStringLiteral("/home/me/lock.jpg");
    QStringList shown;
    std::vector<QStringList> putBacks;
};
