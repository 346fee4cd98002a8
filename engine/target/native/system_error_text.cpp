#include "engine/target/system_error_text.h"

#include <cerrno>
#include <cstring>

namespace corvane {

std::string systemErrorText(std::uint32_t error) {
    // strerror's words start with a capital letter, which reads oddly
    // after a colon.
    switch (error) {
        case ESRCH: return "no such process";
        case EPERM:
        case EACCES: return "permission denied";
        default: break;
    }
    std::string text = std::strerror(static_cast<int>(error));
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

}  // namespace corvane
