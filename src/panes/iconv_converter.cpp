#include "panes/iconv_converter.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace corvane {

namespace {

iconv_t handle(void* cd) { return static_cast<iconv_t>(cd); }
void* const kInvalid = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));

}  // namespace

IconvConverter::IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}

IconvConverter::~IconvConverter() {
    if (valid()) iconv_close(handle(cd_));
}

bool IconvConverter::valid() const { return cd_ != kInvalid; }

IconvConverter::Stop IconvConverter::convert(std::string_view& in, std::string& out) {
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t written = out.size();
    out.resize(written + in.size() * 2 + 16);
    Stop stop = Stop::Done;
    while (inLeft > 0) {
        char* outPtr = out.data() + written;
        std::size_t outLeft = out.size() - written;
        const std::size_t result = iconv(handle(cd_), &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        written = static_cast<std::size_t>(outPtr - out.data());
        if (result != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        stop = error == EINVAL ? Stop::Incomplete : Stop::Invalid;
        break;
    }
    out.resize(written);
    in.remove_prefix(in.size() - inLeft);
    return stop;
}

void IconvConverter::finish(std::string& out) {
    char buffer[64];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(handle(cd_), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
}

void IconvConverter::reset() { iconv(handle(cd_), nullptr, nullptr, nullptr, nullptr); }

}  // namespace corvane
