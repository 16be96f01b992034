#include "Base/Wipe.h"

namespace Base {

void wipe(void* data, std::size_t size)
{
    volatile unsigned char* bytes = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

} // namespace Base
