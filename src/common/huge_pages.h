#pragma once

#include <cstddef>

namespace lexivane {

// Asks the kernel to back [p, p + bytes) with huge pages where it can, before the memory is
// first touched. A large array then costs a fault per 2 MiB rather than per 4 KiB, which is
// most of what filling it costs on some machines. Only whole huge pages inside the range are
// advised; smaller ranges, other systems and refusals change nothing.
void preferHugePages(void* p, size_t bytes);

} // namespace lexivane
