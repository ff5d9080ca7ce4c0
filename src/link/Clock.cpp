#include "link/Clock.h"

#include <chrono>
#include <thread>

namespace kl516 {

int64_t SystemClock::tickMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::waitMs(int64_t ms) {
    // Sleeps rather than spins: the wait blocks the caller either way, and a sleeping
    // thread leaves the core to the rest of the system.
    const int64_t start = tickMs();
    while (tickMs() - start <= ms) std::this_thread::sleep_for(std::chrono::microseconds(500));
}

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

}  // namespace kl516
