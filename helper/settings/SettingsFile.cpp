// Reading and writing the settings file.

#include "base/Log.h"
#include "platform/DurableFile.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

#include <chrono>
#include <fstream>

namespace obx {

namespace {

namespace fs = std::filesystem;

void makeFolder(const fs::path& folder) {
    if (folder.empty() || fs::is_directory(folder)) {
        return;
    }
    if (!fs::create_directories(folder)) {
        throw std::runtime_error("Error creating settings folder");
    }
}

nlohmann::json readDocument(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw fs::filesystem_error("cannot open the settings file", file,
                                   std::make_error_code(std::errc::io_error));
    }
    return nlohmann::json::parse(in);
}

// The first of name.bad, name.bad.1, ... that is free: an earlier backup is
// never overwritten.
fs::path freeBackupPath(const fs::path& file) {
    auto candidate = fs::path(file) += ".bad";
    for (int counter = 1; fs::exists(candidate); ++counter) {
        candidate = fs::path(file) += ".bad." + std::to_string(counter);
    }
    return candidate;
}

// Throws when the copy fails, so that the file is never replaced before its
// content is safe.
void keepUnreadable(const fs::path& file) {
    const auto backup = freeBackupPath(file);
    fs::copy_file(file, backup);
    log(LogLevel::warning, "Unreadable settings file kept as ", pathToUtf8(backup));
}

} // namespace

Settings::Settings(bool loadFromFile) {
    if (loadFromFile) {
        load();
    }
}

void Settings::load() {
    makeFolder(settingsFolder());
    const auto file = settingsFilePath();
    if (!fs::exists(file)) {
        log(LogLevel::info, "Settings file not found, creating empty config");
        saveOrLog();
        return;
    }
    try {
        fromJson(readDocument(file));
    } catch (const nlohmann::json::exception&) {
        log(LogLevel::warning, "Error loading settings, creating empty config");
        keepUnreadable(file);
        devices.clear();
        timestamp = 0;
        trayIcon = true;
        saveOrLog();
    }
}

void Settings::save() {
    timestamp =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const auto& text = fileText_.render(*this);
    const auto file = settingsFilePath();
    const auto temporary = fs::path(file) += ".tmp";
    savedIdentity_.reset();
    auto error = writeFileDurably(temporary, text);
    const auto written = error ? std::nullopt : fileIdentity(temporary);
    if (!error) {
        error = replaceFileDurably(temporary, file);
    }
    if (!error && written) {
        // The watch tells this save from another program's change by the
        // file's identity, without reading it back. Only the file this save
        // wrote, unchanged, counts: one that took its place or was written
        // over meanwhile is read.
        const auto placed = fileIdentity(file);
        if (placed && placed->volume == written->volume && placed->file == written->file &&
            placed->size == written->size && placed->modified == written->modified) {
            savedIdentity_ = placed;
        }
    }
    if (error) {
        log(LogLevel::warning, "Settings::save - cannot write ", pathToUtf8(file), ": ", error.message());
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error("Error writing settings file");
    }
}

void Settings::saveOrLog() {
    try {
        save();
    } catch (const std::runtime_error&) {
        // Already logged; the settings in memory are whole and the next save
        // writes them.
    }
}

} // namespace obx
