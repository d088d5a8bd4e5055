// tavrina-jsoncheck FILE...: parses each file as the client parses a platform reply.
// Prints "ok FILE" (with --write, the written form on the next line) or "fail FILE";
// exit status 0 when every file parsed.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "api/CJvalue.h"

int main(int argc, char** argv) {
    bool writeBack = false;
    int files = 0, failed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--write") {
            writeBack = true;
            continue;
        }
        ++files;
        std::ifstream in(arg, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        api::CJvalue v;
        if (!in || !v.parse(text.str())) {
            std::cout << "fail " << arg << "\n";
            ++failed;
            continue;
        }
        std::cout << "ok " << arg << "\n";
        if (writeBack) std::cout << v.write() << "\n";
    }
    if (files == 0) {
        std::cerr << "usage: tavrina-jsoncheck [--write] FILE...\n";
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
