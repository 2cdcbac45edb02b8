// Ref: one counted reference to a view or a bitmap (anything with retain and
// release). Copies retain, destruction releases, so a holder can never
// forget its release, and code that must outlive a call which may close the
// editor keeps the object alive by holding one.
#pragma once

#include <utility>

namespace klv::gui {

template <typename T>
class Ref {
public:
    Ref() = default;
    // Retains: the caller keeps its own reference.
    Ref(T* object) : object_(object) {  // NOLINT: converts like the pointer it holds
        if (object_) object_->retain();
    }
    Ref(const Ref& other) : Ref(other.object_) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ~Ref() { reset(); }
    Ref& operator=(Ref other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }

    // Takes over the reference a new object is born with.
    static Ref adopt(T* object) {
        Ref ref;
        ref.object_ = object;
        return ref;
    }

    void reset() {
        if (T* object = std::exchange(object_, nullptr)) object->release();
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace klv::gui
