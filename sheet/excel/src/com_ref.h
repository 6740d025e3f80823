// Owned COM references, VARIANTs and exception records.
//
// The rules they keep, written once here:
//  - A pointer that arrives through an out-parameter (CoCreateInstance, a
//    VT_DISPATCH result) is already AddRef'ed for us: it is adopted, never
//    AddRef'ed again, and released exactly once.
//  - A VARIANT is VariantInit'ed before anything fills it and VariantClear'ed
//    after: that frees a BSTR and releases an interface it holds. Arguments we
//    build are ours to clear; the callee only reads them.
//  - A BSTR is made with SysAllocStringLen from the UTF-16 text, so its length
//    is explicit, and is freed with its variant.
//  - After DISP_E_EXCEPTION the EXCEPINFO's strings are the caller's to free,
//    and its fields may be filled only on request (pfnDeferredFillIn).
//  - Every reference is released while the apartment is still initialised:
//    the apartment guard is constructed before, so destroyed after, them.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace veltrano::sheet::com {

// A COM object of one interface whose lifetime its owner keeps, not a
// reference count: a message filter registered for the span of an export, a
// class factory that lives as long as its process. AddRef and Release count
// nothing, and nothing is ever deleted through them.
template <class Interface>
class Unowned : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

template <class Interface>
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~Ref() { reset(); }

    // Takes over a reference someone already counted for us.
    static Ref adopt(Interface* counted) {
        Ref ref;
        ref.pointer_ = counted;
        return ref;
    }
    void reset() noexcept {
        if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
    }
    // For an out-parameter: whatever was held is released first.
    Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }

    void set_i2(short number) noexcept {
        clear();
        value_.vt = VT_I2;
        value_.iVal = number;
    }
    void set_r8(double number) noexcept {
        clear();
        value_.vt = VT_R8;
        value_.dblVal = number;
    }
    void set_bool(bool flag) noexcept {
        clear();
        value_.vt = VT_BOOL;
        value_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
    }
    // False when the string could not be allocated.
    bool set_text(std::wstring_view text) noexcept {
        clear();
        BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (copy == nullptr) return false;
        value_.vt = VT_BSTR;
        value_.bstrVal = copy;
        return true;
    }
    // An optional argument left out, as the callee recognises it.
    void set_missing() noexcept {
        clear();
        value_.vt = VT_ERROR;
        value_.scode = DISP_E_PARAMNOTFOUND;
    }
    // The interface a result holds, with a reference of its own; none when
    // the result is no interface.
    Ref<IDispatch> dispatch() const noexcept {
        if (value_.vt != VT_DISPATCH || value_.pdispVal == nullptr) return {};
        value_.pdispVal->AddRef();
        return Ref<IDispatch>::adopt(value_.pdispVal);
    }
    void clear() noexcept { VariantClear(&value_); }
    VARIANT* get() noexcept { return &value_; }

private:
    VARIANT value_;
};

// What a failed Invoke said about its failure.
class ExceptionInfo {
public:
    ExceptionInfo() noexcept = default;
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() { clear(); }

    EXCEPINFO* get() noexcept {
        clear();
        return &info_;
    }
    // The failure status the callee reported, 0 when it gave none.
    HRESULT status() noexcept {
        fill_in();
        if (info_.scode != 0) return info_.scode;
        return info_.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info_.wCode) : 0;
    }
    std::wstring description() noexcept {
        fill_in();
        if (info_.bstrDescription == nullptr) return {};
        return std::wstring(info_.bstrDescription, SysStringLen(info_.bstrDescription));
    }

private:
    void fill_in() noexcept {
        if (info_.pfnDeferredFillIn != nullptr) {
            const auto fill = std::exchange(info_.pfnDeferredFillIn, nullptr);
            fill(&info_);
        }
    }
    void clear() noexcept {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
        info_ = EXCEPINFO{};
    }

    EXCEPINFO info_{};
};

// COM on this thread, single-threaded apartment, for as long as it lives.
// Nested inside an apartment the program already entered, it only counts;
// in a multithreaded one it leaves the thread as it is.
class Apartment {
public:
    Apartment() noexcept : status_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(status_)) CoUninitialize();
    }
    // S_OK, S_FALSE (already entered), RPC_E_CHANGED_MODE (a multithreaded
    // apartment), or the failure that left COM unusable.
    HRESULT status() const noexcept { return status_; }

private:
    HRESULT status_;
};

}  // namespace veltrano::sheet::com
