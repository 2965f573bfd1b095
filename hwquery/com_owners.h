// Owners for COM interfaces and BSTRs: released on every path.
#pragma once
#include <windows.h>
#include <oleauto.h>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr &other) : pointer_(other.pointer_) {
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(ComPtr &&other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ComPtr &operator=(ComPtr other) noexcept {
        T *old = pointer_;
        pointer_ = other.pointer_;
        other.pointer_ = old;
        return *this;
    }
    ~ComPtr() { Reset(); }

    T *Get() const { return pointer_; }
    T *operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For an out parameter: whatever was held is released first.
    T **Receive() {
        Reset();
        return &pointer_;
    }
    void Reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    T *pointer_ = nullptr;
};

class ComBstr {
public:
    explicit ComBstr(const wchar_t *textValue) : bstr_(SysAllocString(textValue)) {}
    ~ComBstr() { SysFreeString(bstr_); }
    ComBstr(const ComBstr &) = delete;
    ComBstr &operator=(const ComBstr &) = delete;
    BSTR Get() const { return bstr_; }

private:
    BSTR bstr_;
};
