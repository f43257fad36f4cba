#include "UserInstall.h"

#include "UpdatePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
const QString currentLink = QStringLiteral("current");
const QString incomingPrefix = QStringLiteral(".incoming-");

// Makes the renames inside `folder` durable before we rely on them.
void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Removes a version folder or a leftover. A link is removed itself, never what it points to, so a name
// that turns out to be a link cannot reach into the version it names.
void removeTree(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}
} // namespace

bool UserInstall::usableVersion(const QString& version) {
    // Anchored as a whole: "$" alone would also let a trailing line feed through.
    static const QRegularExpression allowed(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_+][A-Za-z0-9._+-]{0,63}")));
    return version != currentLink && allowed.match(version).hasMatch();
}

std::optional<UserInstall> UserInstall::of(const QString& executablePath) {
    // <root>/<version>/bin/solvane, run through <root>/current or directly.
    const QFileInfo program(QFileInfo(executablePath).canonicalFilePath());
    if (!program.exists()) return std::nullopt;
    QDir versionFolder = program.dir();
    if (versionFolder.dirName() != QStringLiteral("bin") || !versionFolder.cdUp()) return std::nullopt;
    QDir root = versionFolder;
    if (!root.cdUp()) return std::nullopt;
    const QFileInfo link(root.filePath(currentLink));
    if (!link.isSymLink()) return std::nullopt;
    return UserInstall(root.absolutePath());
}

QString UserInstall::currentVersion() const {
    const QString target = QFileInfo(QDir(root_).filePath(currentLink)).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
}

QString UserInstall::currentExecutable() const {
    return QDir(root_).filePath(currentLink + QStringLiteral("/bin/solvane"));
}

bool UserInstall::portable() const {
    return QFileInfo::exists(QDir(root_).filePath(currentLink + QStringLiteral("/share/solvane/bundle")));
}

std::optional<QString> UserInstall::install(const QByteArray& tarball, const QString& version) const {
    if (!usableVersion(version))
        return QStringLiteral("the version \"") + version + QStringLiteral("\" cannot name a folder");
    const QString previous = currentVersion();
    if (version == previous)
        return QStringLiteral("version ") + version + QStringLiteral(" is already installed");
    QDir root(root_);
    // A name the install tree already uses for a link (ours or the person's) is not a version folder.
    if (QFileInfo(root.filePath(version)).isSymLink())
        return QStringLiteral("the version \"") + version + QStringLiteral("\" names a link in ") + root_;
    // An install killed half-way leaves its incoming folder or link; they were never current.
    for (const QString& name :
         root.entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        if (name.startsWith(incomingPrefix)) removeTree(root.filePath(name));

    const QString incoming = root.filePath(incomingPrefix + version);
    if (auto problem = UpdatePackage::unpack(tarball, incoming)) return problem;
    const QString folder = root.filePath(version);
    // A folder of that name that is not current is a leftover of an earlier try; the new one replaces it.
    if (QFileInfo::exists(folder)) removeTree(folder);
    if (::rename(QFile::encodeName(incoming).constData(), QFile::encodeName(folder).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        removeTree(incoming);
        return QStringLiteral("could not move the new version into place: ") + reason;
    }
    // The swap: a new link under a temporary name, renamed over `current` in one step.
    const QString newLink = root.filePath(incomingPrefix + currentLink);
    QFile::remove(newLink);
    if (::symlink(QFile::encodeName(version).constData(), QFile::encodeName(newLink).constData()) != 0 ||
        ::rename(QFile::encodeName(newLink).constData(),
                 QFile::encodeName(root.filePath(currentLink)).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(newLink);
        return QStringLiteral("could not switch to the new version: ") + reason;
    }
    syncFolder(root_);
    // Keep the new version and the one before it; older version folders go.
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        if (name != version && name != previous && usableVersion(name) &&
            QFileInfo::exists(root.filePath(name + QStringLiteral("/bin/solvane"))))
            removeTree(root.filePath(name));
    return std::nullopt;
}
