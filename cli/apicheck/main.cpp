// tavrina-apicheck: runs login, the vehicle list, one state query and optionally a live-play
// command against a platform through the client's own web-API code, printing one line per
// result ("opid=N result=1|0 status=TEXT", UTF-8) and a summary; exit 0 when every step
// succeeded, 1 when one failed, 2 on a usage error. With --tree, the vehicle tree as the
// operator's view shows it after a full refresh follows the state query: one node per line in
// view order, two spaces per level, the shown text, a tab and "kind=K image=I".

#include <charconv>
#include <iostream>
#include <set>
#include <string>
#include <string_view>

#include "api/HttpPostDataCont.h"
#include "api/TextTreeView.h"
#include "media/SIMCH.h"
#include "util/GbkText.h"

namespace {

const char* kUsage =
    "usage: tavrina-apicheck --data-url URL --cmd-url URL --user NAME --password PASS\n"
    "       [--project-type N] [--live SIM:CH] [--play-server ID] [--log] [--tree]\n";

struct Options {
    std::string dataUrl, cmdUrl, user, password, playServer;
    unsigned projectType = 0;
    bool live = false;
    media::SIMCH liveKey;
    bool log = false;
    bool tree = false;
};

bool number(std::string_view text, unsigned limit, unsigned& out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && out <= limit;
}

bool parse(int argc, char** argv, Options& o) {
    bool user = false, password = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--log") {
            o.log = true;
        } else if (a == "--tree") {
            o.tree = true;
        } else if (!hasValue) {
            return false;
        } else if (a == "--data-url") {
            o.dataUrl = argv[++i];
        } else if (a == "--cmd-url") {
            o.cmdUrl = argv[++i];
        } else if (a == "--user") {
            o.user = util::utf8ToGbk(argv[++i]);
            user = true;
        } else if (a == "--password") {
            o.password = util::utf8ToGbk(argv[++i]);
            password = true;
        } else if (a == "--play-server") {
            o.playServer = util::utf8ToGbk(argv[++i]);
        } else if (a == "--project-type") {
            if (!number(argv[++i], 255, o.projectType)) return false;
        } else if (a == "--live") {
            const std::string_view v = argv[++i];
            const size_t colon = v.rfind(':');
            unsigned ch = 0;
            if (colon == 0 || colon == v.npos || !number(v.substr(colon + 1), 255, ch))
                return false;
            o.liveKey = {media::padSim(v.substr(0, colon)), static_cast<uint8_t>(ch)};
            o.live = true;
        } else {
            return false;
        }
    }
    return !o.dataUrl.empty() && !o.cmdUrl.empty() && user && password;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::cerr << kUsage;
        return 2;
    }
    api::TextTreeView view; // outlives the client, whose tree holds it
    api::HttpPostDataCont client;
    client.dataUrl = util::utf8ToGbk(o.dataUrl);
    client.cmdUrl = util::utf8ToGbk(o.cmdUrl);
    client.playServer = o.playServer;
    // Integrators want the exchanges themselves, so the log keeps whole bodies.
    client.log.logOn = o.log;
    client.log.saveBodies = o.log;
    bool allOk = true;
    int results = 0;
    client.OnResult = [&](int opid, bool result, const std::string& status, const media::SIMCH&) {
        std::cout << "opid=" << opid << " result=" << (result ? 1 : 0)
                  << " status=" << util::gbkToUtf8(status) << "\n";
        allOk = allOk && result;
        ++results;
    };
    // Each step waits for its own results; the transport's time-outs bound the wait.
    const auto step = [&](auto&& send) {
        const int before = results;
        send();
        while (client.pendingRequests() > 0) {
            client.waitCompletions(100);
            client.runCompletions();
        }
        return results > before && allOk;
    };

    if (step([&] { client.login(static_cast<uint8_t>(o.projectType), o.user, o.password); }) &&
        step([&] { client.requestVehicleTree(); })) {
        std::set<std::string> first;
        for (const auto& [id, r] : client.vehicles)
            if (r.kind == api::kTerminal && first.size() < api::HttpPostDataCont::kStateBatch)
                first.insert(r.name);
        if (!first.empty()) step([&] { client.queryState(first); });
        if (o.tree) {
            client.setTreeView(&view);
            client.refreshTree(true);
            std::cout << view.render();
        }
        if (o.live) step([&] { client.playLive(o.liveKey, 1, 0); });
    }

    size_t vehicles = 0, terminals = 0, channels = 0;
    for (const auto& [id, r] : client.vehicles) {
        vehicles += r.kind == api::kVehicle;
        terminals += r.kind == api::kTerminal;
        channels += r.kind == api::kChannel;
    }
    std::cout << "summary vehicles=" << vehicles << " terminals=" << terminals
              << " channels=" << channels << "\n";
    return allOk && results > 0 ? 0 : 1;
}
