#pragma once
// One settings domain kept as an XML property list file, with a read-only fallback layer beneath it.
//
// Values live in memory; every write is saved at once by replacing the file atomically, and a change
// another process makes to the file is picked up at the next read (the file's identity, size and
// modification time are compared, which costs one stat and no read while nothing changed). A file that
// cannot be read or parsed never stops the program: reads give nothing, one line is logged, and before
// the first write replaces it the old file is kept beside it as "<file>.corrupt" (".corrupt.1", ... when
// that name is taken). A readable file holding values kept as read is kept aside the same way.
//
// Every member is safe from any thread. Reads of an absent key give the type's zero.

#include "FileSignature.h"
#include "SettingsKey.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <mutex>
#include <optional>

class SettingsStore {
public:
    // A store for `file`; nothing is read until the first use.
    explicit SettingsStore(QString file);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
    static QString configHome();
    // The file of a domain: configHome()/<domain>.plist.
    static QString fileFor(const QString& domain);
    // Reads a property-list file whose root is a dictionary, as the fallback layer and carry-over do.
    // Nothing when the file is missing or unusable; `error` then says why. `kept` receives the keys
    // whose values are kept as read (PropertyList::Kept).
    static std::optional<QVariantMap> readDictionary(const QString& path, QString* error = nullptr,
                                                     QStringList* kept = nullptr);

    QString file() const;
    // Points the store at another file and forgets every value and the fallback layer; for tests and
    // for tools that work on a copy.
    void useFile(const QString& file);

    // Whether the own domain or the fallback layer holds any value for the key.
    bool has(const QString& key) const;
    // The value (own domain first, then fallback), or an invalid QVariant when absent.
    QVariant value(const QString& key) const;

    // Typed reads. Text, lists and dates read only values of their own type. Numbers accept integers
    // and reals (an integer read truncates a real). Booleans accept numbers (non-zero is true) and the
    // strings "true", "yes" and "1" in any case, as hand edits write them.
    std::optional<QString> string(const QString& key) const;
    std::optional<QStringList> stringList(const QString& key) const;
    bool boolean(const QString& key) const;
    qint64 integer(const QString& key) const;
    double real(const QString& key) const;
    // A number when the key holds an integer or a real, else nothing.
    std::optional<double> number(const QString& key) const;
    std::optional<qint64> wholeNumber(const QString& key) const;
    std::optional<QDateTime> date(const QString& key) const;

    // Stores a value (bool, integers, double, QString, QStringList, QDateTime, QByteArray, QVariantList,
    // QVariantMap) and saves the file. An invalid QVariant or a type with no property-list form removes
    // the key. Dates keep whole seconds, as the file does. Writing the value already held does nothing.
    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);

    // The same, named by key.
    bool has(Settings::Key key) const { return has(Settings::rawValue(key)); }
    QVariant value(Settings::Key key) const { return value(Settings::rawValue(key)); }
    std::optional<QString> string(Settings::Key key) const { return string(Settings::rawValue(key)); }
    std::optional<QStringList> stringList(Settings::Key key) const {
        return stringList(Settings::rawValue(key));
    }
    bool boolean(Settings::Key key) const { return boolean(Settings::rawValue(key)); }
    qint64 integer(Settings::Key key) const { return integer(Settings::rawValue(key)); }
    double real(Settings::Key key) const { return real(Settings::rawValue(key)); }
    std::optional<double> number(Settings::Key key) const { return number(Settings::rawValue(key)); }
    std::optional<qint64> wholeNumber(Settings::Key key) const {
        return wholeNumber(Settings::rawValue(key));
    }
    std::optional<QDateTime> date(Settings::Key key) const { return date(Settings::rawValue(key)); }
    void set(Settings::Key key, const QVariant& value) { set(Settings::rawValue(key), value); }
    void remove(Settings::Key key) { remove(Settings::rawValue(key)); }

    // The typed read rules on a value already fetched, so one read can look at a value once.
    static std::optional<QString> asString(const QVariant& stored);
    static std::optional<QStringList> asStringList(const QVariant& stored);
    static bool asBoolean(const QVariant& stored);
    static std::optional<double> asNumber(const QVariant& stored);
    static std::optional<qint64> asWholeNumber(const QVariant& stored);
    static std::optional<QDateTime> asDate(const QVariant& stored);

    // The own domain's values, without the fallback layer.
    QVariantMap dictionary() const;

    // Adds values beneath the own domain, consulted only for keys it does not hold. Never written.
    void registerFallback(const QVariantMap& values);
    // Registers a file's dictionary as fallback values; false when the file does not read as one.
    bool registerFallbackFile(const QString& path);

    // Holds back saving while it lives, then saves once: for a window that stores many settings at
    // once (each save waits for the disk). Other threads' writes in that time are saved with it.
    class Batch {
    public:
        explicit Batch(SettingsStore& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& store_;
    };

    // How many times the file has been read since the store was created or re-rooted: reads of an
    // unchanged file must not add to it (tests and the benchmark check this).
    quint64 fileReads() const;

private:
    using Signature = FileSignature;
    void refreshLocked() const;
    void loadLocked(const Signature& signature, int statError) const;
    void writeLocked(const QString& key, const QVariant& value);
    bool saveLocked();

    mutable std::mutex mutex_;
    QString file_;
    QByteArray encodedFile_; // file_ as the system call wants it, encoded once
    QVariantMap fallback_;
    mutable QVariantMap values_;
    mutable Signature seen_;
    mutable bool loaded_ = false;
    mutable quint64 fileReads_ = 0;
    int batchDepth_ = 0;
    // Values changed in memory and not yet saved; the file is not reloaded over them.
    bool unsaved_ = false;
    // The file on disk could not be read as settings: move it aside before replacing it.
    mutable bool keepAside_ = false;
};
