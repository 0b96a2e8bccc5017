// Large tables of the database (the handle map) on huge pages when they are big enough.
#pragma once

#include <cstddef>

namespace qkshost::drawing {

// Memory for `bytes` bytes, 16-aligned; throws std::bad_alloc. Release with the same size.
void* allocateTable(std::size_t bytes);
void releaseTable(void* p, std::size_t bytes) noexcept;

}  // namespace qkshost::drawing
