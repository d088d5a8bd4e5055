#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace tavrina_test {

struct CommandResult {
    int status = -1; // the exit code, or -1 when the command did not end normally
    std::string out;
};

// Runs a shell command and collects what it prints; its standard error joins the output
// unless `mergeErrors` is false.
inline CommandResult runCommand(const std::string& command, bool mergeErrors = true) {
    CommandResult r;
    const std::string line = mergeErrors ? command + " 2>&1" : command;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), pclose);
    if (!pipe) return r;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
        r.out.append(chunk.data(), n);
    const int raw = pclose(pipe.release());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

} // namespace tavrina_test
