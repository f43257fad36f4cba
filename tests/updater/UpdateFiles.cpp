#include "UpdateFiles.h"

#include <QDir>
#include <QFile>
#include <archive.h>
#include <archive_entry.h>
#include <sodium.h>

SigningKey SigningKey::make() {
    if (sodium_init() < 0) return {};
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secret);
    return {QString::fromLatin1(QByteArray(reinterpret_cast<char*>(publicKey), sizeof publicKey).toBase64()),
            QByteArray(reinterpret_cast<char*>(secret), sizeof secret)};
}

QString SigningKey::sign(const QByteArray& bytes) const {
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.constData()),
                         static_cast<unsigned long long>(bytes.size()),
                         reinterpret_cast<const unsigned char*>(secret.constData()));
    return QString::fromLatin1(QByteArray(reinterpret_cast<char*>(signature), sizeof signature).toBase64());
}

namespace {
la_ssize_t append(archive*, void* target, const void* data, size_t size) {
    static_cast<QByteArray*>(target)->append(static_cast<const char*>(data), qsizetype(size));
    return la_ssize_t(size);
}
} // namespace

QByteArray makeTarball(const std::vector<TarEntry>& entries, Compression compression) {
    QByteArray out;
    archive* writer = archive_write_new();
    if (compression == Compression::xz)
        archive_write_add_filter_xz(writer);
    else
        archive_write_add_filter_gzip(writer);
    archive_write_set_format_pax_restricted(writer);
    archive_write_open(writer, &out, nullptr, append, nullptr);
    for (const TarEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        const QByteArray path = item.path.toUtf8();
        archive_entry_set_pathname(entry, path.constData());
        if (item.kind == TarEntry::Kind::folder) {
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
        } else if (item.kind == TarEntry::Kind::link) {
            const QByteArray target = item.linkTarget.toUtf8();
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, target.constData());
            archive_entry_set_perm(entry, 0777);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, path.contains("bin/") ? 0755 : 0644);
            archive_entry_set_size(entry, item.data.size());
        }
        archive_write_header(writer, entry);
        if (item.kind == TarEntry::Kind::file)
            archive_write_data(writer, item.data.constData(), size_t(item.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return out;
}

QByteArray installTree(const QString& version, const QString& folder, Compression compression) {
    std::vector<TarEntry> entries{
        {QStringLiteral("bin"), {}, TarEntry::Kind::folder},
        {QStringLiteral("bin/solvane"), "#!/bin/sh\necho " + version.toUtf8() + "\n"},
        {QStringLiteral("share/solvane/glossary.json"), "{}\n"},
        {QStringLiteral("share/solvane/version"), version.toUtf8() + "\n"},
        // A link one level up and down again stays inside the tree.
        {QStringLiteral("share/program"), {}, TarEntry::Kind::link, QStringLiteral("../bin/solvane")},
        {QStringLiteral("share/solvane/latest"), {}, TarEntry::Kind::link, QStringLiteral("glossary.json")}};
    if (!folder.isEmpty()) {
        for (TarEntry& entry : entries)
            entry.path = folder + "/" + entry.path;
        entries.insert(entries.begin(), {folder, {}, TarEntry::Kind::folder});
    }
    return makeTarball(entries, compression);
}

QByteArray appcast(const std::vector<FeedItem>& items) {
    QString text = QStringLiteral(R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Solvane</title>
)");
    for (const FeedItem& item : items)
        text += QStringLiteral(R"(    <item>
      <title>Solvane %2</title>
      <sparkle:version>%1</sparkle:version>
      <sparkle:shortVersionString>%2</sparkle:shortVersionString>
      <enclosure url="%3" length="%4" type="application/gzip" sparkle:edSignature="%5"%6/>
    </item>
)")
                    .arg(item.version, item.display, item.url)
                    .arg(item.length)
                    .arg(item.signature,
                         item.os.isEmpty() ? QString() : QStringLiteral(" sparkle:os=\"%1\"").arg(item.os));
    return (text + QStringLiteral("  </channel>\n</rss>\n")).toUtf8();
}

void makeUserInstall(const QString& root, const QString& version) {
    QDir().mkpath(root + "/" + version + "/bin");
    QFile program(root + "/" + version + "/bin/solvane");
    if (program.open(QIODevice::WriteOnly)) program.write("#!/bin/sh\necho " + version.toUtf8() + "\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(root + "/current");
    QFile::link(version, root + "/current"); // relative, as the installer makes it
}
