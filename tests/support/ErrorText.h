#pragma once

#include <exception>
#include <string>

namespace obx::test {

// The message of what call throws, or "(no error)": lets a test compare the
// system's fixed error texts in one expectation.
template <typename Call>
std::string errorText(Call&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace obx::test
