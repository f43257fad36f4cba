#pragma once
// A fresh cache folder and settings file per test, both in a temporary folder.

#include "Cache.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

class CacheFixture : public ::testing::Test {
protected:
    QTemporaryDir temp;

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        Settings::d().useFile(temp.path() + QStringLiteral("/settings.plist"));
        Cache::setDir(temp.path() + QStringLiteral("/cache"));
        Cache::setReadOnly(false);
    }
    void TearDown() override { Cache::setReadOnly(false); }

    QString cached(const QString& name) const { return Cache::file(name); }
    bool exists(const QString& name) const { return QFileInfo::exists(cached(name)); }
    QByteArray read(const QString& name) const { return readFile(cached(name)); }
    void put(const QString& name, const QByteArray& bytes) const { writeFile(cached(name), bytes); }
    QString text(const QString& name) const { return QString::fromUtf8(read(name)).trimmed(); }

    // The manifest's ids in order; empty when it is missing or not valid JSON.
    QStringList manifestIDs() const {
        QStringList ids;
        const QJsonDocument document = QJsonDocument::fromJson(read(QStringLiteral("manifest.json")));
        for (const auto& entry : document.array())
            ids << entry.toObject().value(QStringLiteral("id")).toString();
        return ids;
    }
    // No ".tmp" file anywhere in the cache folder.
    QStringList leftovers() const {
        return QDir(Cache::dir()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
    }
};

// The first bytes of an MP4 file, enough for the cache to accept it as a clip.
inline QByteArray fakeClip(const QByteArray& tag = "clip") {
    return QByteArray("\0\0\0\x18"
                      "ftypisom",
                      12) +
           QByteArray(12, '\0') + tag;
}
