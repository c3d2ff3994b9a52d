#include "server/PageFiles.h"

#include "platform/ProgramPath.h"
#include "server/HttpServer.h"
#include "server/QueryParameters.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace obx {

namespace {

namespace fs = std::filesystem;

// Above every file of the page; a larger file is not the page's.
constexpr std::uintmax_t fileSizeLimit = 8 * 1024 * 1024;
constexpr std::size_t pathLengthLimit = 1024;

struct ContentType {
    std::string_view extension;
    std::string_view type;
};

// Only what the page is made of: any other file is not served.
constexpr std::array<ContentType, 10> contentTypes{{
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".mjs", "text/javascript; charset=utf-8"},
    {".json", "application/json; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".ico", "image/x-icon"},
    {".woff2", "font/woff2"},
    {".txt", "text/plain; charset=utf-8"},
}};

std::optional<std::string_view> contentTypeOf(const fs::path& file) {
    const auto extension = file.extension().string();
    for (auto& entry : contentTypes) {
        if (entry.extension == extension) {
            return entry.type;
        }
    }
    return std::nullopt;
}

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// A strong tag from the content, so that a rebuilt but unchanged file keeps
// its tag (FNV-1a, 64 bits).
std::string entityTag(std::string_view content) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : content) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string tag = "\"";
    for (int shift = 60; shift >= 0; shift -= 4) {
        tag.push_back(digits[(hash >> shift) & 0xf]);
    }
    return tag + "\"";
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// If-None-Match compares weakly: a "W/" tag matches its strong twin.
bool matchesAny(std::string_view ifNoneMatch, std::string_view tag) {
    while (!ifNoneMatch.empty()) {
        const auto comma = ifNoneMatch.find(',');
        auto candidate = trimmed(ifNoneMatch.substr(0, comma));
        if (candidate.starts_with("W/")) {
            candidate.remove_prefix(2);
        }
        if (candidate == "*" || candidate == tag) {
            return true;
        }
        ifNoneMatch = comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
    }
    return false;
}

std::string pageResponse(std::string_view statusLine, std::string_view headers, std::string_view body) {
    std::string bytes(statusLine);
    bytes.append("\r\n")
        .append(headers)
        .append(pageSecurityHeaders)
        .append("Content-Length: ")
        .append(std::to_string(body.size()))
        .append("\r\n\r\n")
        .append(body);
    return bytes;
}

// A 304 has no body and no length: its Content-Length would have to be the
// length of the 200 it stands for.
std::string notModified(std::string_view validators) {
    return std::string("HTTP/1.1 304 Not Modified\r\n")
        .append(validators)
        .append(pageSecurityHeaders)
        .append("\r\n");
}

std::string notFound() {
    return pageResponse("HTTP/1.1 404 Not Found", "Content-Type: text/plain; charset=utf-8\r\n",
                        "Not found\n");
}

std::optional<std::string> readSmallFile(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error || size > fileSizeLimit) {
        return std::nullopt;
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::string content((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad() || content.size() > fileSizeLimit) {
        return std::nullopt;
    }
    return content;
}

} // namespace

std::optional<std::string> pageFileName(std::string_view encodedPath) {
    if (encodedPath.size() > pathLengthLimit) {
        return std::nullopt;
    }
    // Decoded before it is checked, so that an escaped dot or slash meets the
    // same rules as a plain one.
    auto decoded = strictPercentDecode(encodedPath);
    if (!decoded) {
        return std::nullopt;
    }
    if (decoded->empty() || decoded->back() == '/') {
        decoded->append("index.html");
    }
    std::string_view rest(*decoded);
    while (true) {
        const auto slash = rest.find('/');
        const auto segment = rest.substr(0, slash);
        if (segment.empty() || segment.front() == '.') {
            return std::nullopt;
        }
        for (char c : segment) {
            if (!isNameCharacter(c)) {
                return std::nullopt;
            }
        }
        if (slash == std::string_view::npos) {
            return decoded;
        }
        rest.remove_prefix(slash + 1);
    }
}

PageFiles::PageFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<std::filesystem::path> PageFiles::locate(std::string_view encodedPath) const {
    const auto name = pageFileName(encodedPath);
    if (!name) {
        return std::nullopt;
    }
    // A link inside the folder must not lead out of it.
    std::error_code error;
    const auto root = fs::canonical(folder_, error);
    if (error) {
        return std::nullopt;
    }
    const auto file = fs::canonical(root / fs::path(*name), error);
    if (error || !fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    const auto relative = file.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    return file;
}

std::string PageFiles::respond(std::string_view encodedPath,
                               std::optional<std::string_view> ifNoneMatch) const {
    const auto file = locate(encodedPath);
    if (!file) {
        return notFound();
    }
    const auto type = contentTypeOf(*file);
    const auto content = type ? readSmallFile(*file) : std::nullopt;
    if (!content) {
        return notFound();
    }
    const auto tag = entityTag(*content);
    // Always revalidated: the page changes with the helper it comes with.
    const auto validators = "ETag: " + tag + "\r\nCache-Control: no-cache\r\n";
    if (ifNoneMatch && matchesAny(*ifNoneMatch, tag)) {
        return notModified(validators);
    }
    return pageResponse("HTTP/1.1 200 OK", "Content-Type: " + std::string(*type) + "\r\n" + validators,
                        *content);
}

std::filesystem::path installedPageFolder() {
    // A page being worked on is served from where it is edited.
    if (const char* folder = std::getenv("OBX_PAGE_FOLDER"); folder != nullptr && *folder != '\0') {
        return folder;
    }
    return runningExecutablePath().parent_path() / "ui";
}

void registerPage(HttpServer& server, std::filesystem::path folder) {
    server.addRoute("GET", "^/ui$", [](const HttpRequest&) {
        return pageResponse("HTTP/1.1 301 Moved Permanently", "Location: /ui/\r\n", "");
    });
    server.addRoute("GET", "^/ui/.*$", [files = PageFiles(std::move(folder))](const HttpRequest& request) {
        const std::string_view path(request.path);
        return files.respond(path.substr(std::string_view("/ui/").size()), request.ifNoneMatch);
    });
}

} // namespace obx
