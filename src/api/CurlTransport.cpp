#include "api/CurlTransport.h"

#include <memory>
#include <mutex>

#include <curl/curl.h>

namespace api {

namespace {

struct EasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Sink {
    std::string* body;
    size_t limit;
    const std::atomic<bool>* cancel;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    if (sink->body->size() + n > sink->limit) return 0; // abandons the transfer
    sink->body->append(data, n);
    return n;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Sink*>(user)->cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

} // namespace

CurlTransport::CurlTransport(long connectTimeoutMs, long totalTimeoutMs, size_t maxReply)
    : connectTimeoutMs(connectTimeoutMs), totalTimeoutMs(totalTimeoutMs), maxReply(maxReply) {
    // Not thread-safe in older libcurl: done once, before any worker runs.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResult CurlTransport::post(const std::string& url, const std::string& body,
                               const std::atomic<bool>& cancel) {
    HttpResult result;
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy) return result;
    std::unique_ptr<curl_slist, SlistFree> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"));
    if (!headers) return result;
    // A large state query would otherwise wait for "100 Continue" first.
    curl_slist_append(headers.get(), "Expect:"); // appends to the same head, or fails harmlessly

    Sink sink{&result.body, maxReply, &cancel};
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L); // workers are threads
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");

    const CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    result.status = status;
    result.completed = rc == CURLE_OK;
    return result;
}

} // namespace api
