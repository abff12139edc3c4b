#pragma once
// Waits of the GUI thread that keep serving sends from streaming threads, so
// that no wait of the graph can deadlock against a thread blocked in a send.

#include <mutex>

// Locks `mutex`, serving sends while another thread holds it.
std::unique_lock<std::mutex> lockServingMessages(std::mutex& mutex);
