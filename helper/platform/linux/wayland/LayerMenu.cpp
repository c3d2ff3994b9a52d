#include "platform/linux/wayland/LayerMenu.h"

#include "base/Log.h"
#include "platform/linux/menu/CairoMenuCanvas.h"
#include "platform/linux/menu/MenuInteraction.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "platform/linux/wayland/HandedKeymap.h"
#include "platform/linux/wayland/KeyRepeat.h"
#include "platform/linux/wayland/PointerCursor.h"
#include "platform/linux/wayland/ShmBuffer.h"
// The protocol names an argument "namespace", which C++ reserves.
#define namespace layerName
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <linux/input-event-codes.h>
#include <memory>
#include <pango/pangocairo.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <xkbcommon/xkbcommon.h>

namespace obx::wayland {

namespace {

using Clock = std::chrono::steady_clock;

// Outputs covered at most; a compositor announcing more is not believed.
constexpr std::size_t mostOutputs = 16;
constexpr int largestScale = 8;
// How long the pointer's entry is awaited before the menu opens in the
// middle of an output instead (a seat without a pointer never tells).
constexpr auto pointerWait = std::chrono::milliseconds(500);
constexpr const char* menuLayerName = "obx-snippet-menu";
// The menu's frame around what the painter draws.
constexpr int border = 1;

struct Output {
    wl_output* output = nullptr;
    int scale = 1;
};

// One showing of the menu on a connection of its own.
class MenuShowing {
public:
    MenuShowing(const std::string& displayName, std::chrono::milliseconds timeout,
                const std::vector<SnippetMenuEntry>& entries);
    ~MenuShowing();
    MenuShowing(const MenuShowing&) = delete;
    MenuShowing& operator=(const MenuShowing&) = delete;

    std::optional<std::size_t> run();

private:
    struct Overlay {
        MenuShowing* owner = nullptr;
        const Output* output = nullptr;
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
        int width = 0;
        int height = 0;
        int scale = 1;
        bool configured = false;
        // Drawn at least once since its size was set.
        bool presented = false;
        // To be drawn as soon as one of its buffers is free.
        bool pending = false;
        std::array<std::unique_ptr<ShmBuffer>, 2> buffers;
    };

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}
    static void outputGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                               std::int32_t, const char*, const char*, std::int32_t) {}
    static void outputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
    static void outputDone(void*, wl_output*) {}
    static void outputScale(void* data, wl_output*, std::int32_t factor);
    static void capabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void seatName(void*, wl_seat*, const char*) {}
    static void configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height);
    static void closed(void* data, zwlr_layer_surface_v1*);
    static void pointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
                             wl_fixed_t y);
    static void pointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*);
    static void pointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y);
    static void pointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                              std::uint32_t state);
    static void pointerAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
    static void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size);
    static void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void keyboardLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*);
    static void key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                    std::uint32_t state);
    static void modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed,
                          std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
    static void repeatInfo(void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay);
    static void pong(void* data, wl_callback* callback, std::uint32_t);

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};
    static constexpr wl_seat_listener seatListener{&capabilities, &seatName};
    static constexpr zwlr_layer_surface_v1_listener layerListener{&configure, &closed};
    static constexpr wl_keyboard_listener keyboardListener{&keymap, &keyboardEnter, &keyboardLeave,
                                                           &key,    &modifiers,     &repeatInfo};
    static constexpr wl_callback_listener pingListener{&pong};
    // Filled by name: later versions of libwayland add events that the
    // versions bound here never send.
    static const wl_output_listener outputListener;
    static const wl_pointer_listener pointerListener;

    void release();
    void sync();
    void cover(const Output* output);
    // Reads and handles what the compositor sent, waiting at most wait;
    // false when the connection failed.
    bool dispatch(std::chrono::milliseconds wait);
    void apply(const menu::MenuStep& step);
    Overlay* overlayOf(wl_surface* surface);
    void place(Overlay& overlay, int x, int y);
    void placeInMiddle();
    void present(Overlay& overlay);
    void paint(ShmBuffer& buffer, const Overlay& overlay) const;
    // The pointer's place in the menu's own coordinates; outside when it is
    // on another output's overlay.
    std::pair<int, int> inMenu() const;
    int boxWidth() const { return geometry_->width() + 2 * border; }
    int boxHeight() const { return geometry_->height() + 2 * border; }

    std::chrono::milliseconds timeout_;
    const std::vector<SnippetMenuEntry>& entries_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    std::uint32_t compositorVersion_ = 0;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<std::unique_ptr<Overlay>> overlays_;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    std::unique_ptr<PointerCursor> cursor_;
    xkb_context* xkb_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* keyState_ = nullptr;
    KeyRepeat repeat_;
    wl_callback* ping_ = nullptr;
    Clock::time_point pingSent_;

    PangoFontMap* fonts_ = nullptr;
    std::unique_ptr<menu::MenuTexts> texts_;
    std::unique_ptr<menu::MenuGeometry> geometry_;
    std::unique_ptr<menu::MenuInteraction> interaction_;

    Overlay* pointerOverlay_ = nullptr;
    double pointerX_ = 0;
    double pointerY_ = 0;
    Overlay* menuOverlay_ = nullptr;
    int menuX_ = 0;
    int menuY_ = 0;
    bool closed_ = false;
    bool done_ = false;
    bool redraw_ = false;
    std::optional<std::size_t> chosen_;
};

const wl_output_listener MenuShowing::outputListener = [] {
    wl_output_listener listener{};
    listener.geometry = &outputGeometry;
    listener.mode = &outputMode;
    listener.done = &outputDone;
    listener.scale = &outputScale;
    return listener;
}();

const wl_pointer_listener MenuShowing::pointerListener = [] {
    wl_pointer_listener listener{};
    listener.enter = &pointerEnter;
    listener.leave = &pointerLeave;
    listener.motion = &pointerMotion;
    listener.button = &pointerButton;
    listener.axis = &pointerAxis;
    return listener;
}();

MenuShowing::MenuShowing(const std::string& displayName, std::chrono::milliseconds timeout,
                         const std::vector<SnippetMenuEntry>& entries)
    : timeout_(timeout), entries_(entries) {
    display_ = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) {
        throw std::runtime_error("cannot connect to the Wayland compositor");
    }
    try {
        xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        fonts_ = pango_cairo_font_map_new();
        texts_ = std::make_unique<menu::MenuTexts>(fonts_, menu::defaultDpi);
        geometry_ = std::make_unique<menu::MenuGeometry>(*texts_, entries_, menu::defaultDpi);
        interaction_ = std::make_unique<menu::MenuInteraction>(*geometry_, entries_.size());
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &registryListener, this);
        sync(); // the globals
        if (!compositor_ || !shm_ || !layerShell_) {
            throw std::runtime_error("the compositor offers no layer shell");
        }
        sync(); // the outputs' scales, the seat's devices
        if (outputs_.empty()) {
            cover(nullptr); // the compositor's choice
        }
        for (const auto& output : outputs_) {
            cover(output.get());
        }
        sync(); // where the overlays go
        for (auto& overlay : overlays_) {
            if (!overlay->configured) {
                throw std::runtime_error("the compositor did not place the menu");
            }
            present(*overlay);
        }
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            throw std::runtime_error("the Wayland compositor went away");
        }
    } catch (...) {
        release();
        throw;
    }
}

MenuShowing::~MenuShowing() {
    release();
}

void MenuShowing::release() {
    if (!display_) {
        return;
    }
    const bool mapped = !overlays_.empty();
    for (auto& overlay : overlays_) {
        if (overlay->layer) {
            zwlr_layer_surface_v1_destroy(overlay->layer);
        }
        wl_surface_destroy(overlay->surface);
        overlay->buffers = {};
    }
    overlays_.clear();
    // Events still on their way name no overlay any more.
    menuOverlay_ = nullptr;
    pointerOverlay_ = nullptr;
    if (mapped) {
        // The focus is back on the window that had it before the caller types
        // into it.
        boundedRoundtrip(display_, timeout_);
    }
    if (ping_) {
        wl_callback_destroy(ping_);
    }
    cursor_.reset();
    if (pointer_) {
        wl_pointer_destroy(pointer_);
    }
    if (keyboard_) {
        wl_keyboard_destroy(keyboard_);
    }
    for (const auto& output : outputs_) {
        wl_output_destroy(output->output);
    }
    if (layerShell_) {
        zwlr_layer_shell_v1_destroy(layerShell_);
    }
    if (seat_) {
        wl_seat_destroy(seat_);
    }
    if (shm_) {
        wl_shm_destroy(shm_);
    }
    if (compositor_) {
        wl_compositor_destroy(compositor_);
    }
    if (registry_) {
        wl_registry_destroy(registry_);
    }
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
    interaction_.reset();
    geometry_.reset();
    texts_.reset();
    if (fonts_) {
        g_object_unref(fonts_);
    }
    xkb_state_unref(keyState_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(xkb_);
}

void MenuShowing::sync() {
    if (!boundedRoundtrip(display_, timeout_)) {
        throw std::runtime_error("the Wayland compositor did not answer");
    }
}

void MenuShowing::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version) {
    auto& self = *static_cast<MenuShowing*>(data);
    const std::string_view which(interface);
    if (which == wl_compositor_interface.name && !self.compositor_) {
        self.compositorVersion_ = std::min<std::uint32_t>(version, 4);
        self.compositor_ = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, self.compositorVersion_));
    } else if (which == wl_shm_interface.name && !self.shm_) {
        self.shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (which == wl_seat_interface.name && !self.seat_) {
        // The first seat: the one wlroots compositors call seat0. Version 4
        // at most, so that no event comes that the listeners lack.
        self.seat_ = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min<std::uint32_t>(version, 4)));
        wl_seat_add_listener(self.seat_, &seatListener, &self);
    } else if (which == wl_output_interface.name && self.outputs_.size() < mostOutputs) {
        auto output = std::make_unique<Output>();
        output->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min<std::uint32_t>(version, 2)));
        wl_output_add_listener(output->output, &outputListener, output.get());
        self.outputs_.push_back(std::move(output));
    } else if (which == zwlr_layer_shell_v1_interface.name && !self.layerShell_) {
        self.layerShell_ = static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(
            registry, name, &zwlr_layer_shell_v1_interface, std::min<std::uint32_t>(version, 4)));
    }
}

void MenuShowing::outputScale(void* data, wl_output*, std::int32_t factor) {
    static_cast<Output*>(data)->scale = std::clamp(factor, 1, largestScale);
}

void MenuShowing::capabilities(void* data, wl_seat* seat, std::uint32_t capabilities) {
    auto& self = *static_cast<MenuShowing*>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !self.pointer_) {
        self.pointer_ = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(self.pointer_, &pointerListener, &self);
    }
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !self.keyboard_) {
        self.keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self.keyboard_, &keyboardListener, &self);
    }
}

void MenuShowing::cover(const Output* output) {
    auto overlay = std::make_unique<Overlay>();
    overlay->owner = this;
    overlay->output = output;
    overlay->surface = wl_compositor_create_surface(compositor_);
    overlay->layer = zwlr_layer_shell_v1_get_layer_surface(layerShell_, overlay->surface,
                                                           output ? output->output : nullptr,
                                                           ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, menuLayerName);
    zwlr_layer_surface_v1_add_listener(overlay->layer, &layerListener, overlay.get());
    zwlr_layer_surface_v1_set_anchor(
        overlay->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                            ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(overlay->layer, 0, 0);
    // Over panels too, not moved aside by them.
    zwlr_layer_surface_v1_set_exclusive_zone(overlay->layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(overlay->layer, 1);
    wl_surface_commit(overlay->surface);
    overlays_.push_back(std::move(overlay));
}

void MenuShowing::configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                            std::uint32_t width, std::uint32_t height) {
    auto& overlay = *static_cast<Overlay*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    const int scale = overlay.output && overlay.owner->compositorVersion_ >= 3 ? overlay.output->scale : 1;
    const int newWidth = static_cast<int>(std::min<std::uint32_t>(width, INT_MAX));
    const int newHeight = static_cast<int>(std::min<std::uint32_t>(height, INT_MAX));
    if (overlay.configured && newWidth == overlay.width && newHeight == overlay.height &&
        scale == overlay.scale) {
        return;
    }
    // A new size (an output changed while the menu is open): new pictures.
    overlay.width = newWidth;
    overlay.height = newHeight;
    overlay.scale = scale;
    overlay.buffers = {};
    overlay.presented = false;
    if (overlay.configured) {
        if (&overlay == overlay.owner->menuOverlay_) {
            overlay.owner->place(overlay, overlay.owner->menuX_, overlay.owner->menuY_);
        }
        overlay.pending = true;
    }
    overlay.configured = true;
}

void MenuShowing::closed(void* data, zwlr_layer_surface_v1*) {
    static_cast<Overlay*>(data)->owner->closed_ = true;
}

MenuShowing::Overlay* MenuShowing::overlayOf(wl_surface* surface) {
    for (auto& overlay : overlays_) {
        if (overlay->surface == surface) {
            return overlay.get();
        }
    }
    return nullptr;
}

void MenuShowing::place(Overlay& overlay, int x, int y) {
    // The whole menu on the output, as close to the pointer as fits.
    menuOverlay_ = &overlay;
    menuX_ = std::max(0, std::min(x, overlay.width - boxWidth()));
    menuY_ = std::max(0, std::min(y, overlay.height - boxHeight()));
    overlay.pending = true;
    log(LogLevel::debug, "LayerMenu - open at ", menuX_, ", ", menuY_, " of an output of ", overlay.width,
        " x ", overlay.height);
}

void MenuShowing::placeInMiddle() {
    Overlay& overlay = *overlays_.front();
    log(LogLevel::info, "LayerMenu - the compositor did not tell where the pointer is; the menu opens in the "
                        "middle of the output");
    place(overlay, (overlay.width - boxWidth()) / 2, (overlay.height - boxHeight()) / 2);
}

void MenuShowing::present(Overlay& overlay) {
    ShmBuffer* free = nullptr;
    for (auto& buffer : overlay.buffers) {
        if (!buffer) {
            buffer = std::make_unique<ShmBuffer>(shm_, overlay.width * overlay.scale,
                                                 overlay.height * overlay.scale);
        }
        if (!buffer->busy()) {
            free = buffer.get();
            break;
        }
    }
    if (!free) {
        // Both still read by the compositor: drawn when one comes back.
        overlay.pending = true;
        return;
    }
    overlay.pending = false;
    if (&overlay == menuOverlay_) {
        paint(*free, overlay);
    }
    if (compositorVersion_ >= 3) {
        wl_surface_set_buffer_scale(overlay.surface, overlay.scale);
    }
    free->attachTo(overlay.surface);
    // Both pictures are transparent but for the menu, so after the first
    // frame only the menu changes.
    if (overlay.presented && &overlay == menuOverlay_) {
        wl_surface_damage(overlay.surface, menuX_, menuY_, boxWidth(), boxHeight());
    } else {
        wl_surface_damage(overlay.surface, 0, 0, INT32_MAX, INT32_MAX);
    }
    overlay.presented = true;
    wl_surface_commit(overlay.surface);
}

void MenuShowing::paint(ShmBuffer& buffer, const Overlay& overlay) const {
    cairo_t* cairo = cairo_create(buffer.pixels());
    cairo_scale(cairo, overlay.scale, overlay.scale);
    cairo_translate(cairo, menuX_, menuY_);
    menu::CairoMenuCanvas canvas(cairo);
    canvas.fill(menu::colours::border, 0, 0, boxWidth(), boxHeight());
    cairo_translate(cairo, border, border);
    menu::paintMenu(canvas, *geometry_, *texts_, entries_, interaction_->highlighted());
    cairo_destroy(cairo);
}

std::pair<int, int> MenuShowing::inMenu() const {
    if (!menuOverlay_ || pointerOverlay_ != menuOverlay_) {
        return {-1, -1};
    }
    return {static_cast<int>(pointerX_) - menuX_ - border, static_cast<int>(pointerY_) - menuY_ - border};
}

void MenuShowing::pointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface,
                               wl_fixed_t x, wl_fixed_t y) {
    auto& self = *static_cast<MenuShowing*>(data);
    self.pointerOverlay_ = self.overlayOf(surface);
    self.pointerX_ = wl_fixed_to_double(x);
    self.pointerY_ = wl_fixed_to_double(y);
    if (!self.pointerOverlay_) {
        return;
    }
    if (!self.cursor_) {
        self.cursor_ = std::make_unique<PointerCursor>(self.compositor_, self.shm_);
    }
    self.cursor_->show(self.pointer_, serial);
    if (!self.menuOverlay_) {
        self.place(*self.pointerOverlay_, static_cast<int>(self.pointerX_), static_cast<int>(self.pointerY_));
    } else {
        const auto [menuX, menuY] = self.inMenu();
        self.apply(self.interaction_->motion(menuX, menuY));
    }
}

void MenuShowing::pointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*) {
    static_cast<MenuShowing*>(data)->pointerOverlay_ = nullptr;
}

void MenuShowing::pointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    auto& self = *static_cast<MenuShowing*>(data);
    self.pointerX_ = wl_fixed_to_double(x);
    self.pointerY_ = wl_fixed_to_double(y);
    if (self.menuOverlay_) {
        const auto [menuX, menuY] = self.inMenu();
        self.apply(self.interaction_->motion(menuX, menuY));
    }
}

void MenuShowing::pointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                                std::uint32_t state) {
    auto& self = *static_cast<MenuShowing*>(data);
    // The left, right and middle buttons; the others neither choose nor
    // dismiss.
    if (button < BTN_LEFT || button > BTN_MIDDLE || !self.menuOverlay_) {
        return;
    }
    const auto [menuX, menuY] = self.inMenu();
    self.apply(self.interaction_->button(state == WL_POINTER_BUTTON_STATE_PRESSED, menuX, menuY));
}

void MenuShowing::keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd,
                         std::uint32_t size) {
    auto& self = *static_cast<MenuShowing*>(data);
    const auto source = readHandedKeymap(format, fd, size, "LayerMenu");
    if (source.empty()) {
        return;
    }
    xkb_keymap* compiled = xkb_keymap_new_from_string(self.xkb_, source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                      XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!compiled) {
        log(LogLevel::warning, "LayerMenu - the compositor's keymap does not compile");
        return;
    }
    xkb_state_unref(self.keyState_);
    xkb_keymap_unref(self.keymap_);
    self.keymap_ = compiled;
    self.keyState_ = xkb_state_new(compiled);
}

void MenuShowing::key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                      std::uint32_t state) {
    auto& self = *static_cast<MenuShowing*>(data);
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
        self.repeat_.release(key);
        return;
    }
    if (!self.keyState_) {
        return;
    }
    // Evdev codes are xkb's keycodes less 8.
    self.apply(self.interaction_->key(xkb_state_key_get_one_sym(self.keyState_, key + 8)));
    if (xkb_keymap_key_repeats(self.keymap_, key + 8)) {
        self.repeat_.press(key, Clock::now());
    } else {
        self.repeat_.stop();
    }
}

void MenuShowing::keyboardLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
    static_cast<MenuShowing*>(data)->repeat_.stop();
}

void MenuShowing::repeatInfo(void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
    static_cast<MenuShowing*>(data)->repeat_.configure(rate, delay);
}

void MenuShowing::modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed,
                            std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
    auto& self = *static_cast<MenuShowing*>(data);
    if (self.keyState_) {
        xkb_state_update_mask(self.keyState_, depressed, latched, locked, 0, 0, group);
    }
}

void MenuShowing::pong(void* data, wl_callback* callback, std::uint32_t) {
    static_cast<MenuShowing*>(data)->ping_ = nullptr;
    wl_callback_destroy(callback);
}

void MenuShowing::apply(const menu::MenuStep& step) {
    if (done_) {
        return;
    }
    if (step.done) {
        done_ = true;
        chosen_ = step.chosen;
    }
    redraw_ = redraw_ || step.redraw;
}

bool MenuShowing::dispatch(std::chrono::milliseconds wait) {
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        return false;
    }
    pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(wait.count()));
    if (ready <= 0) {
        wl_display_cancel_read(display_);
        return ready == 0 || errno == EINTR;
    }
    return wl_display_read_events(display_) >= 0 && wl_display_dispatch_pending(display_) >= 0;
}

std::optional<std::size_t> MenuShowing::run() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    const auto shown = Clock::now();
    auto nextPing = shown + timeout_;
    while (!done_) {
        const auto now = Clock::now();
        if (!menuOverlay_ && (!pointer_ || now - shown >= pointerWait)) {
            placeInMiddle();
        }
        // A held key repeats, as the X server repeats it for the X11 menu.
        if (const auto key = repeat_.take(now); key && keyState_) {
            apply(interaction_->key(xkb_state_key_get_one_sym(keyState_, *key + 8)));
            if (done_) {
                break;
            }
        }
        if (redraw_ && menuOverlay_) {
            redraw_ = false;
            menuOverlay_->pending = true;
        }
        for (auto& overlay : overlays_) {
            if (overlay->pending) {
                present(*overlay);
            }
        }
        // The compositor is asked to answer now and then: one that stopped
        // answering ends the menu as one that went away does.
        if (ping_ && now - pingSent_ >= timeout_) {
            log(LogLevel::warning, "LayerMenu - the compositor stopped answering; nothing chosen");
            return std::nullopt;
        }
        if (!ping_ && now >= nextPing) {
            ping_ = wl_display_sync(display_);
            wl_callback_add_listener(ping_, &pingListener, this);
            pingSent_ = now;
            nextPing = now + timeout_;
        }
        auto until = ping_ ? pingSent_ + timeout_ : nextPing;
        if (!menuOverlay_) {
            until = std::min(until, shown + pointerWait);
        }
        if (const auto repeat = repeat_.due()) {
            until = std::min(until, *repeat);
        }
        const auto wait =
            std::max(milliseconds(1), duration_cast<milliseconds>(until - now) + milliseconds(1));
        if (!dispatch(wait)) {
            log(LogLevel::warning, "LayerMenu - the compositor went away; nothing chosen");
            return std::nullopt;
        }
        if (closed_) {
            log(LogLevel::info, "LayerMenu - the compositor closed the menu; nothing chosen");
            return std::nullopt;
        }
    }
    return chosen_;
}

} // namespace

LayerMenu::LayerMenu(std::string displayName, std::chrono::milliseconds timeout)
    : displayName_(std::move(displayName)), timeout_(timeout) {}

std::optional<std::size_t> LayerMenu::run(const std::vector<SnippetMenuEntry>& entries) const {
    MenuShowing showing(displayName_, timeout_, entries);
    return showing.run();
}

std::string LayerMenu::choose(const std::vector<std::string>& contents,
                              const std::vector<std::string>& labels) const {
    try {
        const auto entries = snippetMenuEntries(contents, labels);
        if (const auto index = run(entries)) {
            return entries[*index].content;
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "LayerMenu - the snippet menu cannot be shown: ", error.what());
    }
    return {};
}

} // namespace obx::wayland
