#include "server/RequestTarget.h"

#include <algorithm>
#include <cctype>

namespace obx {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

RequestTarget splitRequestTarget(std::string_view target) {
    RequestTarget result;
    for (std::string_view scheme : {"http://", "https://"}) {
        if (startsWithNoCase(target, scheme)) {
            target.remove_prefix(scheme.size());
            const auto end = std::min(target.find('/'), target.find('?'));
            result.authority = target.substr(0, end);
            target = end == std::string_view::npos ? std::string_view() : target.substr(end);
            break;
        }
    }
    const auto question = target.find('?');
    result.path = target.substr(0, question);
    if (question != std::string_view::npos) {
        result.query = target.substr(question + 1);
    }
    if (result.authority && result.path.empty()) {
        result.path = "/";
    }
    return result;
}

} // namespace obx
