#include "platform/ui_messages.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

std::mutex g_lock;
std::condition_variable g_arrived;
std::deque<unsigned> g_queue;
PlatformMessageSink g_sink = nullptr;

} // namespace

void platform_set_message_sink(PlatformMessageSink sink) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_sink = sink;
}

void platform_post_message(unsigned message) {
    PlatformMessageSink sink;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        sink = g_sink;
        if (!sink)
            g_queue.push_back(message);
    }
    if (sink)
        sink(message);
    else
        g_arrived.notify_one();
}

unsigned platform_wait_message(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(g_lock);
    if (!g_arrived.wait_for(guard, timeout, [] { return !g_queue.empty(); }))
        return 0;
    unsigned message = g_queue.front();
    g_queue.pop_front();
    return message;
}

unsigned platform_take_message() {
    return platform_wait_message(std::chrono::milliseconds(0));
}
