#include "platform/linux/catalogue/IconImage.h"

#include "catalogue/Base64.h"
#include "platform/linux/catalogue/SmallFile.h"

#include <cairo.h>
#include <librsvg/rsvg.h>
#include <memory>

namespace obx::linuxos {

namespace {

// Icons are small; anything larger is not one.
constexpr std::size_t iconFileLimit = 4 << 20;
constexpr std::string_view pngSignature{"\x89PNG\r\n\x1a\n", 8};

template <typename T, void (*release)(T*)>
struct Releaser {
    void operator()(T* object) const { release(object); }
};
void unrefHandle(RsvgHandle* handle) {
    g_object_unref(handle);
}
using Handle = std::unique_ptr<RsvgHandle, Releaser<RsvgHandle, unrefHandle>>;
using Surface = std::unique_ptr<cairo_surface_t, Releaser<cairo_surface_t, cairo_surface_destroy>>;
using Context = std::unique_ptr<cairo_t, Releaser<cairo_t, cairo_destroy>>;
using Error = std::unique_ptr<GError, Releaser<GError, g_error_free>>;

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string svgToPng(const std::string& svg, int size) {
    GError* failure = nullptr;
    // From memory, with no base file: the drawing may not pull other files in.
    Handle handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &failure));
    Error error(failure);
    if (!handle) {
        return {};
    }
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size));
    Context context(cairo_create(surface.get()));
    const RsvgRectangle viewport{0, 0, static_cast<double>(size), static_cast<double>(size)};
    failure = nullptr;
    const bool drawn = rsvg_handle_render_document(handle.get(), context.get(), &viewport, &failure) != FALSE;
    error.reset(failure);
    context.reset();
    std::string png;
    if (!drawn || cairo_surface_write_to_png_stream(surface.get(), appendTo, &png) != CAIRO_STATUS_SUCCESS) {
        return {};
    }
    return png;
}

} // namespace

std::string iconImageBase64(const std::filesystem::path& file, int size) {
    const auto extension = file.extension();
    if (extension != ".png" && extension != ".svg") {
        return {};
    }
    const auto content = readSmallFile(file, iconFileLimit);
    if (!content) {
        return {};
    }
    if (extension == ".png") {
        return content->starts_with(pngSignature) ? base64Encode(*content) : std::string{};
    }
    return base64Encode(svgToPng(*content, size));
}

} // namespace obx::linuxos
