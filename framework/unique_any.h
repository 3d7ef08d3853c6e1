// Move-only owners for Win32 handles: one owner each, never copied.
#pragma once

#include <windows.h>

namespace fw {

// Traits give the handle type, its "no handle" value and its close call.
template <typename Traits> class UniqueAny {
public:
    using pointer = typename Traits::pointer;

    UniqueAny() noexcept = default;
    explicit UniqueAny(pointer value) noexcept
        : m_value(value)
    {
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept
        : m_value(other.release())
    {
    }
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Hands ownership on; the owner is empty afterwards.
    pointer release() noexcept
    {
        pointer value = m_value;
        m_value = Traits::invalid();
        return value;
    }

    // Closes what is held now and takes `value` instead.
    void reset(pointer value = Traits::invalid()) noexcept
    {
        if (m_value != Traits::invalid())
            Traits::close(m_value);
        m_value = value;
    }

private:
    pointer m_value = Traits::invalid();
};

struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};

template <typename T> struct GdiObjectTraits {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};

struct MemoryDCTraits {
    using pointer = HDC;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteDC(h); }
};

struct LocalMemoryTraits {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::LocalFree(h); }
};

struct ModuleTraits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};

struct SidTraits {
    using pointer = PSID;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::FreeSid(h); }
};

struct FileViewTraits {
    using pointer = void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::UnmapViewOfFile(h); }
};

using UniqueHandle = UniqueAny<KernelHandleTraits>;
using UniqueRgn = UniqueAny<GdiObjectTraits<HRGN>>;
using UniqueBitmap = UniqueAny<GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueAny<GdiObjectTraits<HFONT>>;
using UniqueMemoryDC = UniqueAny<MemoryDCTraits>;
using UniqueLocal = UniqueAny<LocalMemoryTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueSid = UniqueAny<SidTraits>;
using UniqueFileView = UniqueAny<FileViewTraits>;

} // namespace fw
