// Owners of Win32 resources: one template, one line per kind of handle. Each owner knows its
// own empty value, is move-only, and keeps the caller's last-error code when it closes, so a
// cleanup on a failure path never changes what GetLastError reports.
#pragma once
#include <utility>

#include "platform/win32.h"

namespace platform {

template <class Handle, class Traits>
class Unique {
  public:
    Unique() = default;
    explicit Unique(Handle handle) : handle_(handle) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Unique() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return !Traits::IsEmpty(handle_); }

    // Closes the current handle (if any) and hands out the address for an out-parameter.
    Handle* put() {
        reset();
        return &handle_;
    }
    Handle release() { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle handle = Traits::Empty()) {
        if (!Traits::IsEmpty(handle_)) {
            const DWORD saved = GetLastError();
            Traits::Close(handle_);
            SetLastError(saved);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = Traits::Empty();
};

// `EmptyValue` is what a new owner holds; `OtherEmpty` is a second value that owns nothing
// (a device information set is INVALID_HANDLE_VALUE after a failed call and null before any).
#define BK_HANDLE_TRAITS2(Name, Type, EmptyValue, OtherEmpty, CloseCall)                          \
    struct Name {                                                                                 \
        static Type Empty() { return EmptyValue; }                                                \
        static bool IsEmpty(Type handle) { return handle == EmptyValue || handle == OtherEmpty; } \
        static void Close(Type handle) { (void)CloseCall(handle); }                               \
    }
#define BK_HANDLE_TRAITS(Name, Type, EmptyValue, CloseCall) \
    BK_HANDLE_TRAITS2(Name, Type, EmptyValue, EmptyValue, CloseCall)

BK_HANDLE_TRAITS(HKeyTraits, HKEY, nullptr, RegCloseKey);
BK_HANDLE_TRAITS2(DevInfoTraits, HDEVINFO, INVALID_HANDLE_VALUE, nullptr,
                  SetupDiDestroyDeviceInfoList);
BK_HANDLE_TRAITS(FileTraits, HANDLE, INVALID_HANDLE_VALUE, CloseHandle);
BK_HANDLE_TRAITS(FindFileTraits, HANDLE, INVALID_HANDLE_VALUE, FindClose);
BK_HANDLE_TRAITS(KernelHandleTraits, HANDLE, nullptr, CloseHandle);
BK_HANDLE_TRAITS(LocalTraits, HLOCAL, nullptr, LocalFree);
BK_HANDLE_TRAITS(LibraryTraits, HMODULE, nullptr, FreeLibrary);
BK_HANDLE_TRAITS(CertContextTraits, PCCERT_CONTEXT, nullptr, CertFreeCertificateContext);

// CertCloseStore takes flags besides the handle.
struct CertStoreTraits {
    static HCERTSTORE Empty() { return nullptr; }
    static bool IsEmpty(HCERTSTORE store) { return store == nullptr; }
    static void Close(HCERTSTORE store) { (void)CertCloseStore(store, 0); }
};

#undef BK_HANDLE_TRAITS
#undef BK_HANDLE_TRAITS2

using UniqueHKey = Unique<HKEY, HKeyTraits>;
using UniqueDevInfo = Unique<HDEVINFO, DevInfoTraits>;
using UniqueFile = Unique<HANDLE, FileTraits>;
using UniqueFindFile = Unique<HANDLE, FindFileTraits>;
using UniqueHandle = Unique<HANDLE, KernelHandleTraits>;
using UniqueLocal = Unique<HLOCAL, LocalTraits>;
using UniqueLibrary = Unique<HMODULE, LibraryTraits>;
using UniqueCertStore = Unique<HCERTSTORE, CertStoreTraits>;
using UniqueCertContext = Unique<PCCERT_CONTEXT, CertContextTraits>;

// Runs `undo` when the scope ends, unless release() was called: "undo unless we got to the end".
template <class F>
class ScopeGuard {
  public:
    explicit ScopeGuard(F undo) : undo_(std::move(undo)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() {
        if (armed_) {
            undo_();
        }
    }
    void release() { armed_ = false; }

  private:
    F undo_;
    bool armed_ = true;
};

template <class F>
ScopeGuard<F> MakeScopeGuard(F undo) {
    return ScopeGuard<F>(std::move(undo));
}

}  // namespace platform
