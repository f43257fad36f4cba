// Signs update downloads for the updater: Ed25519 over the whole file, as the appcast's edSignature.
//   sign-update keygen <secret-key-file>   writes a new secret key (mode 0600) and prints its public key
//   sign-update public <secret-key-file>   prints the public key of a secret key
//   sign-update sign <secret-key-file> <file>   prints the file's signature
// Keys and signatures are base64. The secret key file never belongs in the repository.
#include <QByteArray>
#include <QFile>
#include <cstdio>
#include <sodium.h>

namespace {
int fail(const char* message) {
    std::fprintf(stderr, "sign-update: %s\n", message);
    return 1;
}

QByteArray readSecret(const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray secret = QByteArray::fromBase64(file.readAll().trimmed());
    return secret.size() == crypto_sign_SECRETKEYBYTES ? secret : QByteArray();
}

QByteArray publicOf(const QByteArray& secret) {
    unsigned char key[crypto_sign_PUBLICKEYBYTES];
    crypto_sign_ed25519_sk_to_pk(key, reinterpret_cast<const unsigned char*>(secret.constData()));
    return QByteArray(reinterpret_cast<char*>(key), sizeof key).toBase64();
}
} // namespace

int main(int argc, char** argv) {
    if (sodium_init() < 0) return fail("the signature library could not start");
    const QByteArray command = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (command == "keygen" && argc == 3) {
        unsigned char key[crypto_sign_PUBLICKEYBYTES];
        unsigned char secret[crypto_sign_SECRETKEYBYTES];
        crypto_sign_keypair(key, secret);
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (file.exists()) return fail("the key file exists already; not replacing it");
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
            return fail("cannot write the key file");
        file.write(QByteArray(reinterpret_cast<char*>(secret), sizeof secret).toBase64() + "\n");
        sodium_memzero(secret, sizeof secret);
        std::printf("%s\n", QByteArray(reinterpret_cast<char*>(key), sizeof key).toBase64().constData());
        return 0;
    }
    if ((command == "public" && argc == 3) || (command == "sign" && argc == 4)) {
        const QByteArray secret = readSecret(argv[2]);
        if (secret.isEmpty()) return fail("cannot read a secret key from the key file");
        if (command == "public") {
            std::printf("%s\n", publicOf(secret).constData());
            return 0;
        }
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (!file.open(QIODevice::ReadOnly)) return fail("cannot read the file to sign");
        const QByteArray bytes = file.readAll();
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(bytes.constData()),
                             static_cast<unsigned long long>(bytes.size()),
                             reinterpret_cast<const unsigned char*>(secret.constData()));
        std::printf("%s\n", QByteArray(reinterpret_cast<char*>(signature), sizeof signature).toBase64().constData());
        return 0;
    }
    std::fprintf(stderr, "usage: sign-update keygen <key-file> | public <key-file> | sign <key-file> <file>\n");
    return 2;
}
