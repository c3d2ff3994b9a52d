#include "Objects.h"

#include "Verifier.h"

#include <algorithm>
#include <cstring>

namespace obx::kmdf_double {

namespace {

std::vector<std::unique_ptr<Object>> allObjects;
std::set<Object*> live;

const char* kindName(Kind kind) {
    static const char* const names[] = {"driver",    "device",    "queue", "request",    "memory",
                                        "spin lock", "wait lock", "timer", "I/O target", "file object"};
    return names[static_cast<int>(kind)];
}

} // namespace

Object* objectOf(WDFOBJECT handle, Kind kind, const char* call) {
    auto* object = reinterpret_cast<Object*>(handle);
    if (handle == nullptr)
        Verifier::fatal(std::string(call) + " called with a null handle");
    const bool known = std::any_of(allObjects.begin(), allObjects.end(),
                                   [&](const std::unique_ptr<Object>& o) { return o.get() == object; });
    if (!known)
        Verifier::fatal(std::string(call) + " called with a handle that is no framework object");
    if (object->deleted)
        Verifier::fatal(std::string(call) + " called on " + object->name + ", which was deleted");
    if (kind != Kind::Any && object->kind != kind)
        Verifier::fatal(std::string(call) + " called on " + object->name + ", a " + kindName(object->kind) +
                        ", not a " + kindName(kind));
    return object;
}

void attachContext(Object& object, PWDF_OBJECT_ATTRIBUTES attributes, const char* call) {
    if (attributes == nullptr)
        return;
    if (attributes->Size != sizeof(WDF_OBJECT_ATTRIBUTES))
        Verifier::violation(std::string(call) + ": attributes of " + object.name + " not initialised");
    object.cleanup = attributes->EvtCleanupCallback;
    object.destroy = attributes->EvtDestroyCallback;
    const WDF_OBJECT_CONTEXT_TYPE_INFO* type = attributes->ContextTypeInfo;
    if (type == nullptr)
        return;
    const size_t size = std::max<size_t>(type->ContextSize, attributes->ContextSizeOverride);
    const size_t units = (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    object.context = std::make_unique<std::max_align_t[]>(units == 0 ? 1 : units);
    std::memset(object.context.get(), 0, units * sizeof(std::max_align_t));
    object.contextType = type;
}

void registerObject(std::unique_ptr<Object> object, Object* parent) {
    object->parent = parent;
    if (parent != nullptr)
        parent->children.push_back(object.get());
    live.insert(object.get());
    allObjects.push_back(std::move(object));
}

void deleteObject(Object& object) {
    while (!object.children.empty())
        deleteObject(*object.children.back());
    object.deleting();
    if (object.cleanup != nullptr)
        object.cleanup(reinterpret_cast<WDFOBJECT>(&object));
    if (object.destroy != nullptr)
        object.destroy(reinterpret_cast<WDFOBJECT>(&object));
    object.context.reset();
    object.deleted = true;
    live.erase(&object);
    if (object.parent != nullptr)
        std::erase(object.parent->children, &object);
}

std::vector<Object*> liveObjects() {
    return {live.begin(), live.end()};
}

void resetObjects() {
    live.clear();
    allObjects.clear();
}

} // namespace obx::kmdf_double
