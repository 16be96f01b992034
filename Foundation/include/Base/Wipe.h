#pragma once

#include <cstddef>

namespace Base {

// Overwrites a secret with zeros in a way the compiler does not drop as a
// dead store.
void wipe(void* data, std::size_t size);

} // namespace Base
