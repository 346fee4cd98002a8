#include "tools/cli/cli_failure.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/target/system_error_text.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"

namespace corvane {

void say(const std::string& message) {
    // Messages quote arguments, which are code page 936 texts here; the
    // terminal takes UTF-8.
    std::u16string wide;
    const std::string shown = systemTextCodec().toUtf16(message, CodePage::Gbk, wide) ? encodeUtf8(wide) : message;
    std::fprintf(stderr, "corvane-cli: %s\n", shown.c_str());
}

int fail(int code, const std::string& message) {
    say(message);
    return code;
}

int failUsage(const std::string& problem) {
    fail(kExitUsage, problem);
    std::fputs("corvane-cli --help for more\n", stderr);
    return kExitUsage;
}

int failToOpen(std::uint32_t pid, std::uint32_t error) {
    return fail(kExitCannotOpen, "cannot open process " + std::to_string(pid) + ": " + systemErrorText(error));
}

std::string outFileProblem(const std::string& file) {
    if (file.empty()) return "";
    // Arguments are code page 936 texts; the file system takes UTF-16.
    std::u16string wide;
    if (!systemTextCodec().toUtf16(file, CodePage::Gbk, wide)) return "";
    const std::filesystem::path path(wide);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return "cannot write " + file + ": it is a folder";
    const std::filesystem::path folder = path.parent_path();
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return "";
    return "cannot write " + file + ": no such folder";
}

}  // namespace corvane
