// clsRegEdit on the registry of each platform: the Linux store, and under Wine
// Wine's registry. Rows where Wine is known to differ from Windows run on Linux
// only, with the reason beside them.
#include "registry_rig.h"

#include <algorithm>
#include <limits>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

class clsRegEditTest : public RegistryRig
{ };

TEST_F(clsRegEditTest, WithoutARootKeyEveryMemberFails)
{
    for (std::int32_t root : { 0, 12345 }) {
        clsRegEdit reg;
        reg.RegKey(root);
        reg.SubKey(base);
        Names names { "kept" };
        EXPECT_EQ(reg.EnumValueName(names), 0);
        EXPECT_EQ(reg.EnumSubKey(names), 0);
        EXPECT_EQ(names, Names { "kept" });
        EXPECT_FALSE(reg.SetString("v", "x"));
        EXPECT_FALSE(reg.SetDWORD("v", 1));
        EXPECT_FALSE(reg.SetBinary("v", Bytes { 1 }, 1));
        EXPECT_EQ(reg.GetString("v", "default"), "default");
        EXPECT_EQ(reg.GetDWORD("v", 7), 7);
        Bytes bytes { 1, 2 };
        EXPECT_EQ(reg.GetBinary("v", bytes), 0);
        EXPECT_TRUE(bytes.empty());
        EXPECT_FALSE(reg.DeleteValueName("v"));
        EXPECT_FALSE(reg.DeleteSubKey("k"));
    }
    EXPECT_EQ(at().GetString("v", "d"), "d"); // nothing was written
}

TEST_F(clsRegEditTest, ValuesReadBackAsWritten)
{
    const clsRegEdit reg = at();
    ASSERT_TRUE(reg.SetString("Text", "値 1.2"));
    ASSERT_TRUE(reg.SetString("", "unnamed"));
    ASSERT_TRUE(reg.SetString("Empty", ""));
    ASSERT_TRUE(reg.SetString("ab", "ab"));
    ASSERT_TRUE(reg.SetDWORD("Minus", -1));
    ASSERT_TRUE(reg.SetDWORD("Min", std::numeric_limits<std::int32_t>::min()));
    ASSERT_TRUE(reg.SetBinary("Bin", Bytes { 0, 1, 0, 255 }, 4));
    ASSERT_TRUE(reg.SetBinary("Part", Bytes { 1, 2, 3 }, 2));
    ASSERT_TRUE(reg.SetBinary("Zero", Bytes { 9 }, 0));
    EXPECT_EQ(reg.GetString("Text", "d"), "値 1.2");
    EXPECT_EQ(reg.GetString("", "d"), "unnamed");
    EXPECT_EQ(reg.GetString("Empty", "d"), "");
    EXPECT_EQ(reg.GetString("Missing", "d"), "d");
    EXPECT_EQ(reg.GetDWORD("Minus", 0), -1);
    EXPECT_EQ(reg.GetDWORD("Min", 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(reg.GetDWORD("Missing", 5), 5);
    Bytes bytes;
    EXPECT_EQ(reg.GetBinary("Bin", bytes), 4);
    EXPECT_EQ(bytes, (Bytes { 0, 1, 0, 255 }));
    EXPECT_EQ(reg.GetBinary("Part", bytes), 2);
    EXPECT_EQ(bytes, (Bytes { 1, 2 }));
    bytes = { 7 };
    EXPECT_EQ(reg.GetBinary("Zero", bytes), 0); // an empty value gives an empty array
    EXPECT_TRUE(bytes.empty());
    // Types are not checked: a number read as text, a text as a number over the default.
    ASSERT_TRUE(reg.SetDWORD("Text", 65));
    EXPECT_EQ(reg.GetString("Text", "d"), "A");
    EXPECT_EQ(reg.GetDWORD("ab", 0x11223344), 0x11006261); // "ab" NUL over the default
    EXPECT_EQ(reg.GetDWORD("Bin", 0), 0xFF000100);
    EXPECT_EQ(reg.GetDWORD("Part", 0x11223344), 0x11220201);
    EXPECT_EQ(reg.GetString("Bin", "d"), ""); // up to the first NUL
    EXPECT_EQ(at("missing key").GetString("Text", "d"), "d");
    EXPECT_EQ(at("missing key").GetDWORD("Minus", 3), 3);
}

TEST_F(clsRegEditTest, WritersCreateMissingKeysEvenWhenTheWriteFails)
{
    EXPECT_TRUE(at("a\\b\\c").SetDWORD("n", 1));
    Names names;
    EXPECT_EQ(at("a").EnumSubKey(names), 1);
    EXPECT_EQ(names, Names { "b" });
    EXPECT_FALSE(at("x\\y").SetBinary("v", Bytes {}, 0)); // an empty array
    EXPECT_FALSE(at("x\\z").SetBinary("v", Bytes { 1 }, 2)); // beyond the array
    EXPECT_FALSE(at("x\\w").SetBinary("v", Bytes { 1 }, -1));
    EXPECT_EQ(at("x").EnumSubKey(names), 3);
    EXPECT_EQ(names, (Names { "w", "y", "z" }));
    EXPECT_EQ(at("x\\y").EnumValueName(names), 0);
}

TEST_F(clsRegEditTest, NamesMatchIgnoringCaseAndKeepTheirSpelling)
{
    ASSERT_TRUE(at().SetString("Name", "1"));
    ASSERT_TRUE(at().SetString("NAME", "2"));
    ASSERT_TRUE(at("KeyA").SetDWORD("v", 1));
    ASSERT_TRUE(at("KEYA").SetDWORD("V", 2));
    // Beyond ASCII: Greek, Cyrillic and full-width letters (all in code page 932).
    ASSERT_TRUE(at("ΑΒΓ").SetString("ДОК", "x"));
    ASSERT_TRUE(at("ＡＢＣ").SetDWORD("ｖａｌ", 3));
    EXPECT_EQ(at().GetString("name", "d"), "2");
    EXPECT_EQ(at("keya").GetDWORD("v", 0), 2);
    EXPECT_EQ(at("αβγ").GetString("док", "d"), "x");
    EXPECT_EQ(at("ａｂｃ").GetDWORD("ＶＡＬ", 0), 3);
    Names names;
    EXPECT_EQ(at().EnumValueName(names), 1);
    EXPECT_EQ(names, Names { "Name" });
    EXPECT_EQ(at("keya").EnumValueName(names), 1);
    EXPECT_EQ(names, Names { "v" });
    EXPECT_EQ(at().EnumSubKey(names), 3);
    EXPECT_EQ(names, (Names { "KeyA", "ΑΒΓ", "ＡＢＣ" }));
    EXPECT_TRUE(at().DeleteValueName("nAmE"));
    EXPECT_TRUE(at().DeleteSubKey("ａｂｃ"));
}

TEST_F(clsRegEditTest, SubkeysEnumerateAlphabeticallyIgnoringCase)
{
    for (const char *name : { "b", "C", "ab", "a", "Ba" }) {
        ASSERT_TRUE(at(name).SetDWORD("v", 1));
    }
    Names names { "1", "2", "3", "4", "5", "6", "7" };
    EXPECT_EQ(at().EnumSubKey(names), 5);
    EXPECT_EQ(names, (Names { "a", "ab", "b", "Ba", "C" }));
#ifndef _WIN32
    // Windows compares names in capitals ("AB" before "A_", as "B" sorts before "_"):
    // hives keep subkey lists sorted by the upper-cased names. Wine compares them
    // in small letters and puts "A_" first.
    ASSERT_TRUE(at("sorted\\ab").SetDWORD("v", 1));
    ASSERT_TRUE(at("sorted\\A_").SetDWORD("v", 1));
    EXPECT_EQ(at("sorted").EnumSubKey(names), 2);
    EXPECT_EQ(names, (Names { "ab", "A_" }));
    // Values keep their creation order, as on Windows; Wine sorts them by name.
    for (const char *name : { "z", "a", "M" }) {
        ASSERT_TRUE(at().SetDWORD(name, 1));
    }
    ASSERT_TRUE(at().SetDWORD("Z", 2)); // rewriting keeps the place
    EXPECT_EQ(at().EnumValueName(names), 3);
    EXPECT_EQ(names, (Names { "z", "a", "M" }));
#endif
}

TEST_F(clsRegEditTest, BufferLimitsAreResults)
{
    const std::string x79(79, 'x');
    for (const std::string &name : Names { "a1", "b" + x79, "c1" }) {
        ASSERT_TRUE(at("long").SetDWORD(name, 1));
        ASSERT_TRUE(at("long\\" + name).SetDWORD("v", 1));
    }
    Names names;
    // A name of 80 characters does not fit the 80-character buffer and ends the enumeration.
    EXPECT_EQ(at("long").EnumValueName(names), 1);
    EXPECT_EQ(at("long").EnumSubKey(names), 1);
    EXPECT_EQ(names, Names { "a1" });
    ASSERT_TRUE(at("fits").SetDWORD(std::string(79, 'y'), 1));
    EXPECT_EQ(at("fits").EnumValueName(names), 1);
    EXPECT_EQ(names, Names { std::string(79, 'y') });

    const clsRegEdit reg = at();
    std::string ja2047;
    for (int i = 0; i < 2047; ++i) {
        ja2047 += "あ";
    }
    // Texts are measured in code-page bytes with their NUL, against 4096.
    ASSERT_TRUE(reg.SetString("4095", std::string(4095, 't')));
    ASSERT_TRUE(reg.SetString("4096", std::string(4096, 't')));
    ASSERT_TRUE(reg.SetString("ja4095", ja2047));
    ASSERT_TRUE(reg.SetString("ja4097", ja2047 + "あ"));
    EXPECT_EQ(reg.GetString("4095", "d"), std::string(4095, 't'));
    EXPECT_EQ(reg.GetString("4096", "d"), "d");
    EXPECT_EQ(reg.GetString("ja4095", "d"), ja2047);
    EXPECT_EQ(reg.GetString("ja4097", "d"), "d");

    ASSERT_TRUE(reg.SetBinary("b4096", Bytes(4096, 1), 4096));
    ASSERT_TRUE(reg.SetBinary("b4097", Bytes(4097, 1), 4097));
    Bytes bytes;
    EXPECT_EQ(reg.GetBinary("b4096", bytes), 4096);
    EXPECT_EQ(bytes, Bytes(4096, 1));
    EXPECT_EQ(reg.GetBinary("b4097", bytes), 0);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(reg.GetDWORD("b4096", 9), 9); // longer than four bytes
}

TEST_F(clsRegEditTest, DeletesOnlyWhatIsThereAndOnlyLeafKeys)
{
    ASSERT_TRUE(at("tree\\leaf").SetString("v", "1"));
    ASSERT_TRUE(at("tree").SetString("v", "1"));
    EXPECT_FALSE(at().DeleteSubKey("tree")); // has a subkey
    EXPECT_TRUE(at("tree").DeleteValueName("V"));
    EXPECT_FALSE(at("tree").DeleteValueName("v"));
    EXPECT_TRUE(at("tree").DeleteSubKey("LEAF"));
    EXPECT_FALSE(at("tree").DeleteSubKey("leaf"));
    EXPECT_EQ(at("tree\\leaf").GetString("v", "gone"), "gone");
    EXPECT_TRUE(at().DeleteSubKey("tree"));
    ASSERT_TRUE(at("solo").SetDWORD("v", 1));
    EXPECT_TRUE(at("solo").DeleteSubKey("")); // an empty name: the opened key itself
    Names names;
    EXPECT_EQ(at().EnumSubKey(names), 0);
}

TEST_F(clsRegEditTest, BadKeyPathsFailWithoutHarm)
{
    struct Row
    {
        std::string subKey;
        bool writes;
    };
    const Row rows[] = {
        { base + std::string("\0x", 2), false }, // a NUL inside
        { base + "\\" + std::string(300, 'k'), false }, // longer than a key name may be
        { base + "\\..\\dots", true }, // ".." is an ordinary name
        { base + "\\trail\\", true }, // a trailing backslash is dropped
        { "\\" + base, false },
        { base + "\\p\\\\q\\\\", true }, // repeated backslashes count as one
    };
    for (const Row &row : rows) {
        clsRegEdit reg;
        reg.RegKey(clsRegEdit::CurrentUser);
        reg.SubKey(row.subKey);
        EXPECT_EQ(reg.SetString("v", "w"), row.writes) << row.subKey;
        EXPECT_EQ(reg.GetString("v", "d"), row.writes ? "w" : "d") << row.subKey;
    }
    EXPECT_EQ(at("..\\dots").GetString("v", "d"), "w");
    EXPECT_EQ(at("trail").GetString("v", "d"), "w");
    EXPECT_EQ(at("p\\q").GetString("v", "d"), "w");
    // The root itself: an empty path.
    clsRegEdit root;
    root.RegKey(clsRegEdit::CurrentUser);
    Names names;
    EXPECT_GE(root.EnumSubKey(names), 1);
    EXPECT_NE(std::find(names.begin(), names.end(), "Software"), names.end());
}

} // namespace
