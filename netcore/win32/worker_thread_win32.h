// Threads that nobody joins: each runs its work and ends, freeing what it was given.
#pragma once

#include <functional>

namespace kst {

// Starts work on a thread of its own whose handle is closed at once; false, and work not run,
// when no thread could be made. Not std::thread::detach: with mingw-w64's winpthreads a thread
// that ends while it is being detached can have its bookkeeping freed twice, and a thread
// started after that gets a null argument (Kestrune crashed so during Send to All over 1,000
// computers under Wine).
bool StartWorkerThread(std::function<void()> work) noexcept;

}  // namespace kst
