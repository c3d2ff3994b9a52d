#pragma once

// What the popup says: its title and the invitation in the user's display
// language, as the string table holds them.

#include <optional>
#include <string>
#include <string_view>

namespace obx {

namespace popupString {
inline constexpr int windowTitle = 103;
inline constexpr int balloonTitle = 104;
inline constexpr int fallbackMessage = 105;
inline constexpr int windowClass = 109;
inline constexpr int englishMessage = 201;
} // namespace popupString

// Every string is used as if loaded into a buffer of 100 UTF-16 units, so at
// most 99 of them are kept; a character of two units is kept whole or not at
// all.
inline constexpr std::size_t stringBufferLength = 100;
std::u16string cutToStringBuffer(std::u16string_view text);

// The message of the first language code, in the table's order, that occurs
// anywhere in languageName (case-sensitive); the English message when none
// does or when the name is unknown.
int messageIdForLanguage(const std::optional<std::string>& languageName);

// The system's string table.
class StringSource {
public:
    virtual ~StringSource() = default;
    // Empty when the table has no such string.
    virtual std::optional<std::u16string> load(int id) = 0;
};

// The table built into the program, for systems without string resources.
class BuiltInStrings : public StringSource {
public:
    std::optional<std::u16string> load(int id) override;
};

struct PopupTexts {
    std::u16string title;
    std::u16string message;
};

// The balloon title and the message for languageName, each cut to the
// buffer; the fallback message when the chosen one is missing.
PopupTexts choosePopupTexts(StringSource& strings, const std::optional<std::string>& languageName);

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

} // namespace obx
