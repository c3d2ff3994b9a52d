#include "platform/windows/catalogue/ProgramIcon.h"

#include "catalogue/Base64.h"

#include <cstdint>
#include <optional>
#include <vector>

// <windows.h> first: the other system headers build on it; GDI+ needs the
// COM declarations that the lean <windows.h> leaves out.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <propidl.h>
#include <gdiplus.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wrl/client.h>
// clang-format on

namespace obx::windows {

namespace {

using Microsoft::WRL::ComPtr;

// Far beyond any icon's image; an answer larger than this is not read.
constexpr std::uint64_t maxImageBytes = 16 * 1024 * 1024;

class IconHandle {
public:
    explicit IconHandle(HICON icon) : icon_(icon) {}
    ~IconHandle() {
        if (icon_) {
            ::DestroyIcon(icon_);
        }
    }
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;

    HICON get() const { return icon_; }

private:
    HICON icon_;
};

class Bitmap {
public:
    explicit Bitmap(HICON icon) {
        if (Gdiplus::DllExports::GdipCreateBitmapFromHICON(icon, &bitmap_) != Gdiplus::Ok) {
            bitmap_ = nullptr;
        }
    }
    ~Bitmap() {
        if (bitmap_) {
            Gdiplus::DllExports::GdipDisposeImage(bitmap_);
        }
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    Gdiplus::GpBitmap* get() const { return bitmap_; }

private:
    Gdiplus::GpBitmap* bitmap_ = nullptr;
};

// ExtractIconW answers 1 for a file that is neither a program, a library nor
// an icon file: that is no icon either.
HICON extractIcon(const std::wstring& file, int index) {
    HICON icon = ::ExtractIconW(nullptr, file.c_str(), static_cast<UINT>(index));
    return reinterpret_cast<std::uintptr_t>(icon) > 1 ? icon : nullptr;
}

std::optional<CLSID> pngEncoder() {
    UINT count = 0;
    UINT bytes = 0;
    if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0 ||
        bytes < count * sizeof(Gdiplus::ImageCodecInfo)) {
        return std::nullopt;
    }
    // The codec records come first, the texts they point to after them.
    std::vector<Gdiplus::ImageCodecInfo> codecs((bytes + sizeof(Gdiplus::ImageCodecInfo) - 1) /
                                                sizeof(Gdiplus::ImageCodecInfo));
    if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs.data()) != Gdiplus::Ok) {
        return std::nullopt;
    }
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wstring_view(codecs[i].MimeType) == L"image/png") {
            return codecs[i].Clsid;
        }
    }
    return std::nullopt;
}

std::string streamBase64(IStream& stream) {
    STATSTG status{};
    if (FAILED(stream.Stat(&status, STATFLAG_NONAME)) || status.cbSize.QuadPart == 0 ||
        status.cbSize.QuadPart > maxImageBytes) {
        return {};
    }
    const auto size = static_cast<ULONG>(status.cbSize.QuadPart);
    std::string bytes(size, '\0');
    ULONG read = 0;
    if (FAILED(stream.Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream.Read(bytes.data(), size, &read)) || read < size) {
        return {};
    }
    return base64Encode(bytes);
}

} // namespace

GdiplusSession::GdiplusSession() {
    const Gdiplus::GdiplusStartupInput input; // version 1
    ULONG_PTR token = 0;
    running_ = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    token_ = token;
}

GdiplusSession::~GdiplusSession() {
    if (running_) {
        Gdiplus::GdiplusShutdown(static_cast<ULONG_PTR>(token_));
    }
}

std::string programIconBase64(const std::wstring& file, int index) {
    const IconHandle icon(extractIcon(file, index));
    if (!icon.get()) {
        return {};
    }
    const Bitmap bitmap(icon.get());
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(nullptr, 0));
    if (!bitmap.get() || !stream) {
        return {};
    }
    const auto encoder = pngEncoder();
    if (!encoder || Gdiplus::DllExports::GdipSaveImageToStream(bitmap.get(), stream.Get(), &*encoder,
                                                               nullptr) != Gdiplus::Ok) {
        return {};
    }
    return streamBase64(*stream.Get());
}

} // namespace obx::windows
