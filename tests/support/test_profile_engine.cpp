// The INI engine on bytes in memory: how Windows reads and writes profile files.

#include "platform/profile_engine.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
namespace ini = platform::ini;
using platform::ProfileText;

constexpr char Untouched = '\x7f';

struct ReadResult
{
    std::string text;
    std::uint32_t count;
};

ReadResult read(std::string_view file, ProfileText section, ProfileText key,
    ProfileText def = "DEF", std::size_t size = 256)
{
    std::string buffer(size, Untouched);
    std::uint32_t n = ini::getString(file, section, key, def, buffer);
    return { buffer.substr(0, n), n };
}

struct ReadCase
{
    const char *name;
    std::string file;
    std::string section;
    std::string key;
    std::string expected; // "DEF" is the default
};

void PrintTo(const ReadCase &c, std::ostream *os)
{
    *os << c.name;
}

class ReadTest : public ::testing::TestWithParam<ReadCase>
{ };

TEST_P(ReadTest, FindsTheValueAsWindowsDoes)
{
    const ReadCase &c = GetParam();
    std::string buffer(256, Untouched);
    std::uint32_t n = ini::getString(c.file, c.section, c.key, "DEF", buffer);
    EXPECT_EQ(buffer.substr(0, n), c.expected);
    EXPECT_EQ(buffer[n], '\0');
}

INSTANTIATE_TEST_SUITE_P(Files, ReadTest,
    ::testing::Values(
        ReadCase { "CrLf", "[Setting]\r\nStrVendorID=12AB\r\n", "Setting", "StrVendorID", "12AB" },
        ReadCase { "LfOnly", "[a]\nx=1\n[Setting]\nk=v\n", "Setting", "k", "v" },
        ReadCase { "CrOnly", "[a]\rx=1\r[Setting]\rk=v\r", "Setting", "k", "v" },
        ReadCase { "NoFinalLineEnd", "[s]\r\nk=v", "s", "k", "v" },
        ReadCase { "BlanksAroundEquals", "[s]\r\n  key  =  value  \r\n", "s", "key", "value" },
        ReadCase { "TabsAndVt", "\t[s]\t\r\n\tkey\t=\v value\t\r\n", "s", "key", "value" },
        ReadCase { "BlanksInsideBrackets", "[ s ]\r\nk=v\r\n", "s", "k", "v" },
        ReadCase { "TextAfterBracket", "[s] old name\r\nk=v\r\n", "s", "k", "v" },
        ReadCase { "HeaderWithoutBracket", "[s\r\nk=v\r\n", "s", "k", "v" },
        ReadCase { "BracketInName", "[a[b]\r\nk=v\r\n", "a[b", "k", "v" },
        ReadCase { "DoubleQuotes", "[s]\r\nk=\"  v  \"\r\n", "s", "k", "  v  " },
        ReadCase { "SingleQuotes", "[s]\r\nk='v'\r\n", "s", "k", "v" },
        ReadCase { "MismatchedQuotes", "[s]\r\nk=\"v'\r\n", "s", "k", "\"v'" },
        ReadCase { "OnlyOuterPair", "[s]\r\nk=\"\"v\"\"\r\n", "s", "k", "\"v\"" },
        ReadCase { "LoneQuote", "[s]\r\nk=\"\r\n", "s", "k", "\"" },
        ReadCase { "CommentSkipped", "[s]\r\n ;k=c\r\nk=v\r\n", "s", "k", "v" },
        ReadCase { "CommentNotAKey", "[s]\r\n;k=c\r\n", "s", ";k", "DEF" },
        ReadCase { "HashIsData", "[s]\r\n#k=v\r\n", "s", "#k", "v" },
        ReadCase { "SemicolonInValue", "[s]\r\nk=a;b\r\n", "s", "k", "a;b" },
        ReadCase { "EqualsInValue", "[s]\r\nk=a=b\r\n", "s", "k", "a=b" },
        ReadCase { "FirstDuplicateSection", "[s]\r\nk=1\r\n[S]\r\nk=2\r\n", "s", "k", "1" },
        ReadCase { "SecondSectionNotSearched", "[s]\r\na=1\r\n[s]\r\nb=2\r\n", "s", "b", "DEF" },
        ReadCase { "FirstDuplicateKey", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1" },
        ReadCase { "MixedCase", "[SeTTing]\r\nStrVENDORid=x\r\n", "setting", "STRvendorID", "x" },
        ReadCase { "KeepsValueCase", "[s]\r\nk=MiXeD\r\n", "s", "k", "MiXeD" },
        ReadCase { "KeyWithoutEquals", "[s]\r\nname3\r\n", "s", "name3", "DEF" },
        ReadCase { "EmptyValue", "[s]\r\nk=\r\n", "s", "k", "" },
        ReadCase { "MissingKey", "[s]\r\nk=v\r\n", "s", "other", "DEF" },
        ReadCase { "MissingSection", "[s]\r\nk=v\r\n", "t", "k", "DEF" },
        ReadCase { "KeyInOtherSection", "[s]\r\n[t]\r\nk=v\r\n", "s", "k", "DEF" },
        ReadCase { "BeforeFirstSection", "k=v\r\n[s]\r\n", "", "k", "DEF" },
        ReadCase { "EmptyKeyName", "[s]\r\n=v\r\n", "s", "", "DEF" },
        ReadCase { "ArgumentSpacesIgnored", "[s]\r\nk=v\r\n", "  s ", " k  ", "v" },
        ReadCase { "ArgumentTabsKept", "[s]\r\nk=v\r\n", "s", "\tk", "DEF" },
        ReadCase { "Utf8BomSkipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v" },
        ReadCase { "NulEndsTheLine", "[s]\r\nk=ab\0cd\r\nz=1\r\n"s, "s", "k", "ab" },
        ReadCase { "NulBeforeFirstSection", "\0\0\0[s]\r\nk=v\r\n"s, "s", "k", "DEF" },
        ReadCase {
            "FullWidthLatinFolds", "[\x82\x60\x82\x61]\r\nk=v\r\n", "\x82\x81\x82\x82", "k", "v" },
        ReadCase { "GreekFolds", "[s]\r\n\x83\x9F=v\r\n", "s", "\x83\xBF", "v" },
        ReadCase { "CyrillicFoldsPastTheGap", "[s]\r\n\x84\x60=v\r\n", "s", "\x84\x91", "v" },
        ReadCase { "TrailByteIsNoLetter", "[s]\r\n\x89\x41=v\r\n", "s", "\x89\x61", "DEF" },
        ReadCase {
            "DoubleByteValue", "[s]\r\nk=\x93\xfa\x96\x7b\r\n", "s", "k", "\x93\xfa\x96\x7b" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProfileRead, DefaultLosesTrailingSpacesOnly)
{
    EXPECT_EQ(read("", "s", "k", "default  ").text, "default");
    EXPECT_EQ(read("", "s", "k", " one two  ").text, " one two");
    EXPECT_EQ(read("", "s", "k", "tab\t").text, "tab\t");
    EXPECT_EQ(read("", "s", "k", std::nullopt).count, 0u);
}

struct CutCase
{
    std::size_t size;
    std::string expected;
};

void PrintTo(const CutCase &c, std::ostream *os)
{
    *os << "size " << c.size;
}

class ValueCutTest : public ::testing::TestWithParam<CutCase>
{ };

TEST_P(ValueCutTest, CutsToTheBufferAndTerminates)
{
    std::string buffer(GetParam().size, Untouched);
    std::uint32_t n = ini::getString("[s]\r\nk=val1\r\n", "s", "k", "", buffer);
    EXPECT_EQ(n, GetParam().expected.size());
    EXPECT_EQ(buffer.substr(0, n), GetParam().expected);
    EXPECT_EQ(buffer[n], '\0');
}

INSTANTIATE_TEST_SUITE_P(Sizes, ValueCutTest,
    ::testing::Values(
        CutCase { 5, "val1" }, CutCase { 4, "val" }, CutCase { 2, "v" }, CutCase { 1, "" }));

TEST(ProfileRead, ZeroSizeBufferIsLeftAlone)
{
    char c = Untouched;
    EXPECT_EQ(ini::getString("[s]\r\nk=v\r\n", "s", "k", "", std::span<char>(&c, 0)), 0u);
    EXPECT_EQ(c, Untouched);
}

TEST(ProfileRead, CutNeverSplitsADoubleByteCharacter)
{
    // "あい" in the code page: 82 A0 82 A2.
    const std::string file = "[s]\r\nk=\x82\xA0\x82\xA2\r\n";
    EXPECT_EQ(read(file, "s", "k", "", 4).text, "\x82\xA0");
    EXPECT_EQ(read(file, "s", "k", "", 5).text, "\x82\xA0\x82\xA2");
}

std::string bytes(const std::string &buffer, std::uint32_t n)
{
    return buffer.substr(0, n + 1);
}

struct ListCase
{
    const char *name;
    std::string file;
    std::size_t size;
    std::uint32_t count;
    std::string list; // the buffer up to and including the final NUL
};

void PrintTo(const ListCase &c, std::ostream *os)
{
    *os << c.name;
}

class SectionNamesTest : public ::testing::TestWithParam<ListCase>
{ };

TEST_P(SectionNamesTest, ListsNamesZeroSeparated)
{
    const ListCase &c = GetParam();
    std::string buffer(c.size, Untouched);
    std::uint32_t n = ini::getSectionNames(c.file, buffer);
    EXPECT_EQ(n, c.count);
    EXPECT_EQ(buffer.substr(0, c.list.size()), c.list);
    // The same list through GetPrivateProfileString with no section.
    std::string viaString(c.size, Untouched);
    EXPECT_EQ(ini::getString(c.file, std::nullopt, "ignored", "DEF", viaString), n);
    EXPECT_EQ(viaString, buffer);
}

const std::string ThreeSections = "[ section1 ]\r\n[section2]\r\n[section3]\r\n";

INSTANTIATE_TEST_SUITE_P(Files, SectionNamesTest,
    ::testing::Values(
        ListCase { "Fits", ThreeSections, 29, 27, "section1\0section2\0section3\0\0"s },
        ListCase {
            "ExactSizeCountsAsFull", ThreeSections, 28, 26, "section1\0section2\0section3\0\0"s },
        ListCase { "LastNameCut", ThreeSections, 27, 25, "section1\0section2\0section\0\0"s },
        ListCase { "TinyBuffer", ThreeSections, 2, 0, "\0\0"s },
        ListCase { "OneByte", ThreeSections, 1, 0, "\0"s },
        ListCase { "Empty", "", 10, 0, "\0\x7f"s },
        ListCase { "NoSections", "k=v\r\n; c\r\n", 10, 0, "\0\x7f"s },
        ListCase { "DuplicatesRepeated", "[a]\r\n[b]\r\n[A]\r\n", 64, 6, "a\0b\0A\0\0"s },
        ListCase { "EmptyNameLeftOut", "[]\r\n[a]\r\n", 64, 2, "a\0\0"s }),
    [](const auto &info) { return std::string(info.param.name); });

const std::string Section1 = "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\n; note\r\n\r\n"
                             "name4=\"val4\"\r\n[section3]\r\n=val5\r\n[empty]\r\n";

class SectionLinesTest : public ::testing::TestWithParam<ListCase>
{ };

TEST_P(SectionLinesTest, ListsKeyValueLines)
{
    const ListCase &c = GetParam();
    std::string buffer(c.size, Untouched);
    std::uint32_t n = ini::getSection(Section1, c.file, buffer);
    EXPECT_EQ(n, c.count);
    EXPECT_EQ(buffer.substr(0, c.list.size()), c.list);
}

// Here `file` holds the section asked for.
INSTANTIATE_TEST_SUITE_P(Sections, SectionLinesTest,
    ::testing::Values(
        ListCase { "Whole", "section1", 64, 35, "name1=val1\0name2=\0name3\0name4=val4\0\0"s },
        ListCase { "Cut", "section1", 24, 22, "name1=val1\0name2=\0name\0\0"s },
        ListCase { "EmptyKey", "SECTION3", 64, 6, "=val5\0\0"s },
        ListCase { "NoEntries", "empty", 64, 0, "\0\x7f"s },
        ListCase { "Missing", "nothere", 64, 0, "\0\x7f"s }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProfileRead, KeyNamesLeaveOutLinesWithoutEquals)
{
    std::string buffer(64, Untouched);
    std::uint32_t n = ini::getString(Section1, "section1", std::nullopt, "DEF", buffer);
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(bytes(buffer, n), "name1\0name2\0name4\0\0"s);

    std::string small(16, Untouched);
    n = ini::getString(Section1, "section1", std::nullopt, "DEF", small);
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(small, "name1\0name2\0na\0\0"s);
}

TEST(ProfileRead, ListCutNeverSplitsADoubleByteCharacter)
{
    std::string buffer(6, Untouched);
    // "[あいう]": the cut keeps whole characters only.
    std::uint32_t n = ini::getSectionNames("[\x82\xA0\x82\xA2\x82\xA4]\r\n", buffer);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(buffer.substr(0, 4), "\x82\xA0\x82\xA2\0\0"s.substr(0, 4));
    EXPECT_EQ(buffer[4], '\0');
}

struct IntCase
{
    const char *value;
    std::uint32_t expected;
};

void PrintTo(const IntCase &c, std::ostream *os)
{
    *os << '"' << c.value << '"';
}

class IntParseTest : public ::testing::TestWithParam<IntCase>
{ };

TEST_P(IntParseTest, ReadsLikeGetPrivateProfileInt)
{
    const std::string file = "[s]\r\nk=" + std::string(GetParam().value) + "\r\n";
    EXPECT_EQ(ini::getInt(file, "s", "k", 77), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, IntParseTest,
    ::testing::Values(IntCase { "42", 42 }, IntCase { "1", 1 }, IntCase { "+1", 1 },
        IntCase { "-1", 0 }, IntCase { "42A94967297", 42 }, IntCase { "B4294967297", 0 },
        IntCase { "4294967296", 0 }, IntCase { "4294967297", 1 }, IntCase { "-4294967297", 0 },
        IntCase { "-0", 0 }, IntCase { "2147483648", 0x80000000u }, IntCase { "  12  ", 12 },
        IntCase { "\"12\"", 12 }, IntCase { "0x10", 0 }, IntCase { "+-1", 0 }, IntCase { "", 77 },
        IntCase { "\"\"", 77 }));

TEST(ProfileInt, MissingKeySectionOrFileGivesTheDefault)
{
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

TEST(ProfileWrite, NewFileIsHeaderAndKeyWithCrLf)
{
    EXPECT_EQ(written("", "Setting", "StrVendorID", "12AB"), "[Setting]\r\nStrVendorID=12AB\r\n");
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
}

TEST(ProfileWrite, ExistingKeysKeepTheirPlaceAndNewOnesKeepCallOrder)
{
    std::string file = "[s]\r\nb=\r\na=\r\n";
    for (const char *key : { "z", "b", "y", "a" }) {
        file = written(file, "s", key, "");
    }
    EXPECT_EQ(file, "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n");
}

TEST(ProfileWrite, ReplacesTheValueKeepingTheLinesSpellingOfTheKey)
{
    EXPECT_EQ(written("[Sec]\r\n  Key = old  \r\nother=1\r\n", "SEC", "key", "New"),
        "[Sec]\r\n  Key =New\r\nother=1\r\n");
    EXPECT_EQ(written("[s]\nk=1\nj=2\n", "s", "k", "3"), "[s]\nk=3\nj=2\n");
    EXPECT_EQ(written("[s]\r\nname3\r\n", "s", "name3", "v"), "[s]\r\nname3=v\r\n");
    EXPECT_EQ(written("[s]\r\nk=old", "s", "k", "new"), "[s]\r\nk=new");
}

TEST(ProfileWrite, KeepsEveryUntouchedByte)
{
    const std::string before = "\0\0junk before any section\n"s;
    const std::string middle = "[Setting]\n; comment\t \r\n\r\n  a = 1 \r\n";
    const std::string after = "b=\"2\"  \n\r\n[Other]\rc=3\r\n\r\n";
    const std::string file = before + middle + "StrVendorID=old\r\n" + after;
    EXPECT_EQ(written(file, "setting", "strvendorid", "12AB"),
        before + middle + "StrVendorID=12AB\r\n" + after);
}

TEST(ProfileWrite, NewKeyGoesBeforeCommentsLeadingIntoTheNextSection)
{
    EXPECT_EQ(written("[a]\r\nk=1\r\n\r\n; about b\r\n[b]\r\nx=1\r\n", "a", "n", "2"),
        "[a]\r\nk=1\r\nn=2\r\n\r\n; about b\r\n[b]\r\nx=1\r\n");
    EXPECT_EQ(written("[a]\r\n; only a comment\r\n", "a", "n", "2"),
        "[a]\r\nn=2\r\n; only a comment\r\n");
}

TEST(ProfileWrite, FileWithoutFinalLineEndGetsOneFirst)
{
    EXPECT_EQ(written("[a]\r\nk=1", "a", "n", "2"), "[a]\r\nk=1\r\nn=2\r\n");
    EXPECT_EQ(written("[a]", "a", "n", "2"), "[a]\r\nn=2\r\n");
    EXPECT_EQ(written("[a]\r\nk=1", "b", "n", "2"), "[a]\r\nk=1\r\n[b]\r\nn=2\r\n");
}

TEST(ProfileWrite, WritesToTheFirstOfDuplicateSections)
{
    EXPECT_EQ(written("[s]\r\na=1\r\n[S]\r\nb=2\r\n", "s", "b", "3"),
        "[s]\r\na=1\r\nb=3\r\n[S]\r\nb=2\r\n");
}

TEST(ProfileWrite, ValueIsWrittenAsGivenAndArgumentSpacesAreNot)
{
    EXPECT_EQ(written("", " s ", " k ", " v "), "[s]\r\nk= v \r\n");
    EXPECT_EQ(written("", "s", "k", "\"q\""), "[s]\r\nk=\"q\"\r\n");
}

TEST(ProfileWrite, DeletesKeysAndSections)
{
    const std::string file = "[a]\r\nk=1\r\nj=2\r\n[b]\r\n; kept\r\nx=1\r\n\r\ny\r\n[c]\r\nz=1\r\n";
    EXPECT_EQ(written(file, "A", "K", std::nullopt),
        "[a]\r\nj=2\r\n[b]\r\n; kept\r\nx=1\r\n\r\ny\r\n"
        "[c]\r\nz=1\r\n");
    EXPECT_EQ(written(file, "b", std::nullopt, "ignored"),
        "[a]\r\nk=1\r\nj=2\r\n; kept\r\n\r\n"
        "[c]\r\nz=1\r\n");
    EXPECT_EQ(written(file, "c", std::nullopt, std::nullopt),
        "[a]\r\nk=1\r\nj=2\r\n[b]\r\n; kept\r\n"
        "x=1\r\n\r\ny\r\n");
    EXPECT_EQ(written("[a]\r\nk=1\r\n", "a", "k", std::nullopt), "[a]\r\n");
}

TEST(ProfileWrite, DeletingWhatIsMissingChangesNothing)
{
    const std::string file = "[a]\r\nk=1\r\n";
    EXPECT_EQ(written(file, "a", "missing", std::nullopt), file);
    EXPECT_EQ(written(file, "b", "k", std::nullopt), file);
    EXPECT_EQ(written(file, "b", std::nullopt, std::nullopt), file);
    EXPECT_EQ(written(file, "a", "", std::nullopt), file);
    EXPECT_EQ(written("", "a", "k", std::nullopt), "");
}

struct RefusedCase
{
    const char *name;
    std::string file;
    ProfileText section;
    ProfileText key;
    ProfileText value;
};

void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << c.name;
}

class RefusedWriteTest : public ::testing::TestWithParam<RefusedCase>
{ };

TEST_P(RefusedWriteTest, WouldNotReadBackSoIsRefused)
{
    const RefusedCase &c = GetParam();
    EXPECT_FALSE(ini::write(c.file, c.section, c.key, c.value).has_value());
}

INSTANTIATE_TEST_SUITE_P(Requests, RefusedWriteTest,
    ::testing::Values(RefusedCase { "NoSection", "", std::nullopt, "k", "v" },
        RefusedCase { "EmptySection", "", "  ", "k", "v" },
        RefusedCase { "EmptyKey", "", "s", "", "v" },
        RefusedCase { "BracketInSection", "", "a]b", "k", "v" },
        RefusedCase { "LineBreakInSection", "", "a\r\n[b", "k", "v" },
        RefusedCase { "EqualsInKey", "", "s", "a=b", "v" },
        RefusedCase { "KeyLooksLikeHeader", "", "s", "[x]", "v" },
        RefusedCase { "KeyLooksLikeComment", "", "s", ";k", "v" },
        RefusedCase { "LineBreakInKey", "", "s", "k\nx", "v" },
        RefusedCase { "LineBreakInValue", "", "s", "k", "v\r\n[evil]" },
        RefusedCase { "Utf16File", "\xFF\xFE[\0s\0]\0"s, "s", "k", "v" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProfileWrite, WhatIsWrittenReadsBack)
{
    std::string file = "; settings\r\n[Other]\r\nk=x\r\n";
    const std::vector<std::pair<std::string, std::string>> keys = { { "StrVendorID", "12AB" },
        { "StrPeroductID", "100" }, { "Name", "\x93\xfa\x96\x7b" }, { "Blank", "" },
        { "Quoted", "'  a  '" } };
    for (const auto &[key, value] : keys) {
        file = written(file, "Setting", key, value);
    }
    EXPECT_EQ(read(file, "Setting", "StrVendorID").text, "12AB");
    EXPECT_EQ(read(file, "Setting", "StrPeroductID").text, "100");
    EXPECT_EQ(read(file, "Setting", "Name").text, "\x93\xfa\x96\x7b");
    EXPECT_EQ(read(file, "Setting", "Blank").count, 0u);
    EXPECT_EQ(read(file, "Setting", "Quoted").text, "  a  ");
    EXPECT_EQ(read(file, "Other", "k").text, "x");
}

} // namespace
