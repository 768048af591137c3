#pragma once
// Owners for what the WMI layer gets from COM: interface pointers, BSTRs, VARIANTs, SAFEARRAYs
// and the thread's COM initialisation. Included only by the WMI layer's .cpp files.
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace orvane::platform::win32 {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that hand out a new reference.
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return s_; }
    // For calls that hand out a new string.
    BSTR* out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }

private:
    BSTR s_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* out() {
        VariantClear(&v_);
        return &v_;
    }
    const VARIANT& get() const { return v_; }

private:
    VARIANT v_;
};

class SafeArray {
public:
    SafeArray() = default;
    ~SafeArray() {
        if (a_) SafeArrayDestroy(a_);
    }
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SAFEARRAY** out() { return &a_; }
    SAFEARRAY* get() const { return a_; }

private:
    SAFEARRAY* a_ = nullptr;
};

// The elements of an array while they are locked in memory.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* a) : a_(a) {
        if (a_ && FAILED(SafeArrayAccessData(a_, &data_))) data_ = nullptr;
    }
    ~SafeArrayData() {
        if (data_) SafeArrayUnaccessData(a_);
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    const void* get() const { return data_; }

private:
    SAFEARRAY* a_;
    void* data_ = nullptr;
};

// CoInitialize for the lifetime of one query; CoUninitialize only when it succeeded.
class ComScope {
public:
    ComScope() : hr_(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT status() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace orvane::platform::win32
