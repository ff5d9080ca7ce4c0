#pragma once

namespace kl516 {

// The connection as the status bar tells it: before the first identification, while a meter
// answers, and after one was lost.
enum class ConnectionState { NeverConnected, Connected, Lost };

}  // namespace kl516
