#pragma once

#include <chrono>

// Messages to the UI thread. A worker thread posts; the UI thread takes them in the order they
// were posted. The window installs a sink that hands each message to its own event loop; without
// one, messages wait in a plain queue that the UI thread (or a test) reads.

constexpr unsigned WM_APP_BASE = 32768;               // the first application message number
constexpr unsigned WM_UNWRAP_DONE = WM_APP_BASE + 35; // 32803: the live unwrap worker ended

using PlatformMessageSink = void (*)(unsigned message);

// Installs the sink (null: back to the plain queue). UI thread, while no worker runs.
void platform_set_message_sink(PlatformMessageSink sink);

// Any thread.
void platform_post_message(unsigned message);

// The plain queue: the next message, waiting at most `timeout`; 0 when none arrived.
unsigned platform_wait_message(std::chrono::milliseconds timeout);
// The next message if one is queued, else 0.
unsigned platform_take_message();
