#pragma once

#include <cstddef>

// Asks the kernel to back a large buffer with huge pages before anything touches it. A fresh volume of
// tens of megabytes otherwise costs one page fault per 4 KiB, which takes longer than filling it.
// Only a hint: it changes no byte and fails silently where the system does not offer it.
void AdviseHugePages(void* data, std::size_t bytes);
