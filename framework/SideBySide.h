#pragma once

#include <cstddef>
#include <functional>

// Runs work(0) to work(count - 1) at once, each on a thread of its own (the first on the
// caller's; where no thread is to be had, the caller's runs it too), and raises what any of
// them raised, the first by its index, once all are done.
void RunSideBySide(size_t count, const std::function<void(size_t)>& work);
