#include "tools/cli/cli_options.h"

#include <charconv>

namespace corvane {

const char* const kCliUsage =
    "usage:\n"
    "  corvane-cli first   --pid PID --structure TEXT [--type N] [--base N] [--condition N]\n"
    "                      [--value1 T] [--value2 T] [--out FILE]\n"
    "  corvane-cli next    --pid PID --in FILE [--type N] [--base N] [--condition N]\n"
    "                      [--value1 T] [--value2 T] [--out FILE]\n"
    "  corvane-cli monitor --pid PID --in FILE [--cycles N] [--type N] [--base N]\n"
    "  corvane-cli reformat --pid PID --in FILE --type N [--base N] [--out FILE]\n"
    "  any command: --settings FILE --name SECTION takes 结构, 类型, 进制, 条件, 数值1, 数值2\n"
    "  from a settings file; the options above override them.\n"
    "  --type: 0 字节 1 短整型 2 长整型 3 64位整型 4 单精度 5 双精度 6 A字符 7 U字符 8 UTF-8\n"
    "  --base: 0 or 1 (10进制/16进制, 忽略小数/绝对匹配); --condition: 0 to 10\n";

namespace {

template <typename T>
bool parseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

}  // namespace

std::string parseCliOptions(const std::vector<std::string>& args, CliOptions& options) {
    if (args.empty()) return "no command given";
    options.command = args[0];
    const bool known = options.command == "first" || options.command == "next" || options.command == "monitor" ||
                       options.command == "reformat";
    if (!known) return "unknown command '" + options.command + "'";

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return "option " + name + " needs a value";
        const std::string& value = args[++i];
        auto integer = [&](std::optional<int>& slot, int low, int high) -> std::string {
            int number = 0;
            if (!parseNumber(value, number) || number < low || number > high)
                return name + " must be a number from " + std::to_string(low) + " to " + std::to_string(high);
            slot = number;
            return "";
        };
        std::string problem;
        if (name == "--pid") {
            std::uint32_t pid = 0;
            if (!parseNumber(value, pid) || pid == 0) return "--pid must be a process id";
            options.pid = pid;
        } else if (name == "--structure") {
            options.structure = value;
        } else if (name == "--type") {
            problem = integer(options.type, 0, 8);
        } else if (name == "--base") {
            problem = integer(options.base, -1, 1);
        } else if (name == "--condition") {
            problem = integer(options.condition, 0, 10);
        } else if (name == "--value1") {
            options.value1 = value;
        } else if (name == "--value2") {
            options.value2 = value;
        } else if (name == "--in") {
            options.inFile = value;
        } else if (name == "--out") {
            options.outFile = value;
        } else if (name == "--cycles") {
            long cycles = 0;
            if (!parseNumber(value, cycles) || cycles < 1) return "--cycles must be a positive number";
            options.cycles = cycles;
        } else if (name == "--settings") {
            options.settingsFile = value;
        } else if (name == "--name") {
            options.settingsName = value;
        } else {
            return "unknown option " + name;
        }
        if (!problem.empty()) return problem;
    }

    if (!options.pid) return "--pid is required";
    if (options.settingsFile.empty() != options.settingsName.empty()) return "--settings and --name go together";
    const bool first = options.command == "first";
    if (first && !options.structure && options.settingsFile.empty()) return "first needs --structure (or --settings)";
    if (!first && options.inFile.empty()) return options.command + " needs --in FILE";
    if (options.command == "reformat" && !options.type && options.settingsFile.empty()) return "reformat needs --type";
    return "";
}

}  // namespace corvane
