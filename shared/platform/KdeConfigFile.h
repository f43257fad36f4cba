#pragma once
// A KDE configuration file (kscreenlockerrc and its kind) edited as KConfig lays it out: groups under
// "[Outer][Inner]" headers, "key=value" lines, values in KConfig's escaped form. Only the entries asked
// for change; every other line, its comments and the order stay as they were. Saved atomically.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class KdeConfigFile {
public:
    // Reads `path`; a missing file reads as an empty one.
    explicit KdeConfigFile(QString path);

    // False when the file is there but could not be read.
    bool readable() const { return readable_; }
    // An entry's value as the file holds it (escapes kept); nothing when it is absent.
    std::optional<QString> raw(const QStringList& group, const QString& key) const;
    // Sets an entry to a value in the file's form, or removes it (nothing); a group left empty goes.
    void setRaw(const QStringList& group, const QString& key, const std::optional<QString>& raw);
    // Writes the file, or removes it when nothing is left in it. Nothing on success, else the reason.
    std::optional<QString> save() const;

    // A plain text in the form KConfig writes it (backslash escapes, spaces kept at the ends).
    static QString escaped(const QString& value);

private:
    // The lines of the group's entries: from after its header to before the next header.
    struct Section {
        qsizetype header;
        qsizetype end;
    };
    std::vector<Section> sections(const QStringList& group) const;
    // The index of the entry's last line in a section, or -1.
    qsizetype find(const Section& section, const QString& key) const;

    QString path_;
    QStringList lines_;
    bool readable_ = true;
};
