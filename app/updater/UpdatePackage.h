#pragma once
// A downloaded update: a gzip tarball of the install tree (bin/, lib/, share/), or the portable build's
// xz tarball holding that tree in one folder (solvane-<version>/), signed with Ed25519 over the whole file.
// Nothing of it is unpacked before its length and signature are checked, and nothing of it lands outside
// the folder it is unpacked into.

#include <QByteArray>
#include <QString>
#include <optional>

namespace UpdatePackage {
// Nothing when `bytes` is exactly `length` bytes long and `signature` (base64) is a valid Ed25519
// signature of them by `publicKey` (base64); otherwise the reason in words.
std::optional<QString> verify(const QByteArray& bytes, qint64 length, const QString& signature,
                              const QString& publicKey);

// Unpacks the tarball's tree into `destination`, which must not exist yet (a tree in one folder loses that
// folder). Every entry is checked first: only plain files and folders (and symbolic links that stay inside
// the tree without passing through another link), relative paths without "..", none below a link or named
// twice, and a bin/solvane among them. Nothing on success; else the reason, and nothing is left behind.
std::optional<QString> unpack(const QByteArray& tarball, const QString& destination);

// The version the tarball says it holds (its share/solvane/version file, trimmed), or nothing. Read from
// the signed bytes, it is what names the version folder; the feed's text is not signed.
std::optional<QString> version(const QByteArray& tarball);
} // namespace UpdatePackage
