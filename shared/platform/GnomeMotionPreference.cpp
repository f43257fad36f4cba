// GLib first: its headers use names that Qt's keywords would turn into macros.
#include <gio/gio.h>

#include "MotionPreference.h"

namespace {
constexpr const char* schema = "org.gnome.desktop.interface";
constexpr const char* key = "enable-animations";
} // namespace

std::unique_ptr<GnomeMotionPreference> GnomeMotionPreference::open() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return nullptr;
    GSettingsSchema* found = g_settings_schema_source_lookup(source, schema, TRUE);
    if (!found) return nullptr;
    const bool hasKey = g_settings_schema_has_key(found, key);
    g_settings_schema_unref(found);
    if (!hasKey) return nullptr;
    return std::unique_ptr<GnomeMotionPreference>(new GnomeMotionPreference(g_settings_new(schema)));
}

GnomeMotionPreference::~GnomeMotionPreference() {
    g_object_unref(static_cast<GSettings*>(settings_));
}

bool GnomeMotionPreference::reduceMotion() {
    return !g_settings_get_boolean(static_cast<GSettings*>(settings_), key);
}
