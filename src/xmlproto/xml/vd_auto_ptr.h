// VdAutoPtr: the single owner of a heap object of the XML layer (parse results, document
// roots, resource objects). Releasing hands the raw pointer over and leaves it null; the
// destructor deletes the object through its virtual destructor. Move-only.
#ifndef XMLPROTO_XML_VD_AUTO_PTR_H
#define XMLPROTO_XML_VD_AUTO_PTR_H

#include <utility>

template <class T>
class VdAutoPtr {
public:
    VdAutoPtr() = default;
    explicit VdAutoPtr(T* p) : p_(p) {}
    ~VdAutoPtr() { delete p_; }
    VdAutoPtr(const VdAutoPtr&) = delete;
    VdAutoPtr& operator=(const VdAutoPtr&) = delete;
    VdAutoPtr(VdAutoPtr&& other) noexcept : p_(other.release()) {}
    VdAutoPtr& operator=(VdAutoPtr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the object over; this holder is null afterwards.
    T* release() { return std::exchange(p_, nullptr); }
    // Deletes the held object (if any) and holds `p`.
    void reset(T* p = nullptr) {
        T* old = std::exchange(p_, p);
        if (old != p) delete old;
    }

private:
    T* p_ = nullptr;
};

#endif
