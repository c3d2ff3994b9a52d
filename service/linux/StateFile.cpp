#include "service/linux/StateFile.h"

#include "platform/DurableFile.h"

#include <cerrno>
#include <fstream>
#include <nlohmann/json.hpp>

namespace obx::linuxos {

namespace {

constexpr const char* recordKey = "DownloadNotified";
// The record is a few dozen bytes; anything far larger is not ours.
constexpr std::streamsize maxStateSize = 4096;

} // namespace

std::filesystem::path StateFile::defaultPath(const char* stateHome, const char* home) {
    std::filesystem::path folder;
    if (stateHome && *stateHome == '/') {
        folder = stateHome;
    } else if (home && *home == '/') {
        folder = std::filesystem::path(home) / ".local" / "state";
    } else {
        return {};
    }
    return folder / "Halvex" / "Ombrix" / "notification.json";
}

bool StateFile::notified() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string content(maxStateSize + 1, '\0');
    in.read(content.data(), maxStateSize + 1);
    if (in.gcount() > maxStateSize) {
        return false;
    }
    content.resize(static_cast<std::size_t>(in.gcount()));
    const auto state = nlohmann::json::parse(content, nullptr, false);
    if (!state.is_object()) {
        return false;
    }
    const auto value = state.find(recordKey);
    return value != state.end() && value->is_number_integer() && value->get<std::int64_t>() != 0;
}

int StateFile::write(std::int64_t secondsSinceEpoch) {
    if (path_.empty()) {
        return ENOENT;
    }
    std::error_code error;
    std::filesystem::create_directories(path_.parent_path(), error);
    if (error) {
        return error.value();
    }
    auto temporary = path_;
    temporary += ".tmp";
    const auto content = nlohmann::json{{recordKey, secondsSinceEpoch}}.dump() + "\n";
    error = writeFileDurably(temporary, content);
    if (!error) {
        error = replaceFileDurably(temporary, path_);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return error.value();
}

} // namespace obx::linuxos
