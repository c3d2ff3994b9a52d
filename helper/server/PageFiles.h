#pragma once

// The configuration page: static files from one folder, answered with their
// type, an entity tag for revalidation and the page's security headers.
// Nothing outside the folder is reachable and no folder is ever listed.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace obx {

class HttpServer;

// Headers of every answer under the page's prefix: no inline script or
// style, nothing fetched from elsewhere, never inside another site's frame,
// no content-type guessing, and never a resource of another site's page.
inline constexpr std::string_view pageSecurityHeaders =
    "Content-Security-Policy: default-src 'self'; script-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; style-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Cross-Origin-Resource-Policy: same-origin\r\n"
    "Referrer-Policy: no-referrer\r\n";

// The relative file a page path names ("" and folders mean their
// index.html), still percent-encoded as sent; nullopt when the path is
// refused: a segment that is empty or starts with a dot (".." included),
// a character other than letters, digits, '.', '-' and '_', or a bad escape.
std::optional<std::string> pageFileName(std::string_view encodedPath);

class PageFiles {
public:
    explicit PageFiles(std::filesystem::path folder);

    // The complete response for the path below the prefix; ifNoneMatch is
    // the request's header of that name.
    std::string respond(std::string_view encodedPath, std::optional<std::string_view> ifNoneMatch) const;

private:
    std::optional<std::filesystem::path> locate(std::string_view encodedPath) const;

    std::filesystem::path folder_;
};

// OBX_PAGE_FOLDER when set, else the "ui" folder beside the running
// executable.
std::filesystem::path installedPageFolder();

// GET /ui redirects to /ui/, GET /ui/<path> answers from folder.
void registerPage(HttpServer& server, std::filesystem::path folder);

} // namespace obx
