#include "tools/cli/cli_options.h"

#include "engine/text/ascii_case.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"
#include "tools/cli/cli_failure.h"

namespace corvane {

const char* const kCliVersion = "2.0.4";

const char* const kCliUsage =
    "usage:\n"
    "  corvane-cli first   --pid PID --structure TEXT [--type T] [--base B] [--condition C]\n"
    "                      [--value1 V] [--value2 V] [--out FILE]\n"
    "  corvane-cli next    --pid PID --in FILE [--type T] [--base B] [--condition C]\n"
    "                      [--value1 V] [--value2 V] [--out FILE]\n"
    "  corvane-cli monitor --pid PID --in FILE [--cycles N] [--changes] [--type T] [--base B]\n"
    "  corvane-cli reformat --pid PID --in FILE --type T [--base B] [--out FILE]\n"
    "  corvane-cli --help | -h | help      this text\n"
    "  corvane-cli --version               the version\n"
    "  any command: --settings FILE --name SECTION takes 结构, 类型, 进制, 条件, 数值1, 数值2\n"
    "  from a settings file (the section must exist); the options above override them.\n"
    "  --type, by number, name or short name:\n"
    "    0 字节 byte, 1 短整型 short, 2 长整型 long, 3 64位整型 int64, 4 单精度 float,\n"
    "    5 双精度 double, 6 A字符 ansi, 7 U字符 utf16, 8 UTF-8 utf8\n"
    "  --base: 0 10进制 dec 忽略小数, 1 16进制 hex 绝对匹配 (integers / floats)\n"
    "  --condition, by number, name or short name:\n"
    "    0 不过滤 none, 1 大于等于 ge, 2 等于 eq, 3 小于等于 le, 4 不等于 ne, 5 两者之间 between,\n"
    "    6 包含字符 contains, 7 保留没有改变的数值* unchanged, 8 保留改变了的数值* changed,\n"
    "    9 保留增加的数值* increased, 10 保留减少的数值* decreased (7 to 10: next only)\n"
    "  any option may also be written --option=value.\n"
    "  a structure is rows start*count*increment] (or start]): start hexadecimal, count and\n"
    "  increment decimal (&H before them for hexadecimal).\n"
    "  the first row's start may be MODULE+HEX (game.exe+1A2B0), counted from where the target\n"
    "  has the module loaded now; result paths keep that form. It may be 内存] or memory]:\n"
    "  every writable address of the target, stepped by the increment (内存*0*8] by 8).\n"
    "  first --condition none over 内存] alone writes a snapshot of that memory to --out (a\n"
    "  binary file, CORVANE-SNAPSHOT); next --in takes it (or a results file) and writes results.\n"
    "  --value1/--value2: with 10进制 a decimal number (floats with a fraction or an exponent),\n"
    "  with 16进制 hexadecimal digits (0x or &H before them allowed), within the type's range;\n"
    "  for floats --base 0 (忽略小数) compares whole numbers only, 1 (绝对匹配) exact values.\n"
    "  results go to standard output, or to --out; progress and figures to standard error.\n"
    "  monitor prints every row each cycle after a line \"# cycle N\"; with --changes only the\n"
    "  rows whose value or address changed since the cycle before (the first cycle: since\n"
    "  the file), each led by the cycle's time in milliseconds since the monitor began and a tab.\n"
    "  rows monitor or reformat cannot read again keep their values, and standard error counts\n"
    "  them; --changes writes such a row once with an empty value and address.\n"
    "  exit codes: 0 done, 1 a file could not be written, 2 bad usage (an option, value,\n"
    "  structure or file refused), 3 the target cannot be opened or its memory read, 4 the\n"
    "  target has not loaded a module the structure, the results file or --modules names.\n";

namespace {

struct Name {
    int index;
    const char* chinese;  // UTF-8 here; arguments arrive in code page 936
    const char* english;
};

constexpr Name kTypeNames[] = {
    {0, "字节", "byte"},      {1, "短整型", "short"}, {2, "长整型", "long"},
    {3, "64位整型", "int64"}, {4, "单精度", "float"}, {5, "双精度", "double"},
    {6, "A字符", "ansi"},     {7, "U字符", "utf16"},  {8, "UTF-8", "utf8"},
};
constexpr Name kBaseNames[] = {
    {0, "10进制", "dec"}, {1, "16进制", "hex"}, {0, "忽略小数", "dec"}, {1, "绝对匹配", "hex"}};
constexpr Name kConditionNames[] = {
    {0, "不过滤", "none"},
    {1, "大于等于", "ge"},
    {2, "等于", "eq"},
    {3, "小于等于", "le"},
    {4, "不等于", "ne"},
    {5, "两者之间", "between"},
    {6, "包含字符", "contains"},
    {7, "保留没有改变的数值*", "unchanged"},
    {8, "保留改变了的数值*", "changed"},
    {9, "保留增加的数值*", "increased"},
    {10, "保留减少的数值*", "decreased"},
};

std::string gbkText(const char* utf8) { return systemTextCodec().fromUtf16(decodeUtf8Text(utf8), CodePage::Gbk); }

template <std::size_t N>
std::string nameOf(int index, const Name (&names)[N]) {
    for (const Name& name : names)
        if (name.index == index) return gbkText(name.chinese) + " (" + name.english + ")";
    return std::to_string(index);
}

// The index named by `text`: a number, a name as the window shows it (the
// change conditions also without their "*"), or a short English name.
template <std::size_t N>
bool indexByName(const std::string& text, const Name (&names)[N], int& index) {
    for (const Name& name : names) {
        const std::string chinese = gbkText(name.chinese);
        const bool starred = !chinese.empty() && chinese.back() == '*';
        if (text == chinese || (starred && text == chinese.substr(0, chinese.size() - 1)) ||
            equalIgnoringAsciiCase(text, name.english)) {
            index = name.index;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> splitOptionValues(const std::vector<std::string>& args) {
    std::vector<std::string> split;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--")) {
            split.push_back(arg);
            continue;
        }
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            split.push_back(arg.substr(0, equals));
            split.push_back(arg.substr(equals + 1));
        } else {
            split.push_back(arg);
            // The value after an option is taken as it is, even "--x=1".
            if (arg != "--changes" && arg != "--help" && arg != "--version" && i + 1 < args.size())
                split.push_back(args[++i]);
        }
    }
    return split;
}

std::string typeName(int index) { return nameOf(index, kTypeNames); }
std::string conditionName(int index) { return nameOf(index, kConditionNames); }

std::string parseCliOptions(const std::vector<std::string>& args, CliOptions& options) {
    if (args.empty()) return "no command given";
    options.command = args[0];
    if (options.command == "--help" || options.command == "-h" || options.command == "help") {
        options.command = "help";
        return "";
    }
    if (options.command == "--version") {
        options.command = "version";
        return "";
    }
    const bool known = options.command == "first" || options.command == "next" || options.command == "monitor" ||
                       options.command == "reformat";
    if (!known) return "unknown command '" + options.command + "'";

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--changes") {
            options.changes = true;
            continue;
        }
        if (i + 1 >= args.size()) return "option " + name + " needs a value";
        const std::string& value = args[++i];
        auto named = [&](std::optional<int>& slot, const auto& names, int low, int high) -> std::string {
            int number = 0;
            if (indexByName(value, names, number)) {
                slot = number;
                return "";
            }
            if (!parseWholeNumber(value, number) || number < low || number > high)
                return name + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                       " or a name (see --help)";
            slot = number;
            return "";
        };
        std::string problem;
        if (name == "--pid") {
            std::uint32_t pid = 0;
            if (!parseWholeNumber(value, pid) || pid == 0) return "--pid must be a process id";
            options.pid = pid;
        } else if (name == "--structure") {
            options.structure = value;
        } else if (name == "--type") {
            problem = named(options.type, kTypeNames, 0, 8);
        } else if (name == "--base") {
            problem = named(options.base, kBaseNames, -1, 1);
        } else if (name == "--condition") {
            problem = named(options.condition, kConditionNames, 0, 10);
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
            if (!parseWholeNumber(value, cycles) || cycles < 1) return "--cycles must be a positive number";
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
    if (options.changes && options.command != "monitor") return "--changes is for monitor only";
    if (options.command == "reformat" && !options.type && options.settingsFile.empty()) return "reformat needs --type";
    return "";
}

}  // namespace corvane
