#pragma once
// Links with the program's own scheme ("solvane://settings", "solvane://product/171", ...) and the one
// request each stands for. Parsing is strict: anything unexpected yields nothing.

#include <QString>
#include <QUrl>
#include <optional>

struct DeepLink {
    enum class Kind { product, layout, look, settings, mini };

    Kind kind = Kind::settings;
    QString argument; // the product id, layout name or look name; empty for settings and mini

    static constexpr const char* scheme = "solvane";

    // The request a URL stands for, or nothing: another scheme, no host, an unknown host, or an argument
    // that is missing, surplus or rejected. Scheme and host are compared lower-cased; the argument keeps
    // its case. A product id must be a catalogue id exactly; layout and look names must be 1 to 32 of
    // a-z, 0-9, "_" and "-".
    static std::optional<DeepLink> parse(const QUrl& url);
    static std::optional<DeepLink> parse(const QString& text) { return parse(QUrl(text)); }

    static DeepLink product(const QString& id) { return {Kind::product, id}; }
    static DeepLink layout(const QString& name) { return {Kind::layout, name}; }
    static DeepLink look(const QString& name) { return {Kind::look, name}; }
    static DeepLink settings() { return {Kind::settings, {}}; }
    static DeepLink mini() { return {Kind::mini, {}}; }

    bool operator==(const DeepLink&) const = default;
};
