#pragma once

// Changing this process's environment from a test: each system has its own call.

#include <string>

namespace obx::test {

void setEnvironmentVariable(const std::string& name, const std::string& value);
void unsetEnvironmentVariable(const std::string& name);

} // namespace obx::test
