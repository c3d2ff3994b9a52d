#pragma once

// What the double checks as Driver Verifier would, and the interrupt request level of the one
// simulated processor. Plain C++: used by the fakes (built with the kernel headers) and by the scenarios.

#include <cstdint>
#include <string>
#include <vector>

namespace obx::kmdf_double {

enum Irql : uint8_t { kPassiveLevel = 0, kApcLevel = 1, kDispatchLevel = 2 };

class Verifier {
public:
    // A rule the driver broke; the scenario in progress fails with the message.
    static void violation(const std::string& message);
    // A call the double cannot go on from (an unknown function, a handle that is no object): the message
    // is printed and the program ends with a failure.
    [[noreturn]] static void fatal(const std::string& message);
    // Takes the violations recorded so far.
    static std::vector<std::string> take();

    static Irql irql();
    static void setIrql(uint8_t level, const char* call);
    static int spinLocksHeld();
    static void spinLockTaken() { ++spinLocks_; }
    static void spinLockReleased() { --spinLocks_; }

    // `call` may only run at `level` or below.
    static void requireAtMost(Irql level, const char* call);
    // `call` may wait or touch pageable memory: passive level, no spin lock held.
    static void requirePassive(const char* call);

private:
    static inline std::vector<std::string> violations_;
    static inline uint8_t irql_ = kPassiveLevel;
    static inline int spinLocks_ = 0;
};

// Runs `body` at `level` and returns to the level before, checking that the driver left it as it found it.
template <typename Body>
void atIrql(Irql level, const char* what, Body&& body) {
    const Irql before = Verifier::irql();
    const int locksBefore = Verifier::spinLocksHeld();
    Verifier::setIrql(level, what);
    body();
    if (Verifier::irql() != level || Verifier::spinLocksHeld() != locksBefore)
        Verifier::violation(std::string(what) + " returned at another IRQL or with a spin lock held");
    Verifier::setIrql(before, what);
}

} // namespace obx::kmdf_double
