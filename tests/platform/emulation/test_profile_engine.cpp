// The INI engine on bytes in memory: how Windows reads and writes profile files.

#include "platform/emulation/profile_engine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace std::string_literals;
namespace ini = platform::ini;
using platform::ProfileText;

constexpr char Untouched = '\x7f';

// What getString put in a buffer of @p size; the count must leave room for its terminator.
std::string read(std::string_view file, ProfileText section, ProfileText key,
    ProfileText def = "DEF", std::size_t size = 256)
{
    std::string buffer(size, Untouched);
    std::uint32_t n = ini::getString(file, section, key, def, buffer);
    EXPECT_EQ(buffer.at(n), '\0');
    return buffer.substr(0, n);
}

TEST(ProfileRead, FindsTheValueAsWindowsDoes)
{
    struct Case
    {
        const char *name;
        std::string file, section, key, expected; // "DEF" is the default
    };
    const Case cases[] = {
        { "CrLf", "[Setting]\r\nStrVendorID=12AB\r\n", "Setting", "StrVendorID", "12AB" },
        { "LfOnly", "[a]\nx=1\n[Setting]\nk=v\n", "Setting", "k", "v" },
        { "CrOnly", "[a]\rx=1\r[Setting]\rk=v\r", "Setting", "k", "v" },
        { "NoFinalLineEnd", "[s]\r\nk=v", "s", "k", "v" },
        { "BlanksAroundEquals", "[s]\r\n  key  =  value  \r\n", "s", "key", "value" },
        { "TabsAndVt", "\t[s]\t\r\n\tkey\t=\v value\t\r\n", "s", "key", "value" },
        { "BlanksInsideBrackets", "[ s ]\r\nk=v\r\n", "s", "k", "v" },
        { "TextAfterBracket", "[s] old name\r\nk=v\r\n", "s", "k", "v" },
        { "HeaderWithoutBracket", "[s\r\nk=v\r\n", "s", "k", "v" },
        { "BracketInName", "[a[b]\r\nk=v\r\n", "a[b", "k", "v" },
        { "DoubleQuotes", "[s]\r\nk=\"  v  \"\r\n", "s", "k", "  v  " },
        { "SingleQuotes", "[s]\r\nk='v'\r\n", "s", "k", "v" },
        { "MismatchedQuotes", "[s]\r\nk=\"v'\r\n", "s", "k", "\"v'" },
        { "OnlyOuterPair", "[s]\r\nk=\"\"v\"\"\r\n", "s", "k", "\"v\"" },
        { "LoneQuote", "[s]\r\nk=\"\r\n", "s", "k", "\"" },
        { "CommentSkipped", "[s]\r\n ;k=c\r\nk=v\r\n", "s", "k", "v" },
        { "CommentNotAKey", "[s]\r\n;k=c\r\n", "s", ";k", "DEF" },
        { "HashIsData", "[s]\r\n#k=v\r\n", "s", "#k", "v" },
        { "SemicolonInValue", "[s]\r\nk=a;b\r\n", "s", "k", "a;b" },
        { "EqualsInValue", "[s]\r\nk=a=b\r\n", "s", "k", "a=b" },
        { "FirstDuplicateSection", "[s]\r\nk=1\r\n[S]\r\nk=2\r\n", "s", "k", "1" },
        { "SecondSectionNotSearched", "[s]\r\na=1\r\n[s]\r\nb=2\r\n", "s", "b", "DEF" },
        { "FirstDuplicateKey", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1" },
        { "MixedCase", "[SeTTing]\r\nStrVENDORid=x\r\n", "setting", "STRvendorID", "x" },
        { "KeepsValueCase", "[s]\r\nk=MiXeD\r\n", "s", "k", "MiXeD" },
        { "KeyWithoutEquals", "[s]\r\nname3\r\n", "s", "name3", "DEF" },
        { "EmptyValue", "[s]\r\nk=\r\n", "s", "k", "" },
        { "MissingKey", "[s]\r\nk=v\r\n", "s", "other", "DEF" },
        { "MissingSection", "[s]\r\nk=v\r\n", "t", "k", "DEF" },
        { "KeyInOtherSection", "[s]\r\n[t]\r\nk=v\r\n", "s", "k", "DEF" },
        { "BeforeFirstSection", "k=v\r\n[s]\r\n", "", "k", "DEF" },
        { "EmptyKeyName", "[s]\r\n=v\r\n", "s", "", "DEF" },
        { "ArgumentSpacesIgnored", "[s]\r\nk=v\r\n", "  s ", " k  ", "v" },
        { "ArgumentTabsKept", "[s]\r\nk=v\r\n", "s", "\tk", "DEF" },
        { "Utf8BomSkipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v" },
        { "NulEndsTheLine", "[s]\r\nk=ab\0cd\r\nz=1\r\n"s, "s", "k", "ab" },
        { "NulBeforeFirstSection", "\0\0\0[s]\r\nk=v\r\n"s, "s", "k", "DEF" },
        { "FullWidthLatinFolds", "[\x82\x60\x82\x61]\r\nk=v\r\n", "\x82\x81\x82\x82", "k", "v" },
        { "GreekFolds", "[s]\r\n\x83\x9F=v\r\n", "s", "\x83\xBF", "v" },
        { "CyrillicFoldsPastTheGap", "[s]\r\n\x84\x60=v\r\n", "s", "\x84\x91", "v" },
        { "TrailByteIsNoLetter", "[s]\r\n\x89\x41=v\r\n", "s", "\x89\x61", "DEF" },
        { "DoubleByteValue", "[s]\r\nk=\x93\xfa\x96\x7b\r\n", "s", "k", "\x93\xfa\x96\x7b" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(c.file, c.section, c.key), c.expected);
    }
}

TEST(ProfileRead, DefaultLosesTrailingSpacesOnly)
{
    EXPECT_EQ(read("", "s", "k", "default  "), "default");
    EXPECT_EQ(read("", "s", "k", " one two  "), " one two");
    EXPECT_EQ(read("", "s", "k", "tab\t"), "tab\t");
    EXPECT_EQ(read("", "s", "k", std::nullopt), "");
}

TEST(ProfileRead, ValueIsCutToTheBufferWithoutSplittingACharacter)
{
    const std::string file = "[s]\r\nk=val1\r\n";
    const std::string wide = "[s]\r\nk=\x82\xA0\x82\xA2\r\n"; // "あい"
    EXPECT_EQ(read(file, "s", "k", "", 5), "val1");
    EXPECT_EQ(read(file, "s", "k", "", 4), "val");
    EXPECT_EQ(read(file, "s", "k", "", 2), "v");
    EXPECT_EQ(read(file, "s", "k", "", 1), "");
    EXPECT_EQ(read(wide, "s", "k", "", 4), "\x82\xA0");
    EXPECT_EQ(read(wide, "s", "k", "", 5), "\x82\xA0\x82\xA2");
    char c = Untouched;
    EXPECT_EQ(ini::getString(file, "s", "k", "", std::span<char>(&c, 0)), 0u);
    EXPECT_EQ(c, Untouched);
}

// Lists are compared up to and including their final NUL.
struct ListCase
{
    const char *name;
    std::string source; // the file, or the section asked for
    std::size_t size;
    std::uint32_t count;
    std::string list;
};

TEST(ProfileList, SectionNamesZeroSeparatedAndCut)
{
    const std::string three = "[ section1 ]\r\n[section2]\r\n[section3]\r\n";
    const ListCase cases[] = {
        { "Fits", three, 29, 27, "section1\0section2\0section3\0\0"s },
        { "ExactSizeCountsAsFull", three, 28, 26, "section1\0section2\0section3\0\0"s },
        { "LastNameCut", three, 27, 25, "section1\0section2\0section\0\0"s },
        { "TinyBuffer", three, 2, 0, "\0\0"s },
        { "OneByte", three, 1, 0, "\0"s },
        { "Empty", "", 10, 0, "\0\x7f"s },
        { "NoSections", "k=v\r\n; c\r\n", 10, 0, "\0\x7f"s },
        { "DuplicatesRepeated", "[a]\r\n[b]\r\n[A]\r\n", 64, 6, "a\0b\0A\0\0"s },
        { "EmptyNameLeftOut", "[]\r\n[a]\r\n", 64, 2, "a\0\0"s },
        { "CutKeepsWholeCharacters", "[\x82\xA0\x82\xA2\x82\xA4]\r\n", 6, 4,
            "\x82\xA0\x82\xA2\0"s },
    };
    for (const ListCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::string buffer(c.size, Untouched);
        EXPECT_EQ(ini::getSectionNames(c.source, buffer), c.count);
        EXPECT_EQ(buffer.substr(0, c.list.size()), c.list);
        // The same list through GetPrivateProfileString with no section.
        std::string viaString(c.size, Untouched);
        EXPECT_EQ(ini::getString(c.source, std::nullopt, "ignored", "DEF", viaString), c.count);
        EXPECT_EQ(viaString, buffer);
    }
}

TEST(ProfileList, SectionLinesAndKeyNames)
{
    const std::string file = "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\n; note\r\n\r\n"
                             "name4=\"val4\"\r\n[section3]\r\n=val5\r\n[empty]\r\n";
    const ListCase lines[] = {
        { "Whole", "section1", 64, 35, "name1=val1\0name2=\0name3\0name4=val4\0\0"s },
        { "Cut", "section1", 24, 22, "name1=val1\0name2=\0name\0\0"s },
        { "EmptyKey", "SECTION3", 64, 6, "=val5\0\0"s },
        { "NoEntries", "empty", 64, 0, "\0\x7f"s },
        { "Missing", "nothere", 64, 0, "\0\x7f"s },
    };
    for (const ListCase &c : lines) {
        std::string buffer(c.size, Untouched);
        EXPECT_EQ(ini::getSection(file, c.source, buffer), c.count) << c.name;
        EXPECT_EQ(buffer.substr(0, c.list.size()), c.list) << c.name;
    }
    // Key names leave out lines without "=".
    std::string buffer(64, Untouched);
    EXPECT_EQ(ini::getString(file, "section1", std::nullopt, "DEF", buffer), 18u);
    EXPECT_EQ(buffer.substr(0, 19), "name1\0name2\0name4\0\0"s);
    std::string small(16, Untouched);
    EXPECT_EQ(ini::getString(file, "section1", std::nullopt, "DEF", small), 14u);
    EXPECT_EQ(small, "name1\0name2\0na\0\0"s);
}

TEST(ProfileInt, ReadsLikeGetPrivateProfileInt)
{
    const std::pair<const char *, std::uint32_t> cases[] = { { "42", 42 }, { "1", 1 }, { "+1", 1 },
        { "-1", 0 }, { "42A94967297", 42 }, { "B4294967297", 0 }, { "4294967296", 0 },
        { "4294967297", 1 }, { "-4294967297", 0 }, { "-0", 0 }, { "2147483648", 0x80000000u },
        { "  12  ", 12 }, { "\"12\"", 12 }, { "0x10", 0 }, { "+-1", 0 }, { "", 77 },
        { "\"\"", 77 } };
    for (auto [value, expected] : cases) {
        const std::string file = "[s]\r\nk=" + std::string(value) + "\r\n";
        EXPECT_EQ(ini::getInt(file, "s", "k", 77), expected) << value;
    }
    EXPECT_EQ(ini::getInt("[s]\r\nk=5\r\n", "s", "x", -3), static_cast<std::uint32_t>(-3));
    EXPECT_EQ(ini::getInt("[s]\r\nk=5\r\n", "t", "k", 9), 9u);
    EXPECT_EQ(ini::getInt("", "s", "k", 9), 9u);
    EXPECT_EQ(ini::getInt("[s]\r\nk\r\n", "s", "k", 9), 9u);
}

// ---- writing

std::string written(std::string_view file, ProfileText section, ProfileText key, ProfileText value)
{
    auto out = ini::write(file, section, key, value);
    EXPECT_TRUE(out.has_value());
    return out.value_or("<refused>");
}

TEST(ProfileWrite, EditsTheFileAsWindowsDoes)
{
    const std::string head = "\0\0junk before any section\n[Setting]\n; comment\t \r\n\r\n"
                             "  a = 1 \r\n"s;
    const std::string tail = "b=\"2\"  \n\r\n[Other]\rc=3\r\n\r\n";
    const std::string abc = "[a]\r\nk=1\r\nj=2\r\n[b]\r\n; kept\r\nx=1\r\n\r\ny\r\n[c]\r\nz=1\r\n";
    const std::string a = "[a]\r\nk=1\r\n";
    struct Case
    {
        const char *name;
        std::string before;
        ProfileText section, key, value;
        std::optional<std::string> after; // none: refused, as it would not read back
    };
    const Case cases[] = {
        { "NewFile", "", "Setting", "StrVendorID", "12AB", "[Setting]\r\nStrVendorID=12AB\r\n" },
        { "KeepsTheKeysSpelling", "[Sec]\r\n  Key = old  \r\nother=1\r\n", "SEC", "key", "New",
            "[Sec]\r\n  Key =New\r\nother=1\r\n" },
        { "KeepsLfLines", "[s]\nk=1\nj=2\n", "s", "k", "3", "[s]\nk=3\nj=2\n" },
        { "KeyWithoutEqualsGetsOne", "[s]\r\nname3\r\n", "s", "name3", "v", "[s]\r\nname3=v\r\n" },
        { "ReplacesTheLastLine", "[s]\r\nk=old", "s", "k", "new", "[s]\r\nk=new" },
        { "KeepsEveryUntouchedByte", head + "StrVendorID=old\r\n" + tail, "setting", "strvendorid",
            "12AB", head + "StrVendorID=12AB\r\n" + tail },
        { "NewKeyBeforeCommentsOfTheNextSection", "[a]\r\nk=1\r\n\r\n; about b\r\n[b]\r\nx=1\r\n",
            "a", "n", "2", "[a]\r\nk=1\r\nn=2\r\n\r\n; about b\r\n[b]\r\nx=1\r\n" },
        { "NewKeyBeforeALoneComment", "[a]\r\n; only a comment\r\n", "a", "n", "2",
            "[a]\r\nn=2\r\n; only a comment\r\n" },
        { "FinalLineEndAddedForAKey", "[a]\r\nk=1", "a", "n", "2", "[a]\r\nk=1\r\nn=2\r\n" },
        { "FinalLineEndAddedAfterHeader", "[a]", "a", "n", "2", "[a]\r\nn=2\r\n" },
        { "FinalLineEndAddedForASection", "[a]\r\nk=1", "b", "n", "2",
            "[a]\r\nk=1\r\n[b]\r\nn=2\r\n" },
        { "FirstOfDuplicateSections", "[s]\r\na=1\r\n[S]\r\nb=2\r\n", "s", "b", "3",
            "[s]\r\na=1\r\nb=3\r\n[S]\r\nb=2\r\n" },
        { "ValueAsGivenArgumentsTrimmed", "", " s ", " k ", " v ", "[s]\r\nk= v \r\n" },
        { "QuotesWrittenAsGiven", "", "s", "k", "\"q\"", "[s]\r\nk=\"q\"\r\n" },
        { "DeleteKey", abc, "A", "K", std::nullopt,
            "[a]\r\nj=2\r\n[b]\r\n; kept\r\nx=1\r\n\r\ny\r\n[c]\r\nz=1\r\n" },
        { "DeleteSectionKeepsComments", abc, "b", std::nullopt, "ignored",
            "[a]\r\nk=1\r\nj=2\r\n; kept\r\n\r\n[c]\r\nz=1\r\n" },
        { "DeleteLastSection", abc, "c", std::nullopt, std::nullopt,
            "[a]\r\nk=1\r\nj=2\r\n[b]\r\n; kept\r\nx=1\r\n\r\ny\r\n" },
        { "DeleteOnlyKey", a, "a", "k", std::nullopt, "[a]\r\n" },
        { "DeleteMissingKey", a, "a", "missing", std::nullopt, a },
        { "DeleteKeyOfMissingSection", a, "b", "k", std::nullopt, a },
        { "DeleteMissingSection", a, "b", std::nullopt, std::nullopt, a },
        { "DeleteEmptyKey", a, "a", "", std::nullopt, a },
        { "DeleteInEmptyFile", "", "a", "k", std::nullopt, "" },
        { "NoSection", "", std::nullopt, "k", "v", std::nullopt },
        { "EmptySection", "", "  ", "k", "v", std::nullopt },
        { "EmptyKey", "", "s", "", "v", std::nullopt },
        { "BracketInSection", "", "a]b", "k", "v", std::nullopt },
        { "LineBreakInSection", "", "a\r\n[b", "k", "v", std::nullopt },
        { "EqualsInKey", "", "s", "a=b", "v", std::nullopt },
        { "KeyLooksLikeHeader", "", "s", "[x]", "v", std::nullopt },
        { "KeyLooksLikeComment", "", "s", ";k", "v", std::nullopt },
        { "LineBreakInKey", "", "s", "k\nx", "v", std::nullopt },
        { "LineBreakInValue", "", "s", "k", "v\r\n[evil]", std::nullopt },
        { "Utf16File", "\xFF\xFE[\0s\0]\0"s, "s", "k", "v", std::nullopt },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ini::write(c.before, c.section, c.key, c.value), c.after) << c.name;
    }
}

TEST(ProfileWrite, NewSectionsAreAppendedAndNewKeysFollowTheLastKey)
{
    std::string file;
    file = written(file, "App1", "key1", "string1");
    file = written(file, "App1", "key2", "string2");
    file = written(file, "App1", "key3", "string3");
    file = written(file, "App2", "key4", "string4");
    file = written(file, "App1", "key2", std::nullopt);
    file = written(file, "App3", "key5", "string5");
    EXPECT_EQ(file,
        "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
        "[App3]\r\nkey5=string5\r\n");
    // Existing keys keep their place; new ones keep call order.
    file = "[s]\r\nb=\r\na=\r\n";
    for (const char *key : { "z", "b", "y", "a" }) {
        file = written(file, "s", key, "");
    }
    EXPECT_EQ(file, "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n");
}

TEST(ProfileWrite, WhatIsWrittenReadsBack)
{
    std::string file = "; settings\r\n[Other]\r\nk=x\r\n";
    const char *const keys[][3] = { { "StrVendorID", "12AB", "12AB" },
        { "StrPeroductID", "100", "100" }, { "Name", "\x93\xfa\x96\x7b", "\x93\xfa\x96\x7b" },
        { "Blank", "", "" }, { "Quoted", "'  a  '", "  a  " } };
    for (const auto &[key, value, readsAs] : keys) {
        file = written(file, "Setting", key, value);
    }
    for (const auto &[key, value, readsAs] : keys) {
        EXPECT_EQ(read(file, "Setting", key), readsAs) << key;
    }
    EXPECT_EQ(read(file, "Other", "k"), "x");
}

} // namespace
