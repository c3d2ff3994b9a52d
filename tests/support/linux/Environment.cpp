#include "support/Environment.h"

#include <cstdlib>

namespace obx::test {

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnvironmentVariable(const std::string& name) {
    ::unsetenv(name.c_str());
}

} // namespace obx::test
