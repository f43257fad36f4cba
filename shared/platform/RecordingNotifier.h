#pragma once
// A notifier for tests: remembers every title and body.

#include "Notifier.h"

#include <QStringList>

class RecordingNotifier : public Notifier {
public:
    std::optional<QString> notify(const QString& title, const QString& body) override {
        titles << title;
        bodies << body;
        return std::nullopt;
    }

    QStringList titles;
    QStringList bodies;
};
