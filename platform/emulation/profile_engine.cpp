// The INI engine's readers: the Get calls on a file's bytes, and the
// zero-separated lists they fill the way the Windows calls do, double-byte
// characters never cut in two.

#include "platform/emulation/profile_engine.h"
#include "platform/emulation/profile_lines.h"

#include <algorithm>
#include <cstring>

namespace platform::ini {
namespace {

std::optional<std::string_view> findValue(
    std::string_view text, std::string_view section, std::string_view key)
{
    if (section.empty() || key.empty()) {
        return std::nullopt;
    }
    auto entry = findEntry(text, section, key);
    if (!entry || !entry->hasValue) {
        return std::nullopt;
    }
    return unquote(entry->value);
}

// Fills a caller's buffer with a zero-separated list the way the profile
// functions do: each item and its NUL while there is room for more, then a
// final NUL. An item that does not fit is cut, followed by two NULs, and the
// count is the buffer size minus two. Empty items are left out, since they
// would end the list early.
class ListWriter
{
public:
    explicit ListWriter(std::span<char> buffer)
        : buffer_(buffer), room_(buffer.empty() ? 0 : buffer.size() - 1)
    { }

    /// Adds @p item; false once the list is full.
    bool add(std::string_view item)
    {
        if (full_ || buffer_.size() < 2) {
            full_ = true;
            return false;
        }
        if (item.empty()) {
            return true;
        }
        if (item.size() + 1 >= room_) {
            std::size_t keep = wholeCharacters(item, room_ - 1);
            std::memcpy(buffer_.data() + pos_, item.data(), keep);
            buffer_[pos_ + keep] = '\0';
            buffer_[pos_ + keep + 1] = '\0';
            full_ = true;
            return false;
        }
        std::memcpy(buffer_.data() + pos_, item.data(), item.size());
        buffer_[pos_ + item.size()] = '\0';
        pos_ += item.size() + 1;
        room_ -= item.size() + 1;
        return true;
    }

    std::uint32_t finish()
    {
        if (buffer_.empty()) {
            return 0;
        }
        if (buffer_.size() == 1) {
            buffer_[0] = '\0';
            return 0;
        }
        if (full_) {
            return static_cast<std::uint32_t>(buffer_.size() - 2);
        }
        buffer_[pos_] = '\0';
        return static_cast<std::uint32_t>(pos_);
    }

private:
    std::span<char> buffer_;
    std::size_t room_; // bytes left, not counting the list's final NUL
    std::size_t pos_ = 0;
    bool full_ = false;
};

std::uint32_t keyNames(std::string_view text, std::string_view section, std::span<char> buffer)
{
    ListWriter list(buffer);
    if (!section.empty()) {
        forEachLineOfSection(text, section, [&](const Line &line) {
            return line.kind != Kind::Entry || !line.hasValue || list.add(line.name);
        });
    }
    return list.finish();
}

} // namespace

std::uint32_t parseInt(std::string_view value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    std::uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    }
    // The console's contract for this call: a negative value reads as 0.
    return negative ? 0u : result;
}

std::uint32_t getString(std::string_view text, ProfileText section, ProfileText key,
    ProfileText defaultValue, std::span<char> buffer)
{
    if (buffer.empty()) {
        return 0;
    }
    if (!section) {
        return getSectionNames(text, buffer);
    }
    std::string_view sectionName = nameArgument(*section);
    if (!key) {
        return keyNames(text, sectionName, buffer);
    }
    std::string_view result =
        findValue(text, sectionName, nameArgument(*key))
            .value_or(trimEndSpaces(defaultValue ? cutAtNul(*defaultValue) : ""));
    std::size_t n = wholeCharacters(result, buffer.size() - 1);
    std::memcpy(buffer.data(), result.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

std::uint32_t getInt(std::string_view text, std::string_view section, std::string_view key,
    std::int32_t defaultValue)
{
    auto value = findValue(text, nameArgument(section), nameArgument(key));
    if (!value || value->empty()) {
        return static_cast<std::uint32_t>(defaultValue);
    }
    return parseInt(*value);
}

std::uint32_t getSection(std::string_view text, std::string_view section, std::span<char> buffer)
{
    ListWriter list(buffer);
    std::string_view name = nameArgument(section);
    std::string item;
    if (!name.empty()) {
        forEachLineOfSection(text, name, [&](const Line &line) {
            if (line.kind != Kind::Entry) {
                return true;
            }
            item.assign(line.name);
            if (line.hasValue) {
                item.push_back('=');
                item.append(unquote(line.value));
            }
            return list.add(item);
        });
    }
    return list.finish();
}

std::uint32_t getSectionNames(std::string_view text, std::span<char> buffer)
{
    ListWriter list(buffer);
    LineReader reader(text);
    Line line;
    while (reader.next(line)) {
        if (line.kind == Kind::Header && !list.add(line.name)) {
            break;
        }
    }
    return list.finish();
}

} // namespace platform::ini
