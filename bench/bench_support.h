#pragma once

#include <functional>

namespace kl516::bench {

// Registers work to run after the last benchmark, while the QApplication still exists: windows
// kept between benchmarks must go before it does.
void atBenchEnd(std::function<void()> cleanup);

}  // namespace kl516::bench
