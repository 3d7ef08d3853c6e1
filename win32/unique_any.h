// One move-only owner for every Win32 handle kind, never copied: a handle
// type, its close call and its "no handle" value, one line per kind.
#pragma once

#include <stdint.h>

#include <type_traits>

namespace win32 {

template <typename T, auto Close, intptr_t Invalid = 0> class UniqueAny {
public:
    using pointer = T;

    static pointer invalid() noexcept
    {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(Invalid);
        else
            return static_cast<T>(Invalid);
    }

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
    bool valid() const noexcept { return m_value != invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Hands ownership on; the owner is empty afterwards.
    pointer release() noexcept
    {
        pointer value = m_value;
        m_value = invalid();
        return value;
    }

    // Closes what is held now and takes `value` instead.
    void reset(pointer value = invalid()) noexcept
    {
        if (m_value != invalid())
            Close(m_value);
        m_value = value;
    }

    // For a call that hands a new handle back through a pointer: whatever
    // was held is closed first.
    pointer* put() noexcept
    {
        reset();
        return &m_value;
    }

private:
    pointer m_value = invalid();
};

} // namespace win32
