#pragma once

// The command line's short ways of writing what the API takes as JSON:
// actions ("key ctrl+c", "click right", "scroll up 3", ...), buttons (a
// number, a mask, a chord), modifier sets and switches. Every word that does
// not fit throws UsageError.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace obxctl {

// A JSON object (one word starting with "{") or a short form.
nlohmann::json parseAction(const std::vector<std::string>& words);

// "3" is button 3; "0x4" a mask; "1+2" the chord of buttons 1 and 2;
// "pan-left" and "pan-right" the horizontal pan.
std::uint32_t parseButton(const std::string& word);

// "ctrl+shift", "ctrl,shift" or "none": the API's modifier text
// ("ctrl,shift", names in the API's order).
std::string parseModifiers(const std::string& word);

bool parseSwitch(const std::string& word);
int parseNumber(const std::string& word, int lowest, int highest);

// What a listing shows of an action: a gesture in its short form (each of
// its actions too, where one writes the same JSON), any other action as JSON.
std::string describeAction(const nlohmann::json& action);

// The usage text of the short action forms, for the help.
const char* actionFormsHelp();

} // namespace obxctl
