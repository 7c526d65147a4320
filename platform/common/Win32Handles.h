#pragma once

#include <windows.h>

#include <utility>

// Move-only owners of Win32 and COM resources, so that everything is released
// on every path out of a call without cleanup labels.

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Traits::Invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T get() const { return value_; }
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }
    explicit operator bool() const { return value_ != Traits::Invalid(); }

private:
    T value_ = Traits::Invalid();
};

template <typename T, auto CloseFn>
struct NullInvalidTraits {
    static constexpr T Invalid() { return nullptr; }
    static void Close(T value) { CloseFn(value); }
};

struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE value) { CloseHandle(value); }
};

using UniqueHKey = UniqueHandle<HKEY, NullInvalidTraits<HKEY, RegCloseKey>>;
using UniqueHandleObject = UniqueHandle<HANDLE, NullInvalidTraits<HANDLE, CloseHandle>>;
using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;
// What the system allocated with LocalAlloc for the caller: a SID or a
// security descriptor made from text.
using UniqueLocal = UniqueHandle<void*, NullInvalidTraits<void*, LocalFree>>;

// A COM interface pointer that releases once: copying is deleted because a
// copy that does not AddRef releases twice.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
    }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    T* ptr_ = nullptr;
};
