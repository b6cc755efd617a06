#pragma once
// Walking UTF-8 text one character at a time, for code that counts or maps
// characters rather than bytes.

#include <cstddef>
#include <string_view>

namespace platform {

/// Calls @p visit with each character of @p text (a malformed or cut byte
/// sequence counts as one byte); stops when @p visit returns false.
template<class Visit> void forEachUtf8Character(std::string_view text, Visit &&visit)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + len > text.size()) {
            len = 1;
        }
        if (!visit(text.substr(i, len))) {
            return;
        }
        i += len;
    }
}

} // namespace platform
