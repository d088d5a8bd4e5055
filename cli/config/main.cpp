// tavrina-config: reads and edits the enciphered settings file for operators and installers.
//   tavrina-config show FILE
//   tavrina-config get FILE NAME
//   tavrina-config set FILE NAME VALUE
//   tavrina-config create FILE --from TEMPLATE
// Text in and out is UTF-8; the file holds GBK. A failure prints the store's message, exit 1.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "SettingsTemplate.h"
#include "ValueText.h"
#include "settings/ConfSet.h"
#include "util/GbkText.h"

namespace fs = std::filesystem;
using settings::ConfSet;
using settings::ConfVal;

namespace {

int usage() {
    std::cerr << "usage: tavrina-config show FILE\n"
                 "       tavrina-config get FILE NAME\n"
                 "       tavrina-config set FILE NAME VALUE\n"
                 "       tavrina-config create FILE --from TEMPLATE\n"
                 "FILE is BASE.cfset; BASE is also the signature inside (Zorvu for the client).\n";
    return 2;
}

int fail(const std::string& utf8) {
    std::cerr << utf8 << "\n";
    return 1;
}

int storeFailure(const ConfSet& store) {
    return fail(util::gbkToUtf8(store.Message));
}

// The store takes a directory and a base name; the file is their join with ".cfset".
bool openStore(const std::string& file, ConfSet& store) {
    const fs::path p(file);
    if (p.extension() != ".cfset" || p.stem().empty()) return false;
    std::string dir = p.parent_path().string();
    if (!dir.empty()) dir += '/';
    store.Setup(util::utf8ToGbk(dir), util::utf8ToGbk(p.stem().string()));
    return true;
}

bool load(ConfSet& store) {
    if (!store.Load()) return false;
    if (!store.Message.empty()) std::cerr << util::gbkToUtf8(store.Message) << "\n"; // a notice
    return true;
}

int show(ConfSet& store) {
    if (!load(store)) return storeFailure(store);
    std::vector<const ConfVal*> order;
    for (const auto& [name, v] : store.params)
        order.push_back(&v);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return *a < *b; });
    for (const ConfVal* v : order) {
        std::string text, error;
        if (!valuetext::toText(store, v->name, text, error)) text = "<" + error + ">";
        // A cached vehicle list runs to megabytes of hexadecimal: show its start.
        constexpr size_t kShown = 64;
        if (v->type == settings::kConfData && text.size() > kShown)
            text = text.substr(0, kShown) + "... (" + std::to_string(text.size() / 2) + " bytes)";
        const std::string& label = ConfVal::TypeLabel(v->type);
        std::cout << util::gbkToUtf8(v->category) << '\t' << util::gbkToUtf8(v->name) << '\t'
                  << (label.empty() ? std::to_string(v->type) : util::gbkToUtf8(label)) << '\t'
                  << text << '\n';
    }
    return 0;
}

int get(ConfSet& store, const std::string& name) {
    if (!load(store)) return storeFailure(store);
    std::string text, error;
    if (!valuetext::toText(store, util::utf8ToGbk(name), text, error)) return fail(error);
    std::cout << text << '\n';
    return 0;
}

int set(ConfSet& store, const std::string& name, const std::string& value) {
    if (!load(store)) return storeFailure(store);
    std::string error;
    if (!valuetext::setFromText(store, util::utf8ToGbk(name), value, error)) return fail(error);
    if (!store.Save()) return storeFailure(store);
    return 0;
}

int create(ConfSet& store, const std::string& templatePath) {
    std::ifstream in(templatePath, std::ios::binary);
    if (!in) return fail("cannot read " + templatePath);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!settingstemplate::read(text.str(), store, error)) return fail(templatePath + ": " + error);
    if (!store.Save()) return storeFailure(store);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return usage();
    ConfSet store;
    if (!openStore(args[1], store)) {
        std::cerr << "the settings file name must be BASE.cfset: " << args[1] << "\n";
        return 2;
    }
    const std::string& cmd = args[0];
    if (cmd == "show" && args.size() == 2) return show(store);
    if (cmd == "get" && args.size() == 3) return get(store, args[2]);
    if (cmd == "set" && args.size() == 4) return set(store, args[2], args[3]);
    if (cmd == "create" && args.size() == 4 && args[2] == "--from") return create(store, args[3]);
    return usage();
}
