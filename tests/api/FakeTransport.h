#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "api/HttpPostDataCont.h"
#include "api/HttpTransport.h"

namespace apitest {

// Records every post and answers from a script (default: status 200 with `fallback`).
// With `hold` set, exchanges wait until released or cancelled, to keep workers busy; with
// `holdOnly` as well, only exchanges whose address contains it wait.
class FakeTransport : public api::HttpTransport {
public:
    struct Post {
        std::string url;
        std::string body; // as sent: UTF-8
    };

    api::HttpResult post(const std::string& url, const std::string& body,
                         const std::atomic<bool>& cancel) override {
        std::unique_lock lock(mutex);
        posts.push_back({url, body});
        ++active;
        peak = std::max(peak, active);
        wake.notify_all();
        // Cancellation is polled, as a real client does.
        const bool held = holdOnly.empty() || url.find(holdOnly) != std::string::npos;
        while (held && hold && !cancel.load())
            wake.wait_for(lock, std::chrono::milliseconds(10));
        --active;
        if (cancel.load()) return {};
        if (script.empty()) return {true, 200, fallback};
        api::HttpResult r = script.front();
        script.pop_front();
        return r;
    }

    void answer(long status, std::string body) {
        std::lock_guard lock(mutex);
        script.push_back({true, status, std::move(body)});
    }
    void release() {
        std::lock_guard lock(mutex);
        hold = false;
        wake.notify_all();
    }
    // Waits until `n` exchanges are in progress at once.
    bool waitActive(int n) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, std::chrono::seconds(10), [&] { return active >= n; });
    }
    std::vector<Post> sent() {
        std::lock_guard lock(mutex);
        return posts;
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<api::HttpResult> script;
    std::string fallback = R"({"code":0,"msg":"ok"})";
    std::vector<Post> posts;
    bool hold = false;
    std::string holdOnly;
    int active = 0;
    int peak = 0;
};

// Runs completions until no request is left (bounded, so a lost completion fails the test).
inline bool drain(api::HttpPostDataCont& client) {
    for (int i = 0; i < 1000 && client.pendingRequests() > 0; ++i) {
        client.waitCompletions(20);
        client.runCompletions();
    }
    return client.pendingRequests() == 0;
}

} // namespace apitest
