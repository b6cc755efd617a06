#pragma once
// How an object of the class library reads paths: the Windows grammar
// (backslash, drive colon) or the POSIX one ("/", no drive). Each object is
// given its grammar when made; the default is the system's own.

enum class PathGrammar {
    Windows,
    Posix,
};

#ifdef _WIN32
inline constexpr PathGrammar NativePathGrammar = PathGrammar::Windows;
#else
inline constexpr PathGrammar NativePathGrammar = PathGrammar::Posix;
#endif
