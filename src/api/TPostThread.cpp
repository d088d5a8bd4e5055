#include "api/TPostThread.h"

#include "api/HttpTransport.h"
#include "api/PostCompletions.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace api {

TPostThread::TPostThread(std::shared_ptr<HttpTransport> transport,
                         std::shared_ptr<PostCompletions> completions, media::SIMCH simch,
                         uint8_t opid, std::string url, std::string body)
    : simch(std::move(simch)), opid(opid), url(std::move(url)), body(std::move(body)),
      transport(std::move(transport)), completions(std::move(completions)) {}

TPostThread::~TPostThread() {
    join();
}

void TPostThread::start() {
    thread = std::thread([this] { run(); });
}

void TPostThread::join() {
    if (thread.joinable()) thread.join();
}

void TPostThread::run() {
    HttpResult r =
        transport->post(util::gbkToUtf8(url), util::gbkToUtf8(body), completions->cancelled());
    if (r.completed && r.status == 200) {
        reply = util::utf8ToGbk(r.body);
        ok = true;
    } else {
        // 0 when no status line arrived: refused, timed out, abandoned.
        errorText = "连接出错:"_gbk + std::to_string(r.status);
        ok = false;
    }
    completions->handOver(this);
}

} // namespace api
