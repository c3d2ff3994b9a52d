#include "Verifier.h"

#include <cstdio>
#include <cstdlib>

namespace obx::kmdf_double {

namespace {

const char* levelName(uint8_t level) {
    switch (level) {
    case kPassiveLevel:
        return "PASSIVE_LEVEL";
    case kApcLevel:
        return "APC_LEVEL";
    case kDispatchLevel:
        return "DISPATCH_LEVEL";
    default:
        return "a device level";
    }
}

} // namespace

void Verifier::violation(const std::string& message) {
    violations_.push_back(message);
}

void Verifier::fatal(const std::string& message) {
    std::fprintf(stderr, "framework double: %s\n", message.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

std::vector<std::string> Verifier::take() {
    std::vector<std::string> taken;
    taken.swap(violations_);
    return taken;
}

Irql Verifier::irql() {
    return static_cast<Irql>(irql_);
}

void Verifier::setIrql(uint8_t level, const char* call) {
    if (level > kDispatchLevel)
        violation(std::string(call) + " raised the IRQL to " + levelName(level));
    irql_ = level;
}

int Verifier::spinLocksHeld() {
    return spinLocks_;
}

void Verifier::requireAtMost(Irql level, const char* call) {
    if (irql_ > level)
        violation(std::string(call) + " called at " + levelName(irql_) + ", allowed up to " +
                  levelName(level));
}

void Verifier::requirePassive(const char* call) {
    if (irql_ != kPassiveLevel || spinLocks_ != 0)
        violation(std::string(call) + " called at " + levelName(irql_) +
                  (spinLocks_ != 0 ? " with a spin lock held" : "") + ": it may wait or page");
}

} // namespace obx::kmdf_double
