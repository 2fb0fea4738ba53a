#include "preview/preview_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/platform_error.h"

namespace corvane {

namespace {

std::string cacheHome() {
    // Relative values are ignored, as the XDG base directory rules ask.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache";
    throw PlatformError("准备预览文件", "找不到用户的缓存文件夹（HOME 未设置）");
}

void makePrivateFolder(const std::string& folder) {
    const std::string operation = "准备预览文件夹“" + folder + "”";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw PlatformError(operation, std::strerror(errno));
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) throw PlatformError(operation, std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) throw PlatformError(operation, "它不是一个文件夹");
    if (info.st_uid != ::geteuid()) throw PlatformError(operation, "它属于另一个用户");
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        throw PlatformError(operation, std::strerror(errno));
    }
}

}  // namespace

std::string previewFilePath() {
    const std::string folder = cacheHome() + "/corvane";
    makePrivateFolder(folder);
    return folder + "/test.html";
}

}  // namespace corvane
