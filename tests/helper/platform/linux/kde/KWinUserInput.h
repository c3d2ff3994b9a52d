#pragma once

// The user's pointer and keyboard on a headless KWin: fake input from a
// program of the tests that a desktop entry in KWin's home authorises.

#include "KWinCompositor.h"

#include <cstdint>
#include <fstream>
#include <memory>

namespace obx::test {

class KWinUserInput {
public:
    // Throws std::runtime_error when KWin refuses the program fake input.
    explicit KWinUserInput(const KWinCompositor& kwin);
    ~KWinUserInput();
    KWinUserInput(const KWinUserInput&) = delete;
    KWinUserInput& operator=(const KWinUserInput&) = delete;

    // Each returns once KWin has handled it; throws std::runtime_error when
    // it does not answer.
    void moveTo(int x, int y);
    void click(std::uint32_t button);
    void tap(std::uint32_t key);

private:
    void send(const std::string& command);

    std::filesystem::path output_;
    std::unique_ptr<SpawnedProcess> process_;
    std::ofstream commands_;
    int sent_ = 0;
};

} // namespace obx::test
