// Reading a thread's stat line: the name in parentheses, then space-separated fields.
#include "platform/linux/ProcThreadStat.h"

#include <charconv>
#include <vector>

namespace uvccam::platform {

namespace {

// Fields counted from 3, the first after the name.
constexpr std::size_t kFirstFieldAfterName = 3;
constexpr std::size_t kStateField = 3;
constexpr std::size_t kUserTimeField = 14;
constexpr std::size_t kSystemTimeField = 15;
constexpr std::size_t kStartTimeField = 22;
constexpr std::size_t kPolicyField = 41;

template <typename Number>
bool readDecimal(std::string_view text, Number& value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool isDecimal(std::string_view text)
{
    std::uint64_t ignored = 0;
    return readDecimal(text, ignored);
}

}  // namespace

std::optional<ProcThreadStat> parseProcThreadStat(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);

    const std::size_t open = line.find(" (");
    const std::size_t close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2)
        return std::nullopt;
    if (!isDecimal(line.substr(0, open)))
        return std::nullopt;
    if (close + 1 >= line.size() || line[close + 1] != ' ')
        return std::nullopt;

    // The kernel separates the fields by exactly one space; anything else is not its line.
    std::vector<std::string_view> fields;
    std::string_view rest = line.substr(close + 2);
    while (true) {
        const std::size_t space = rest.find(' ');
        fields.push_back(rest.substr(0, space));
        if (fields.back().empty())
            return std::nullopt;
        if (space == std::string_view::npos)
            break;
        rest.remove_prefix(space + 1);
    }
    if (fields.size() < kPolicyField - kFirstFieldAfterName + 1)
        return std::nullopt;
    const auto field = [&](std::size_t number) { return fields[number - kFirstFieldAfterName]; };

    ProcThreadStat stat;
    if (field(kStateField).size() != 1)
        return std::nullopt;
    stat.state = field(kStateField).front();
    if (!readDecimal(field(kUserTimeField), stat.userTicks) || !readDecimal(field(kSystemTimeField), stat.systemTicks)
        || !readDecimal(field(kStartTimeField), stat.startTicks) || !readDecimal(field(kPolicyField), stat.policy))
        return std::nullopt;
    return stat;
}

}  // namespace uvccam::platform
