// GIO first: Qt's "signals" keyword would clash with a member of that name in its headers.
#include <gio/gio.h>

#include "GSettingsHandle.h"

GSettingsHandle::GSettingsHandle(const QString& schemaId) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return;
    schema_ = g_settings_schema_source_lookup(source, schemaId.toUtf8().constData(), TRUE);
    if (schema_) settings_ = g_settings_new_full(schema_, nullptr, nullptr);
}

GSettingsHandle::~GSettingsHandle() {
    if (settings_) g_object_unref(settings_);
    if (schema_) g_settings_schema_unref(schema_);
}

bool GSettingsHandle::installed(const QString& schemaId) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return false;
    GSettingsSchema* found = g_settings_schema_source_lookup(source, schemaId.toUtf8().constData(), TRUE);
    if (found) g_settings_schema_unref(found);
    return found != nullptr;
}

void GSettingsHandle::sync() {
    g_settings_sync();
}

bool GSettingsHandle::has(const QString& key) const {
    return !key.isEmpty() && schema_ && g_settings_schema_has_key(schema_, key.toUtf8().constData());
}

QString GSettingsHandle::get(const QString& key) const {
    if (!has(key)) return {};
    gchar* value = g_settings_get_string(settings_, key.toUtf8().constData());
    const QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

bool GSettingsHandle::put(const QString& key, const QString& value) {
    if (!has(key)) return false;
    return putValue(key, g_variant_new_string(value.toUtf8().constData()));
}

void GSettingsHandle::reset(const QString& key) {
    if (has(key)) g_settings_reset(settings_, key.toUtf8().constData());
}

std::optional<QString> GSettingsHandle::userValue(const QString& key) const {
    if (!has(key)) return std::nullopt;
    GVariant* value = g_settings_get_user_value(settings_, key.toUtf8().constData());
    if (!value) return std::nullopt;
    gchar* text = g_variant_print(value, FALSE);
    const QString printed = QString::fromUtf8(text);
    g_free(text);
    g_variant_unref(value);
    return printed;
}

bool GSettingsHandle::putText(const QString& key, const QString& text) {
    if (!has(key)) return false;
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema_, key.toUtf8().constData());
    const GVariantType* type = g_settings_schema_key_get_value_type(schemaKey);
    GVariant* value = g_variant_parse(type, text.toUtf8().constData(), nullptr, nullptr, nullptr);
    g_settings_schema_key_unref(schemaKey);
    if (!value) return false;
    const bool stored = putValue(key, value);
    g_variant_unref(value);
    return stored;
}

bool GSettingsHandle::putValue(const QString& key, GVariant* value) {
    const QByteArray name = key.toUtf8();
    GVariant* held = g_variant_ref_sink(value);
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema_, name.constData());
    const bool fits = g_settings_schema_key_range_check(schemaKey, held);
    g_settings_schema_key_unref(schemaKey);
    const bool stored = fits && g_settings_set_value(settings_, name.constData(), held);
    g_variant_unref(held);
    return stored;
}
