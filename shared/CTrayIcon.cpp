#include "shared/CTrayIcon.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace obx {

namespace {

struct Registry {
    std::mutex mutex;
    // Exists only while some icon does.
    std::unique_ptr<std::map<std::uint32_t, CTrayIcon*>> icons;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::uint32_t nextId() {
    static std::atomic<std::uint32_t> counter{1};
    return counter++;
}

} // namespace

CTrayIcon::CTrayIcon(ITrayIconDisplay& display, std::u16string tooltip, TrayIconHandle image)
    : display_(display), id_(nextId()), tooltip_(std::move(tooltip)), image_(image) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.icons) {
        r.icons = std::make_unique<std::map<std::uint32_t, CTrayIcon*>>();
    }
    (*r.icons)[id_] = this;
}

CTrayIcon::~CTrayIcon() {
    if (visible_) {
        display_.remove(*this);
    }
    if (ownsIcon_ && image_) {
        display_.destroyImage(image_);
    }
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.icons->erase(id_);
    if (r.icons->empty()) {
        r.icons.reset();
    }
}

void CTrayIcon::setTooltip(std::u16string text) {
    tooltip_ = std::move(text);
    if (visible_) {
        display_.updateTooltip(*this);
    }
}

bool CTrayIcon::setVisible(bool show) {
    if (show == visible_) {
        return true;
    }
    visible_ = show;
    return show ? display_.add(*this) : display_.remove(*this);
}

void CTrayIcon::setIcon(TrayIconHandle image, bool destroyPrevious) {
    if (image == image_) {
        return;
    }
    if (destroyPrevious && image_) {
        display_.destroyImage(image_);
    }
    image_ = image;
    if (visible_) {
        display_.updateImage(*this);
    }
}

std::intptr_t CTrayIcon::onMessage(std::uint32_t message) {
    std::intptr_t result = callback_ ? callback_(*this, message) : 0;
    if (listener_) {
        return listener_->onTrayIconMessage(*this, message);
    }
    return result;
}

CTrayIcon* CTrayIcon::find(std::uint32_t id) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.icons) {
        return nullptr;
    }
    auto found = r.icons->find(id);
    return found == r.icons->end() ? nullptr : found->second;
}

std::size_t CTrayIcon::registeredCount() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.icons ? r.icons->size() : 0;
}

void CTrayIcon::dispatch(std::uint32_t id, std::uint32_t notification) {
    // Not under the registry lock: a handler may create or delete icons.
    if (auto* icon = find(id)) {
        icon->onMessage(notification);
    }
}

void CTrayIcon::addVisibleIconsAgain() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.icons) {
        return;
    }
    for (auto& [id, icon] : *r.icons) {
        if (icon->visible_) {
            icon->display_.add(*icon);
        }
    }
}

} // namespace obx
