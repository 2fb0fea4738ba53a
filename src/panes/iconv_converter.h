#pragma once

#include <string>
#include <string_view>

namespace corvane {

// One open iconv converter, kept open across calls, since readers convert many short pieces.
class IconvConverter {
public:
    IconvConverter(const char* to, const char* from);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // False when the system has no such converter.
    bool valid() const;

    enum class Stop { Done, Invalid, Incomplete };
    // Appends to `out` what it converts of `in` and takes that off the front of `in`; stops at the
    // end, at an invalid sequence or at one cut off by the end of `in`.
    Stop convert(std::string_view& in, std::string& out);
    // Writes what ends the converter's shift state (a return to ASCII) and starts it afresh.
    void finish(std::string& out);
    void reset();

private:
    void* cd_;
};

}  // namespace corvane
