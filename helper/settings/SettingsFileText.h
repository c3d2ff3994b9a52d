#pragma once

// The settings file's text, rebuilt on every save from the written form of
// each profile kept since the last one: a profile whose stored values are the
// same as then is not turned into JSON again. Whether a kept form still holds
// is decided by comparing the values themselves, never by being told of a
// change, so a change that no one announced cannot leave a stale profile in
// the file.

#include "settings/ApplicationConfig.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace obx {

class Settings;

class SettingsFileText {
public:
    // The same bytes as settings.toJson().dump(2). Valid until the next call.
    const std::string& render(const Settings& settings);
    // What the last render gave; empty before the first.
    const std::string& text() const { return text_; }

private:
    template <typename... Fields>
    static std::tuple<std::remove_cvref_t<Fields>...> valuesOf(const std::tuple<Fields...>& fields) {
        return fields;
    }
    using ProfileValues = decltype(valuesOf(std::declval<const ApplicationConfig&>().storedFields()));

    // One profile as it stands in the file: its member line and object,
    // indented for its place, without the separator to the next.
    struct Member {
        std::uint16_t device;
        std::string identifier;
        ProfileValues values;
        std::string text;
    };

    // The kept member of the profile when its values are unchanged, else a
    // new one; appended to next_.
    const Member& member(std::uint16_t device, const std::string& identifier,
                         const ApplicationConfig& profile);

    std::vector<Member> members_;
    std::vector<Member>::iterator unread_;
    std::vector<Member> next_;
    std::string text_;
};

} // namespace obx
