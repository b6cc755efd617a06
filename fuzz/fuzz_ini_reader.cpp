// Every profile read on arbitrary file bytes, with arbitrary buffer sizes and
// names; then a write with plain names, which must read back.

#include "platform/emulation/profile_engine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace ini = platform::ini;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// A list in @p buffer of @p count bytes is well formed: items end in NUL and
// a final NUL follows (a cut list also ends in two NULs).
void checkList(const std::vector<char> &buffer, std::uint32_t count)
{
    if (buffer.size() < 2) {
        check(count == 0);
        return;
    }
    check(count <= buffer.size() - 2);
    check(buffer[count] == '\0');
    check(count == 0 || buffer[count - 1] == '\0' || count == buffer.size() - 2);
}

std::string plainName(FuzzedDataProvider &data)
{
    std::string name = data.ConsumeRandomLengthString(8);
    for (char &c : name) {
        c = "abcXYZ019_"[static_cast<unsigned char>(c) % 10];
    }
    return name.empty() ? "k" : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const std::size_t bufferSize = data.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string section = data.ConsumeRandomLengthString(16);
    const std::string key = data.ConsumeRandomLengthString(16);
    const std::string plainSection = plainName(data);
    const std::string plainKey = plainName(data);
    const std::string plainValue = plainName(data);
    const std::string text = data.ConsumeRemainingBytesAsString();

    std::vector<char> buffer(bufferSize, '\x7f');
    std::uint32_t n = ini::getString(text, section, key, "default", buffer);
    check(bufferSize == 0 ? n == 0 : n < bufferSize && buffer[n] == '\0');

    n = ini::getString(text, section, std::nullopt, std::nullopt, buffer);
    checkList(buffer, n);
    n = ini::getString(text, std::nullopt, key, std::nullopt, buffer);
    checkList(buffer, n);
    n = ini::getSection(text, section, buffer);
    checkList(buffer, n);
    n = ini::getSectionNames(text, buffer);
    checkList(buffer, n);
    ini::getInt(text, section, key, -7);

    // Edits on arbitrary bytes: whatever the file holds, a written value reads back.
    auto updated = ini::write(text, plainSection, plainKey, plainValue);
    if (updated) {
        std::vector<char> value(64);
        n = ini::getString(*updated, plainSection, plainKey, "", value);
        check(std::string(value.data(), n) == plainValue);
    } else {
        check(text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"));
    }
    ini::write(text, section, key, std::nullopt);
    ini::write(text, section, std::nullopt, std::nullopt);
    ini::write(text, section, key, plainValue);
    return 0;
}
