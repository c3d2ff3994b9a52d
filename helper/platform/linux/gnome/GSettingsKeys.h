#pragma once

// The keys of one GSettings schema, read and written through the user's
// settings store (dconf on a GNOME desktop), where the desktop reads them.

#include <string>
#include <utility>
#include <vector>

typedef struct _GSettings GSettings;
typedef struct _GSettingsSchema GSettingsSchema;

namespace obx::gnome {

class GSettingsKeys {
public:
    // Throws std::runtime_error when the schema is not installed.
    explicit GSettingsKeys(const char* schema);
    ~GSettingsKeys();
    GSettingsKeys(const GSettingsKeys&) = delete;
    GSettingsKeys& operator=(const GSettingsKeys&) = delete;

    double readDouble(const char* key) const;
    bool readBool(const char* key) const;
    // A string or an enumeration's nick.
    std::string readString(const char* key) const;
    std::vector<std::string> readStrings(const char* key) const;
    // An array of string pairs, a(ss).
    std::vector<std::pair<std::string, std::string>> readPairs(const char* key) const;

    // Each throws std::runtime_error when the store refuses the value (the
    // key is missing or the value out of its range).
    void write(const char* key, double value);
    void writeString(const char* key, const std::string& value);
    void writeStrings(const char* key, const std::vector<std::string>& values);

    // Waits until the writes reached the store.
    static void sync();

private:
    void requireKey(const char* key) const;
    void writeValue(const char* key, void* value);

    GSettingsSchema* schema_ = nullptr;
    GSettings* settings_ = nullptr;
};

} // namespace obx::gnome
