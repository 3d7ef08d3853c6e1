// The two primitives sign-in needs from CNG: the system's random generator
// and SHA-256.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace mail {

// `count` bytes from the system's preferred generator; empty on failure.
std::string RandomBytes(size_t count);

// 32 raw bytes; empty on failure.
std::string Sha256Of(std::string_view bytes);

} // namespace mail
