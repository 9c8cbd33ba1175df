#include "run/stop_request.h"

namespace run {

void StopRequest::request()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_requested.exchange(true))
        return;
    if (m_watch)
        (*m_watch)();
}

StopRequest::Watch::Watch(StopRequest *request, std::function<void()> onRequest)
    : m_request(request)
    , m_onRequest(std::move(onRequest))
{
    if (!m_request)
        return;
    const std::lock_guard<std::mutex> lock(m_request->m_lock);
    m_request->m_watch = &m_onRequest;
    if (m_request->requested())
        m_onRequest();
}

StopRequest::Watch::~Watch()
{
    if (!m_request)
        return;
    // Waits for a request being made on another thread to finish calling this watch.
    const std::lock_guard<std::mutex> lock(m_request->m_lock);
    m_request->m_watch = nullptr;
}

} // namespace run
