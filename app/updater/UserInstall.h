#pragma once
// A per-user install: version folders <root>/<version>/ (bin/, lib/, share/) and a symbolic link
// <root>/current naming the one in use, with ~/.local/bin/solvane pointing through it. Installing an update
// unpacks a new version folder beside the running one and swaps `current` in one rename, so a process
// killed at any moment leaves a working `current`; the previous version stays for one rollback.

#include <QByteArray>
#include <QString>
#include <optional>

class UserInstall {
public:
    explicit UserInstall(QString root) : root_(std::move(root)) {}

    // The install the executable at `executablePath` runs from, or nothing when it is not a per-user
    // install (a copy the package manager owns, or a build tree): such a copy is never replaced.
    static std::optional<UserInstall> of(const QString& executablePath);

    const QString& root() const { return root_; }
    // The version folder `current` names, or an empty text.
    QString currentVersion() const;
    QString currentExecutable() const;
    // Whether the current version is the portable build (it carries share/solvane/bundle), which only
    // the portable build may update.
    bool portable() const;

    // Unpacks `tarball` as `version` and makes it current. Leftovers of an interrupted install are removed
    // first; afterwards only the new and the previous version remain. Nothing on success, else the reason
    // (then `current` is unchanged).
    std::optional<QString> install(const QByteArray& tarball, const QString& version) const;

    // A version may name a folder: up to 64 of letters, digits, ".", "_", "+", "-", not starting with "."
    // or "-" (a hidden name, an option), and not "current".
    static bool usableVersion(const QString& version);

private:
    QString root_;
};
