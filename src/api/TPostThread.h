#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "media/SIMCH.h"

namespace api {

class HttpTransport;
class PostCompletions;

// One request in flight: owns copies of its address, body and key, runs the exchange on a
// thread of its own and hands the outcome to the owner's thread through PostCompletions.
// The owner joins the thread after the completion ran, so nothing outlives the client.
class TPostThread {
public:
    TPostThread(std::shared_ptr<HttpTransport> transport,
                std::shared_ptr<PostCompletions> completions, media::SIMCH simch, uint8_t opid,
                std::string url, std::string body);
    ~TPostThread();
    TPostThread(const TPostThread&) = delete;
    TPostThread& operator=(const TPostThread&) = delete;

    void start();
    void join();

    // Written by the worker before the hand-over, read by the owner only after it.
    media::SIMCH simch;
    uint8_t opid;
    std::string url;
    std::string body;  // GBK
    std::string reply; // GBK
    bool ok = false;
    std::string errorText;

    bool completed = false; // guarded by PostCompletions::mutex

private:
    void run();

    std::shared_ptr<HttpTransport> transport;
    std::shared_ptr<PostCompletions> completions;
    std::thread thread;
};

} // namespace api
