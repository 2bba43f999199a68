#include "setup/quick_set.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "ui/number_text.h"

namespace lx9 {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allowedCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || isDigit(c) || c == ',' || c == '=' || c == ' ' || c == '.' || c == '-';
}

// The comma-separated statements of a line, untrimmed.
std::vector<std::string_view> statements(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        parts.push_back(
            line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return parts;
}

bool isCommand(std::string_view word) {
    return word == "YES" || word == "NO" || word == "CLEAR";
}

std::string withName(std::string_view before, std::string_view name, std::string_view after) {
    std::string text(before);
    text += name;
    text += after;
    return text;
}

// The syntax pass over the whole line (already upper-cased); the message of its first failure.
std::optional<std::string> checkSyntax(std::string_view line) {
    for (char c : line) {
        if (!allowedCharacter(c))
            return std::string(
                "错误: 输入内容包含有特殊字符！注意：只能输入英文字母、数字、小数点、英文逗号和英文等号!");
    }
    for (std::string_view part : statements(line)) {
        const std::string_view statement = trim(part);
        if (statement.empty()) continue;
        const size_t equals = statement.find('=');
        if (equals == std::string_view::npos) {
            if (isCommand(statement)) continue;
            return std::string("错误: 无法识别的输入语句,请按正确格式输入，例如：L=20,C1=100,C2=400");
        }
        const std::string_view name = trim(statement.substr(0, equals));
        const std::string_view value = trim(statement.substr(equals + 1));
        if (name.empty()) return std::string("错误: 符号\"=\"左边应该有一个变量名称，不能为空,请重新输入!");
        if (value.empty()) return std::string("错误: 符号\"=\"右边没有进行赋值，不能为空,请重新输入!");
        if (std::all_of(name.begin(), name.end(), isDigit))
            return withName("错误: ", name, "是无效的变量，变量名不能为纯数字，请重新输入！");
        for (size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (!isDigit(c) && c != '.' && !(i == 0 && c == '-'))
                return std::string("错误: 符号\"=\"右边只能为数字，请重新输入！");
        }
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, 7> kStepTexts = {"10", "50", "100", "150", "200", "250", "500"};
constexpr std::array<std::string_view, 13> kGainTexts = {"1",   "2",   "4",    "10",   "20",   "40",   "100",
                                                         "200", "400", "1000", "2000", "4000", "10000"};
constexpr std::array<std::string_view, 5> kHighPassTexts = {"0.01", "0.10", "0.1", "5", "20"};

template <size_t N>
bool oneOf(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The two-decimal form of an accepted low-pass value, or nothing.
std::optional<std::string> lowPassText(std::string_view value) {
    for (std::string_view base : {"2", "10", "50", "500"}) {
        const std::string b(base);
        if (value == b || value == b + ".0" || value == b + ".00") return b + ".00";
    }
    return std::nullopt;
}

// A variable of the table: its base name and, for the per-row forms, the row 0..5 (-1: all).
struct Variable {
    std::string_view base;
    int row = -1;
};

std::optional<Variable> lookUp(std::string_view name) {
    for (std::string_view plain : {"PN", "M", "D", "L", "PD", "A", "Q"}) {
        if (name == plain) return Variable{plain, -1};
    }
    for (std::string_view rowed : {"C", "G", "T", "FH", "FL"}) {
        if (name == rowed) return Variable{rowed, -1};
        if (name.size() == rowed.size() + 1 && name.substr(0, rowed.size()) == rowed) {
            const char digit = name.back();
            if (digit >= '1' && digit <= '6') return Variable{rowed, digit - '1'};
        }
    }
    return std::nullopt;
}

// One NAME=VALUE statement into the working copy: the refusal's text, or none once applied.
std::optional<std::string> assignVariable(SetupForm& form, SetupControls& c, const std::string& name,
                                          const std::string& value, const Variable& variable) {
    const std::string_view base = variable.base;
    const int row = variable.row;
    auto rows = [&c, row](auto&& assign) {
        for (int r = 0; r < kMaxSections; ++r) {
            if (row < 0 || row == r) assign(c.rows[r]);
        }
    };

    // Free numeric values must read as a number: "20..5" would otherwise be taken as 20.
    const bool numeric =
        base == "D" || base == "L" || base == "PD" || base == "A" || base == "C" || base == "T";
    const std::string_view digits =
        base == "A" && value[0] == '-' ? std::string_view(value).substr(1) : value;
    if (numeric && !isPlainDecimal(digits))
        return withName("错误：", name, "的值输入不正确，请输入一个有效的数字！");

    if (base == "PN") {
        if (value.size() != 1 || value[0] < '2' || value[0] > '5')
            return withName("错误：管数", name, "的值输入不正确，只能是2、3、4、5中的一个，请重新输入！");
        c.pipeCount = value;
    } else if (base == "M") {
        if (!oneOf(kStepTexts, value))
            return withName("错误：移距", name,
                            "的值输入不正确，只能是10、50、100、150、200、250、500中的一个，请重新输入！");
        c.step = value;
    } else if (base == "D") {
        c.startDepth = value;
        c.pileLength = value;
    } else if (base == "L") {
        c.pileLength = value;
    } else if (base == "PD") {
        c.pileDiameter = value;
    } else if (base == "A") {
        c.offsetAngle = formatInt(parseIntText(value));
    } else if (base == "C") {
        const std::string spacing = formatInt(parseIntText(value));
        rows([&](SectionRow& r) { r.spacing = spacing; });
    } else if (base == "G") {
        if (!oneOf(kGainTexts, value)) {
            const char* tail =
                "、2、4、10、20、40、100、200、400、1000、2000、4000、10000 中的一个，请重新输入！";
            return row < 0 ? withName("错误：增益", name, std::string("的值输入不正确，只能是1") + tail)
                           : withName("错误：", name, std::string("的增益值输入不正确，只能是1") + tail);
        }
        rows([&](SectionRow& r) { r.gain = value; });
    } else if (base == "T") {
        rows([&](SectionRow& r) { r.delay = value; });
    } else if (base == "FH") {
        if (!oneOf(kHighPassTexts, value))
            return withName("错误：高通", name,
                            "的值输入不正确，只能是0.01、0.10、5、20中的一个，请重新输入！");
        rows([&](SectionRow& r) { r.highPass = value; });
    } else if (base == "FL") {
        const std::optional<std::string> stored = lowPassText(value);
        if (!stored)
            return row < 0 ? withName("错误：低通", name,
                                      "的值输入不正确，只能是2、10、50、500中的一个，请重新输入！")
                           : withName("错误：", name,
                                      "低通的值输入不正确，只能是2、10、50、500中的一个，请重新输入！");
        rows([&](SectionRow& r) { r.lowPass = *stored; });
    } else if (base == "Q") {
        if (value != "1" && value != "2" && value != "3")
            return withName("错误:快速设置", name, "的值输入不正确，只能是1、2、3中的一个，请重新输入！");
        form.applyPreset(value[0] - '0');
    }
    return std::nullopt;
}

}  // namespace

QuickSet::QuickSet(SetupForm& form, SharedInfo current)
    : form_(form), current_(current.record()), infoLock_(current.lock()), statusText_(initialStatusText()) {
    cursor_ = std::clamp(current_.historyCount, 0, kHistoryLines);
}

std::string QuickSet::initialStatusText() {
    return "提示：按键盘上↑或↓键可查看最近15次的输入记录！输入格式: 变量1=值1,变量2=值2,……,变量n=值n，"
           "不区分大小写，按回车键执行！";
}

std::string QuickSet::successStatusText() {
    return "提示：语句执行成功！ (按键盘上↑或↓键可查看最近15次的输入记录)";
}

std::string QuickSet::formatHint() {
    return "输入格式:　输入完成以英文分号\";\"结束,以英文逗号\",\"分隔多个语句 ,保存并退出:YES;,  "
           "不保存并退出:NO;";
}

std::string QuickSet::helpText() {
    const std::string sep = "\u3000";
    std::string text = "状态栏输入提示:\n";
    const std::array<std::pair<std::string_view, std::string_view>, 11> plain = {{{"管数", "PN"},
                                                                                  {"移距", "M"},
                                                                                  {"始测深度", "D"},
                                                                                  {"桩长", "L"},
                                                                                  {"桩径", "PD"},
                                                                                  {"偏移角", "A"},
                                                                                  {"跨距", "C"},
                                                                                  {"增益", "G"},
                                                                                  {"延时", "T"},
                                                                                  {"高通", "FH"},
                                                                                  {"低通", "FL"}}};
    for (const auto& [label, name] : plain)
        text += std::string(label) + ":\"" + std::string(name) + "=\"" + sep;
    text += "\n";
    struct Rowed {
        std::string_view label, name, tail;
    };
    const std::array<Rowed, 5> rowed = {{{"跨距", "C", "                         "},
                                         {"增益", "G", "          "},
                                         {"延时", "T", "\n"},
                                         {"高通", "FH", "         "},
                                         {"低通", "FL", ""}}};
    for (const auto& r : rowed) {
        text += "各剖面" + std::string(r.label) + ":\"";
        for (int k = 1; k <= 6; ++k) {
            text += std::string(r.name) + std::to_string(k);
            text += k < 6 ? "/" : "=\"";
        }
        text += sep + std::string(r.tail);
    }
    text += "快速设置:\"Q=1/2/3\"" + sep + " ";
    text += "保存并退出:\"YES\"" + sep + " ";
    text += "不保存并退出:\"NO\"" + sep;
    return text;
}

bool QuickSet::enter() {
    const std::string typed(trim(line_));
    if (typed.empty()) return false;
    last_ = execute(typed);
    if (last_.ok) {
        line_.clear();
        status_ = QuickSetStatus::Success;
        statusText_ = successStatusText();
    } else {
        status_ = QuickSetStatus::Error;
        statusText_ = last_.message;
    }
    return true;
}

QuickSetResult QuickSet::execute(std::string_view typed) {
    QuickSetResult result;
    const std::string line = upperAscii(trim(typed));
    status_ = QuickSetStatus::Error;
    auto fail = [&result](std::string message) {
        result.ok = false;
        result.message = std::move(message);
        return result;
    };
    if (line.empty()) {
        result.syntaxRejected = true;
        return fail("错误: 输入为空！");
    }
    if (auto message = checkSyntax(line)) {
        result.syntaxRejected = true;
        return fail(std::move(*message));
    }

    SetupControls& c = form_.workingCopy();
    const std::string typedLine(typed);
    for (std::string_view part : statements(line)) {
        const std::string_view statement = trim(part);
        if (statement.empty()) continue;
        const size_t equals = statement.find('=');
        if (equals == std::string_view::npos) {
            if (statement == "YES") {
                result.command = QuickSetCommand::Yes;
                result.outcome = form_.ok().outcome;
            } else if (statement == "NO") {
                result.command = QuickSetCommand::No;
                result.outcome = form_.cancel();
            } else {
                result.command = QuickSetCommand::Clear;
                line_.clear();
            }
            result.ok = true;
            status_ = QuickSetStatus::Success;
            return result;
        }
        const std::string name(trim(statement.substr(0, equals)));
        const std::string value(trim(statement.substr(equals + 1)));
        if (value[0] == '-' && name != "A")
            return fail(withName("错误：", name, "的值输入不正确，请输入一个正数！"));
        const std::optional<Variable> variable = lookUp(name);
        if (!variable) return fail(withName("错误：", name, " 是无效的变量，请重新输入！"));
        if (auto refusal = assignVariable(form_, c, name, value, *variable)) return fail(std::move(*refusal));
        ++result.applied;
        addHistory(typedLine);
    }

    status_ = QuickSetStatus::Success;
    result.ok = true;
    form_.choosePipeCount(parseIntText(c.pipeCount));
    return result;
}

void QuickSet::addHistory(const std::string& typed) {
    std::lock_guard<std::mutex> g(infoLock_);  // the worker copies the record every cycle
    int count = std::clamp(current_.historyCount, 0, kHistoryLines);
    if (count > 0 && current_.commandHistory[count - 1] == typed) return;
    if (count == kHistoryLines) {
        std::rotate(current_.commandHistory.begin(), current_.commandHistory.begin() + 1,
                    current_.commandHistory.end());
        --count;
    }
    current_.commandHistory[count++] = typed;
    current_.historyCount = count;
    cursor_ = count;
    firstUp_ = false;
}

void QuickSet::show(int entry) {
    const int count = std::clamp(current_.historyCount, 0, kHistoryLines);
    if (entry >= 0 && entry < count) line_ = current_.commandHistory[entry];
}

void QuickSet::up() {
    const int count = std::clamp(current_.historyCount, 0, kHistoryLines);
    if (count == 0) return;
    if (cursor_ >= 2) {
        if (!firstUp_) {
            firstUp_ = true;
        } else {
            cursor_ = std::max(cursor_ - 1, 1);
        }
        show(cursor_ - 1);
    } else {
        cursor_ = 1;
        show(0);
    }
}

void QuickSet::down() {
    const int count = std::clamp(current_.historyCount, 0, kHistoryLines);
    if (count == 0) return;
    if (cursor_ < count) {
        ++cursor_;
        show(cursor_ - 1);
    }
}

}  // namespace lx9
