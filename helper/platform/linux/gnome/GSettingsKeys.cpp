#include "platform/linux/gnome/GSettingsKeys.h"

#include <gio/gio.h>
#include <memory>
#include <stdexcept>

namespace obx::gnome {

namespace {

struct VariantRelease {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};

} // namespace

GSettingsKeys::GSettingsKeys(const char* schema) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    // GSettings ends the process on an unknown schema: asked first.
    schema_ = source ? g_settings_schema_source_lookup(source, schema, TRUE) : nullptr;
    if (!schema_) {
        throw std::runtime_error("a GSettings schema the helper needs is not installed");
    }
    settings_ = g_settings_new_full(schema_, nullptr, nullptr);
}

GSettingsKeys::~GSettingsKeys() {
    g_object_unref(settings_);
    g_settings_schema_unref(schema_);
}

void GSettingsKeys::requireKey(const char* key) const {
    if (!g_settings_schema_has_key(schema_, key)) {
        throw std::runtime_error("a GSettings key the helper needs is missing");
    }
}

double GSettingsKeys::readDouble(const char* key) const {
    requireKey(key);
    return g_settings_get_double(settings_, key);
}

bool GSettingsKeys::readBool(const char* key) const {
    requireKey(key);
    return g_settings_get_boolean(settings_, key) != FALSE;
}

std::string GSettingsKeys::readString(const char* key) const {
    requireKey(key);
    const std::unique_ptr<GVariant, VariantRelease> value(g_settings_get_value(settings_, key));
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) {
        throw std::runtime_error("a GSettings key holds no text");
    }
    return g_variant_get_string(value.get(), nullptr);
}

std::vector<std::string> GSettingsKeys::readStrings(const char* key) const {
    requireKey(key);
    gchar** values = g_settings_get_strv(settings_, key);
    std::vector<std::string> result;
    for (gchar** value = values; value && *value; ++value) {
        result.emplace_back(*value);
    }
    g_strfreev(values);
    return result;
}

std::vector<std::pair<std::string, std::string>> GSettingsKeys::readPairs(const char* key) const {
    requireKey(key);
    const std::unique_ptr<GVariant, VariantRelease> value(g_settings_get_value(settings_, key));
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE("a(ss)"))) {
        throw std::runtime_error("a GSettings key holds no pairs of texts");
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    GVariantIter iterator;
    g_variant_iter_init(&iterator, value.get());
    const gchar* first = nullptr;
    const gchar* second = nullptr;
    while (g_variant_iter_next(&iterator, "(&s&s)", &first, &second)) {
        pairs.emplace_back(first, second);
    }
    return pairs;
}

void GSettingsKeys::writeValue(const char* key, void* value) {
    auto* variant = static_cast<GVariant*>(value);
    g_variant_ref_sink(variant);
    const std::unique_ptr<GVariant, VariantRelease> owned(variant);
    requireKey(key);
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema_, key);
    const bool fits = g_variant_is_of_type(variant, g_settings_schema_key_get_value_type(schemaKey)) &&
                      g_settings_schema_key_range_check(schemaKey, variant);
    g_settings_schema_key_unref(schemaKey);
    if (!fits || !g_settings_set_value(settings_, key, variant)) {
        throw std::runtime_error("the settings store refused a value of the helper");
    }
}

void GSettingsKeys::write(const char* key, double value) {
    writeValue(key, g_variant_new_double(value));
}

void GSettingsKeys::writeString(const char* key, const std::string& value) {
    writeValue(key, g_variant_new_string(value.c_str()));
}

void GSettingsKeys::writeStrings(const char* key, const std::vector<std::string>& values) {
    std::vector<const char*> texts;
    for (const auto& value : values) {
        texts.push_back(value.c_str());
    }
    writeValue(key, g_variant_new_strv(texts.data(), static_cast<gssize>(texts.size())));
}

void GSettingsKeys::sync() {
    g_settings_sync();
}

} // namespace obx::gnome
