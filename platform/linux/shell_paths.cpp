#include "platform/linux/shell_paths.h"

#include <vector>

namespace platform::shellpath {
namespace {

std::size_t nextCharacter(const std::string &s, std::size_t i)
{
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) {
        ++i;
    }
    return i;
}

/// The match of pattern from @p p on name from @p n, each pair worked out once.
class Matcher
{
public:
    Matcher(const std::string &pattern, const std::string &name)
        : pattern_(pattern), name_(name), known_((pattern.size() + 1) * (name.size() + 1), -1)
    { }

    bool match(std::size_t p, std::size_t n)
    {
        signed char &known = known_[p * (name_.size() + 1) + n];
        if (known < 0) {
            known = compute(p, n) ? 1 : 0;
        }
        return known == 1;
    }

private:
    bool compute(std::size_t p, std::size_t n)
    {
        const bool end = n == name_.size();
        if (p == pattern_.size()) {
            return end;
        }
        switch (pattern_[p]) {
        case '*':
            return match(p + 1, n) || (!end && match(p, nextCharacter(name_, n)));
        case '?':
            return (!end && match(p + 1, nextCharacter(name_, n)))
                || ((end || name_[n] == '.') && match(p + 1, n));
        default:
            return !end && name_[n] == pattern_[p] && match(p + 1, n + 1);
        }
    }

    const std::string &pattern_;
    const std::string &name_;
    std::vector<signed char> known_;
};

} // namespace

std::string resolveDots(const std::string &path)
{
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        const std::string segment = path.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty() && segments.back() != "..") {
                segments.pop_back();
            } else if (!absolute) {
                segments.push_back(segment);
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::string resolved = absolute ? "/" : "";
    for (const auto &segment : segments) {
        if (!resolved.empty() && resolved.back() != '/') {
            resolved += '/';
        }
        resolved += segment;
    }
    return resolved.empty() ? "." : resolved;
}

bool hasWildcard(const std::string &text)
{
    return text.find_first_of("*?") != std::string::npos;
}

bool wildcardMatch(const std::string &pattern, const std::string &name)
{
    if (pattern == "*.*") {
        return true;
    }
    if (pattern.size() > 1 && pattern.back() == '.') {
        // "name." and "*.": names without an extension.
        return name.find('.') == std::string::npos
            && wildcardMatch(pattern.substr(0, pattern.size() - 1), name);
    }
    return Matcher(pattern, name).match(0, 0);
}

} // namespace platform::shellpath
