#pragma once

#include <cstddef>

#include "api/HttpTransport.h"

namespace api {

// HTTP on libcurl: one easy handle per exchange. A platform that never answers must not keep
// a request (and its operator) waiting for ever, so both a connect and an overall time-out
// apply; a reply larger than `maxReply` bytes is abandoned.
class CurlTransport : public HttpTransport {
public:
    static constexpr long kConnectTimeoutMs = 10'000;
    static constexpr long kTotalTimeoutMs = 30'000;
    static constexpr size_t kMaxReply = size_t{256} << 20;

    explicit CurlTransport(long connectTimeoutMs = kConnectTimeoutMs,
                           long totalTimeoutMs = kTotalTimeoutMs, size_t maxReply = kMaxReply);

    HttpResult post(const std::string& url, const std::string& body,
                    const std::atomic<bool>& cancel) override;

private:
    long connectTimeoutMs;
    long totalTimeoutMs;
    size_t maxReply;
};

} // namespace api
