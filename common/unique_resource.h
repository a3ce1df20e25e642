// One owning type per kind of handle: a small template over a traits struct
// that names the invalid value and the function that frees the resource.
// Files and snapshots use INVALID_HANDLE_VALUE, kernel objects use null;
// keeping them apart as types stops a failed CreateFileW being taken for a
// valid handle.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <utility>

template <typename Traits>
class UniqueResource {
  public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const { return value_; }
    bool IsValid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters of functions that create the resource.
    Type* Receive() {
        Reset();
        return &value_;
    }

    Type Release() { return std::exchange(value_, Traits::Invalid()); }

    void Reset(Type value = Traits::Invalid()) {
        if (IsValid()) {
            Traits::Free(value_);
        }
        value_ = value;
    }

  private:
    Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Free(Type h) { CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Free(Type h) { CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Free(Type k) { RegCloseKey(k); }
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Free(Type m) { FreeLibrary(m); }
};

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Free(Type h) { FindClose(h); }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Free(Type m) { LocalFree(m); }
};

struct HeapMemoryTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Free(Type p) { HeapFree(GetProcessHeap(), 0, p); }
};

// A kernel object: process, thread, event, token.
using UniqueHandle = UniqueResource<KernelHandleTraits>;
// A file, or a toolhelp snapshot (both fail with INVALID_HANDLE_VALUE).
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueSnapshot = UniqueResource<FileHandleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
// A FindFirstFileW search.
using UniqueFind = UniqueResource<FindTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueHeapMemory = UniqueResource<HeapMemoryTraits>;
