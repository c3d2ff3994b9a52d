#include "platform/linux/catalogue/IconImage.h"

#include "catalogue/Base64.h"
#include "platform/linux/catalogue/SmallFile.h"

#include <cairo.h>
#include <dlfcn.h>
#include <librsvg/rsvg.h>

namespace obx::linuxos {

namespace {

// Icons are small; anything larger is not one.
constexpr std::size_t iconFileLimit = 4 << 20;
constexpr std::string_view pngSignature{"\x89PNG\r\n\x1a\n", 8};

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The SVG renderer and the libraries it pulls in (cairo, pixman, GLib, libxml2)
// are loaded only when the first SVG icon is drawn: most helpers never draw one,
// and mapped in at start they were a quarter of an idle helper's memory.
class SvgRenderer {
public:
    static const SvgRenderer* instance() {
        static const SvgRenderer renderer;
        return renderer.library_ != nullptr ? &renderer : nullptr;
    }

    std::string toPng(const std::string& svg, int size) const {
        GError* failure = nullptr;
        // From memory, with no base file: the drawing may not pull other files in.
        RsvgHandle* handle = newFromData_(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &failure);
        dropError(failure);
        if (handle == nullptr) {
            return {};
        }
        cairo_surface_t* surface = createSurface_(CAIRO_FORMAT_ARGB32, size, size);
        cairo_t* context = createContext_(surface);
        const RsvgRectangle viewport{0, 0, static_cast<double>(size), static_cast<double>(size)};
        failure = nullptr;
        const bool drawn = render_(handle, context, &viewport, &failure) != FALSE;
        dropError(failure);
        destroyContext_(context);
        unref_(handle);
        std::string png;
        const bool written = drawn && writePng_(surface, appendTo, &png) == CAIRO_STATUS_SUCCESS;
        destroySurface_(surface);
        return written ? png : std::string{};
    }

private:
    SvgRenderer() : library_(::dlopen("librsvg-2.so.2", RTLD_NOW | RTLD_LOCAL)) {
        if (library_ == nullptr ||
            !(find(newFromData_, "rsvg_handle_new_from_data") &&
              find(render_, "rsvg_handle_render_document") && find(unref_, "g_object_unref") &&
              find(freeError_, "g_error_free") && find(createSurface_, "cairo_image_surface_create") &&
              find(destroySurface_, "cairo_surface_destroy") && find(createContext_, "cairo_create") &&
              find(destroyContext_, "cairo_destroy") &&
              find(writePng_, "cairo_surface_write_to_png_stream"))) {
            // Without the renderer SVG icons are not drawn; PNG icons still are.
            library_ = nullptr;
        }
    }

    template <typename Function>
    bool find(Function*& function, const char* name) {
        // dlsym searches the library and the libraries it loaded.
        function = reinterpret_cast<Function*>(::dlsym(library_, name));
        return function != nullptr;
    }

    void dropError(GError* error) const {
        if (error != nullptr) {
            freeError_(error);
        }
    }

    void* library_;
    decltype(&rsvg_handle_new_from_data) newFromData_ = nullptr;
    decltype(&rsvg_handle_render_document) render_ = nullptr;
    decltype(&g_object_unref) unref_ = nullptr;
    decltype(&g_error_free) freeError_ = nullptr;
    decltype(&cairo_image_surface_create) createSurface_ = nullptr;
    decltype(&cairo_surface_destroy) destroySurface_ = nullptr;
    decltype(&cairo_create) createContext_ = nullptr;
    decltype(&cairo_destroy) destroyContext_ = nullptr;
    decltype(&cairo_surface_write_to_png_stream) writePng_ = nullptr;
};

std::string svgToPng(const std::string& svg, int size) {
    const auto* renderer = SvgRenderer::instance();
    return renderer != nullptr ? renderer->toPng(svg, size) : std::string{};
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
