#pragma once
// One product of the imagery index as the host publishes it, and the rule that judges an index element.

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>

// How a clip's frames were integrated. Both keys are required; otherwise the product has none.
struct Integration {
    int frames = 0;
    QString method;

    static std::optional<Integration> fromJson(const QJsonValue& value);
    bool operator==(const Integration&) const = default;
};

struct RemoteProduct {
    QString id;
    std::optional<QString> label;
    QString updated;
    std::optional<QString> through;
    std::optional<QString> video;  // fixed key: the same name for every clip, the ETag tells a change
    std::optional<QString> videoV; // versioned key: "v/<id>/<yyyyMMddTHHmmss>.mp4"
    std::optional<QString> img1k;
    std::optional<QString> stillV;
    std::optional<QString> thumb;
    std::optional<int> frameCount;
    std::optional<Integration> integration;

    // Clip keys to try, versioned first; an empty text counts as present.
    QStringList videos() const;
    // Still keys to try, versioned first.
    QStringList stills() const;

    struct Rejection {
        enum class Kind { noUpdated, noVideo, noID, unsafeID };
        Kind kind;
        QString id; // empty for noID and unsafeID
        QString text() const;
    };

    // Decodes one per-product fragment. A rejection logs "fragment rejected: ", anything else that fails
    // logs "fragment unreadable: " (area cache); either way nothing is returned.
    static std::optional<RemoteProduct> decode(const QByteArray& bytes);

    QJsonObject toJson() const;
    bool operator==(const RemoteProduct&) const = default;
};

// A product id ends up as a file name in the cache: only a plain file-name component is safe.
bool isSafeProductID(const QString& id);

// One judged element of the index's products array.
struct IndexElement {
    std::optional<RemoteProduct> product;
    QString verdict;

    static IndexElement judge(const QJsonValue& element);
};
