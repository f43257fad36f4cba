#pragma once
// What one screen shows: a list of products in play order, every product the cache holds, or nothing.
// The `products` setting codes one choice per screen as an "entry" string: "" for all, "off" for off,
// and the ids joined with "," for a list.

#include <QString>
#include <QStringList>

class ScreenChoice {
public:
    enum class Kind { list, all, off };

    // The choice for a list of ids: the ids joined with "," and parsed as an entry, so an empty list is
    // all and a list holding only "off" is off.
    explicit ScreenChoice(const QStringList& ids);

    static ScreenChoice all() { return ScreenChoice(Kind::all, {}); }
    static ScreenChoice off() { return ScreenChoice(Kind::off, {}); }
    // Never fails: any string is one of the three cases.
    static ScreenChoice parse(const QString& entry);

    Kind kind() const { return kind_; }
    bool isList() const { return kind_ == Kind::list; }
    bool isAll() const { return kind_ == Kind::all; }
    bool isOff() const { return kind_ == Kind::off; }

    // The coding above.
    QString entry() const;
    // The ids of a list (never empty); empty for all and off.
    const QStringList& ids() const { return ids_; }

    // By case, and for lists by the ids in order.
    bool operator==(const ScreenChoice& other) const = default;

private:
    ScreenChoice(Kind kind, QStringList ids) : kind_(kind), ids_(std::move(ids)) {}

    Kind kind_ = Kind::all;
    QStringList ids_;
};
