#pragma once
// One RAII owner per handle kind, each knowing its close function and its invalid value.
// Non-copyable, movable. Destructors keep the thread's last error, so a message built after
// a failed call still reports the code of that call.
#include <windows.h>
#include <tlhelp32.h>

#include <utility>

namespace qm {

template <typename Traits> class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    Handle release() {
        Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

    void reset(Handle handle = Traits::Invalid()) {
        if (valid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(handle_);
            SetLastError(lastError);
        }
        handle_ = handle;
    }

    // For APIs that return the handle through an out-parameter; closes any held handle first.
    Handle* put() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::Invalid();
};

// Process and token handles: OpenProcess and OpenProcessToken fail with NULL.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// Files and Toolhelp snapshots: CreateFileW and CreateToolhelp32Snapshot fail with
// INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { RegCloseKey(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { FindClose(handle); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};

// Boundary descriptors and private namespaces have close functions of their own. A namespace is
// closed without destroying it: another run may still use it.
struct BoundaryTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteBoundaryDescriptor(handle); }
};
struct NamespaceTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { ClosePrivateNamespace(handle, 0); }
};

// Memory for the clipboard; once the clipboard takes it, it is released, not freed.
struct GlobalMemoryTraits {
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { GlobalFree(handle); }
};

// The clipboard, once opened.
struct ClipboardTraits {
    using Handle = bool;
    static Handle Invalid() { return false; }
    static void Close(Handle) { CloseClipboard(); }
};

using UniqueProcess = UniqueHandle<KernelHandleTraits>;
using UniqueGlobal = UniqueHandle<GlobalMemoryTraits>;
using UniqueClipboard = UniqueHandle<ClipboardTraits>;
using UniqueMutex = UniqueHandle<KernelHandleTraits>;
using UniqueBoundary = UniqueHandle<BoundaryTraits>;
using UniqueNamespace = UniqueHandle<NamespaceTraits>;
using UniqueToken = UniqueHandle<KernelHandleTraits>;
using UniqueThread = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueSnapshot = UniqueHandle<FileHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

} // namespace qm
