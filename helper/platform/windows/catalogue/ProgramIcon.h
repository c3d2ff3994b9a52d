#pragma once

// A program's icon as a PNG image in Base64 text, made with GDI+.

#include <string>

namespace obx::windows {

// Keeps GDI+ (version 1) running while it lives.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool running() const { return running_; }

private:
    unsigned long long token_ = 0;
    bool running_ = false;
};

// The icon of the given index in a program, library or icon file; empty when
// there is none or it cannot be encoded. GDI+ must be running.
std::string programIconBase64(const std::wstring& file, int index);

} // namespace obx::windows
