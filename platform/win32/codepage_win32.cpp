#include "platform/codepage.h"

#include <climits>
#include <stdexcept>
#include <windows.h>

namespace platform {
namespace {

bool isAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

int checkedLength(std::size_t size)
{
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("text too long for the code-page conversion");
    }
    return static_cast<int>(size);
}

// Returns false when @p flags make the conversion reject the input.
bool widen(UINT codePage, DWORD flags, std::string_view in, std::wstring &out)
{
    out.clear();
    if (in.empty()) {
        return true;
    }
    int length = checkedLength(in.size());
    int needed = ::MultiByteToWideChar(codePage, flags, in.data(), length, nullptr, 0);
    if (needed <= 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(needed));
    return ::MultiByteToWideChar(codePage, flags, in.data(), length, out.data(), needed) == needed;
}

std::string narrow(UINT codePage, std::wstring_view in)
{
    if (in.empty()) {
        return {};
    }
    // The code page's own default character is not always "?"; ask for it, except
    // where the system forbids a default character (UTF-8 as the ANSI code page).
    const char *defaultChar = codePage == CP_UTF8 || ::GetACP() == CP_UTF8 ? nullptr : "?";
    int length = checkedLength(in.size());
    int needed =
        ::WideCharToMultiByte(codePage, 0, in.data(), length, nullptr, 0, defaultChar, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(codePage, 0, in.data(), length, out.data(), needed, defaultChar, nullptr);
    return out;
}

// ANSI bytes to UTF-16. The system decoder turns undecodable bytes into
// characters of its own choosing (U+30FB in CP932), so bytes are decoded
// strictly and each one that does not decode becomes U+FFFD instead.
std::wstring decodeAnsi(std::string_view bytes)
{
    UINT acp = ::GetACP();
    std::wstring wide;
    if (acp == CP_UTF8) {
        widen(CP_UTF8, 0, bytes, wide); // replaces bad sequences with U+FFFD itself
        return wide;
    }
    if (widen(acp, MB_ERR_INVALID_CHARS, bytes, wide)) {
        return wide;
    }
    wide.clear();
    std::wstring one;
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto byte = static_cast<BYTE>(bytes[i]);
        std::size_t width = ::IsDBCSLeadByteEx(acp, byte) && i + 1 < bytes.size() ? 2 : 1;
        if (widen(acp, MB_ERR_INVALID_CHARS, bytes.substr(i, width), one)) {
            wide += one;
            i += width;
        } else {
            wide += L'\xFFFD';
            ++i;
        }
    }
    return wide;
}

} // namespace

std::string toAnsi(std::string_view text)
{
    if (isAscii(text)) {
        return std::string(text);
    }
    std::wstring wide;
    widen(CP_UTF8, 0, text, wide); // bad UTF-8 becomes U+FFFD, then "?"
    if (::GetACP() != CP_UTF8) {
        // No double-byte code page holds characters beyond the BMP; the system
        // would write one "?" per surrogate, the character is one.
        std::wstring bmp;
        bmp.reserve(wide.size());
        for (std::size_t i = 0; i < wide.size(); ++i) {
            bool pair =
                IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
            bmp += pair ? L'?' : wide[i];
            i += pair ? 1 : 0;
        }
        wide.swap(bmp);
    }
    return narrow(CP_ACP, wide);
}

std::string fromAnsi(std::string_view bytes)
{
    if (isAscii(bytes)) {
        return std::string(bytes);
    }
    return narrow(CP_UTF8, decodeAnsi(bytes));
}

std::int32_t ansiByteLength(std::string_view text)
{
    return static_cast<std::int32_t>(toAnsi(text).size());
}

namespace {

std::string mapCase(std::string_view text, DWORD(WINAPI *map)(LPWSTR, DWORD))
{
    std::wstring wide;
    widen(CP_UTF8, 0, text, wide);
    map(wide.data(), static_cast<DWORD>(wide.size()));
    return narrow(CP_UTF8, wide);
}

} // namespace

std::string upperCase(std::string_view text)
{
    return mapCase(text, ::CharUpperBuffW);
}

std::string lowerCase(std::string_view text)
{
    return mapCase(text, ::CharLowerBuffW);
}

} // namespace platform
