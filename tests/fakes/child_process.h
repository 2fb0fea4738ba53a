#pragma once

#include <grp.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

// A "Vm...:" figure of /proc/self/status in bytes, or -1.
inline long long processStatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1)) * 1024;
    }
    return -1;
}

// A forked copy of a process has its memory but maps the pages of its files (the code of its
// libraries, say) again only as it touches them, and each counts as resident then. Touching
// them first leaves in what a measurement counts only the memory that the work itself takes.
inline void touchMappedFiles() {
    std::ifstream maps("/proc/self/maps");
    const long page = ::sysconf(_SC_PAGESIZE);
    for (std::string line; std::getline(maps, line);) {
        unsigned long start = 0;
        unsigned long end = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, permissions) != 3) continue;
        if (permissions[0] != 'r' || line.find(" /") == std::string::npos) continue;
        std::vector<unsigned char> resident(static_cast<std::size_t>((end - start + page - 1) / page));
        // Only pages already in memory: a mapping may reach past the end of its file.
        if (::mincore(reinterpret_cast<void*>(start), end - start, resident.data()) != 0) continue;
        for (std::size_t i = 0; i < resident.size(); ++i) {
            if (resident[i] & 1)
                (void)*reinterpret_cast<const volatile char*>(start + i * static_cast<unsigned long>(page));
        }
    }
}

// How far work raised the resident memory of a process at its peak, in bytes, measured in a
// forked copy of this process from the memory it had before the work; -1 when it could not be
// measured. The kernel's peak is reset first (clear_refs), so what this process did before
// does not count.
inline long long peakResidentGrowth(const std::function<void()>& work) {
    int channel[2];
    if (::pipe(channel) != 0) return -1;
    const int status = runInChild([&] {
        ::close(channel[0]);
        touchMappedFiles();
        std::ofstream("/proc/self/clear_refs") << "5";
        const long long before = processStatusBytes("VmRSS");
        work();
        const long long peak = processStatusBytes("VmHWM");
        const std::string figure = before < 0 || peak < 0 ? "-1" : std::to_string(peak - before);
        return ::write(channel[1], figure.data(), figure.size()) == static_cast<ssize_t>(figure.size()) ? 0
                                                                                                        : 1;
    });
    ::close(channel[1]);
    std::string figure;
    char buffer[64];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        figure.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    return exitedWith(status, 0) && !figure.empty() ? std::stoll(figure) : -1;
}

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
