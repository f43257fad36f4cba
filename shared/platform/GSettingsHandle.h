#pragma once
// One GSettings object on an installed schema, released with its scope: how the GNOME family's adapters
// (desktop picture, lock screen) read and write the desktop's settings. A key the schema lacks, or a value
// outside its range, would be a programming error to GLib, which aborts; here it is a refusal.

#include <QString>
#include <optional>

typedef struct _GSettings GSettings;
typedef struct _GSettingsSchema GSettingsSchema;
typedef struct _GVariant GVariant;

class GSettingsHandle {
public:
    explicit GSettingsHandle(const QString& schemaId);
    ~GSettingsHandle();
    GSettingsHandle(const GSettingsHandle&) = delete;
    GSettingsHandle& operator=(const GSettingsHandle&) = delete;

    // Whether the schema is installed here.
    static bool installed(const QString& schemaId);
    // Writes what is pending to the backend before the caller goes on.
    static void sync();

    bool valid() const { return settings_ != nullptr; }
    bool has(const QString& key) const;
    // A string (or enumeration) key's value; empty for a key the schema lacks.
    QString get(const QString& key) const;
    bool put(const QString& key, const QString& value);
    void reset(const QString& key);
    // The value the person set, as GVariant text ("'zoom'"); nothing while the key has its default.
    std::optional<QString> userValue(const QString& key) const;
    // Sets a key from GVariant text of its own type; false when the text does not parse or fit.
    bool putText(const QString& key, const QString& text);

private:
    // Takes a floating value, or a reference of the caller's that it leaves alone.
    bool putValue(const QString& key, GVariant* value);

    GSettingsSchema* schema_ = nullptr;
    GSettings* settings_ = nullptr;
};
