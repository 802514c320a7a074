// Sleeping in the browser: the C library's nanosleep spins, which would freeze the page, so
// this one yields to the browser instead (through ASYNCIFY), as every wait here must.
#include <emscripten.h>
#include <time.h>

#include <cerrno>

extern "C" int nanosleep(const timespec* duration, timespec* remaining) {
  if (duration == nullptr || duration->tv_nsec < 0 || duration->tv_nsec >= 1000000000L || duration->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  const double milliseconds =
      static_cast<double>(duration->tv_sec) * 1000.0 + static_cast<double>(duration->tv_nsec) / 1e6;
  emscripten_sleep(static_cast<unsigned>(milliseconds + 0.5));
  if (remaining != nullptr) *remaining = timespec{0, 0};
  return 0;
}
