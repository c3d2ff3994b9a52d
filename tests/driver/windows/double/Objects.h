#pragma once

// The double's framework objects: each has a kind, a name for messages, a parent whose deletion takes
// it along, and the context memory and callbacks its attributes asked for. A handle is the object's
// address; deleted objects are kept until the double is reset, so a call on a stale handle is named.

#include "driver/windows/KernelHeaders.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace obx::kmdf_double {

// `Any` only asks for a live object of whatever kind.
enum class Kind {
    Driver,
    Device,
    Queue,
    Request,
    Memory,
    SpinLock,
    WaitLock,
    Timer,
    IoTarget,
    FileObject,
    Any
};

struct Object {
    Object(Kind kind, std::string name) : kind(kind), name(std::move(name)) {}
    virtual ~Object() = default;
    // Checks what must not be left when the object goes.
    virtual void deleting() {}

    Kind kind;
    std::string name;
    Object* parent = nullptr;
    std::vector<Object*> children;
    const WDF_OBJECT_CONTEXT_TYPE_INFO* contextType = nullptr;
    std::unique_ptr<std::max_align_t[]> context;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup = nullptr;
    PFN_WDF_OBJECT_CONTEXT_DESTROY destroy = nullptr;
    bool deleted = false;
};

// Makes an object of type T (derived from Object), with the attributes' context and parent (or
// `defaultParent`), and registers it as live.
template <typename T, typename... Args>
T* makeObject(const char* call, PWDF_OBJECT_ATTRIBUTES attributes, Object* defaultParent, Args&&... args);

// The live object behind `handle`, of kind `kind`; fatal when there is none.
Object* objectOf(WDFOBJECT handle, Kind kind, const char* call);
template <typename T>
T* as(void* handle, Kind kind, const char* call) {
    return static_cast<T*>(objectOf(static_cast<WDFOBJECT>(handle), kind, call));
}

void attachContext(Object& object, PWDF_OBJECT_ATTRIBUTES attributes, const char* call);
void registerObject(std::unique_ptr<Object> object, Object* parent);
// Deletes the object and its children, children first, each with its cleanup and destroy callbacks.
void deleteObject(Object& object);
std::vector<Object*> liveObjects();
// Forgets every object, live and deleted.
void resetObjects();

template <typename T, typename... Args>
T* makeObject(const char* call, PWDF_OBJECT_ATTRIBUTES attributes, Object* defaultParent, Args&&... args) {
    auto object = std::make_unique<T>(std::forward<Args>(args)...);
    T* raw = object.get();
    attachContext(*raw, attributes, call);
    Object* parent = defaultParent;
    if (attributes != nullptr && attributes->ParentObject != nullptr)
        parent = objectOf(attributes->ParentObject, Kind::Any, call);
    registerObject(std::move(object), parent);
    return raw;
}

} // namespace obx::kmdf_double
