#pragma once

// The program's string table, as LoadStringW finds it.

#include "service/PopupTexts.h"

#include <windows.h>

namespace obx::win {

class ResourceStrings : public StringSource {
public:
    explicit ResourceStrings(HINSTANCE module) : module_(module) {}
    std::optional<std::u16string> load(int id) override;

private:
    HINSTANCE module_;
};

} // namespace obx::win
