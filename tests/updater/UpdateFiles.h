#pragma once
// What the updater tests serve and install: a signing key pair, tarballs with chosen entries, an appcast,
// and a per-user install tree with one version current.

#include <QByteArray>
#include <QString>
#include <vector>

struct SigningKey {
    QString publicKey; // base64
    QByteArray secret;
    static SigningKey make();
    QString sign(const QByteArray& bytes) const; // base64
};

struct TarEntry {
    enum class Kind { file, folder, link };
    TarEntry(QString path_, QByteArray data_ = {}, Kind kind_ = Kind::file, QString linkTarget_ = {})
        : path(std::move(path_)), data(std::move(data_)), kind(kind_), linkTarget(std::move(linkTarget_)) {}
    QString path;
    QByteArray data; // a file's bytes
    Kind kind;
    QString linkTarget; // a link's target
};

// A tarball of the entries, in order: gzipped as the install tree, or xz-compressed as the portable build.
enum class Compression { gzip, xz };
QByteArray makeTarball(const std::vector<TarEntry>& entries, Compression compression = Compression::gzip);
// The smallest install tree an update may carry: bin/solvane (a script printing `version`), share files
// (the version among them) and two links that stay inside the tree; in `folder` when one is given.
QByteArray installTree(const QString& version, const QString& folder = {},
                       Compression compression = Compression::gzip);

// An appcast of these items.
struct FeedItem {
    QString version, display, url;
    qint64 length = 0;
    QString signature;
    QString os; // the enclosure's sparkle:os, left out when empty
};
QByteArray appcast(const std::vector<FeedItem>& items);

// <root>/<version>/bin/solvane with <root>/current naming it.
void makeUserInstall(const QString& root, const QString& version);
