#include "support/Environment.h"

#include <cstdlib>

namespace obx::test {

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

void unsetEnvironmentVariable(const std::string& name) {
    // An empty value removes the variable.
    ::_putenv_s(name.c_str(), "");
}

} // namespace obx::test
