#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace run {

// A request that a run end early, made from any thread (not from a signal handler). A run that
// is given one starts no new photo once it is made, puts in place at most the photo it is putting
// in place at that moment, and discards the photos it has in work. It stays made.
class StopRequest
{
public:
    StopRequest() = default;
    StopRequest(const StopRequest &) = delete;
    StopRequest &operator=(const StopRequest &) = delete;

    void request();
    bool requested() const { return m_requested.load(); }

    // While a Watch lives, the request calls onRequest once, on the requesting thread, or at once
    // on this thread when it has been made already. One Watch per request at a time.
    class Watch
    {
    public:
        Watch(StopRequest *request, std::function<void()> onRequest);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;

    private:
        StopRequest *m_request;
        std::function<void()> m_onRequest;
    };

private:
    std::atomic<bool> m_requested { false };
    std::mutex m_lock; // guards m_watch and the call of its function
    const std::function<void()> *m_watch = nullptr;
};

} // namespace run
