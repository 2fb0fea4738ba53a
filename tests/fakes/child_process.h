#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace corvane::fakes {

// Runs body in a forked copy of this process and returns the copy's wait status. What the body
// returns is the copy's exit code; an exception escaping it exits with 125.
inline int runInChild(const std::function<int()>& body) {
    std::fflush(nullptr);  // or buffered output would be written twice
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = 125;
        try {
            code = body();
        } catch (...) {
        }
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

inline bool exitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

// Root passes every permission check, so a test that needs one refused runs as "nobody" instead.
inline constexpr uid_t kNobody = 65534;
inline bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// The temporary files a save leaves beside its target when it does not finish.
inline std::vector<std::string> temporariesIn(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".corvane-") != std::string::npos) found.push_back(name);
    }
    return found;
}

}  // namespace corvane::fakes
