#pragma once

#include <atomic>
#include <string>

namespace api {

// What one HTTP exchange gave: `completed` when the whole response arrived, `status` as the
// client holds it (0 when no status line arrived), the body as received.
struct HttpResult {
    bool completed = false;
    long status = 0;
    std::string body;
};

// The HTTP client behind the request workers: posts a body with the content type
// "application/json". Called from several worker threads at once, so implementations keep no
// per-exchange state in the object. An exchange gives up soon after `cancel` becomes true.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual HttpResult post(const std::string& url, const std::string& body,
                            const std::atomic<bool>& cancel) = 0;
};

} // namespace api
