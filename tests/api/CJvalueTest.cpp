#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "api/CJvalue.h"

using api::CJkey;
using api::CJvalue;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Parses `text`; on success returns the written form, else "FAIL".
std::string reparse(std::string_view text) {
    CJvalue v;
    return v.parse(text) ? v.write() : "FAIL";
}

struct ParseCase {
    const char* name;
    std::string text;
    std::string written; // "FAIL" when the parse must fail
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, WritesBack) {
    EXPECT_EQ(reparse(GetParam().text), GetParam().written) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Parse,
    ::testing::Values(
        ParseCase{"EmptyObject", " { } ", "{}"}, ParseCase{"EmptyArray", "[ ]", "[]"},
        ParseCase{"EmptyText", "", "FAIL"}, ParseCase{"BlanksOnly", " \t\r\n", "FAIL"},
        ParseCase{"LoneCloseBracket", "]", "FAIL"},
        ParseCase{"ZeroByteEndsText", std::string("[1,\0 2]", 7), "FAIL"},
        ParseCase{"MembersInByteOrder", R"({"b":1,"a":2,"B":3})", R"({"B":3,"a":2,"b":1})"},
        ParseCase{"PrefixNameFirst", R"({"ab":1,"a":2})", R"({"a":2,"ab":1})"},
        ParseCase{"HighBytesAfterAscii", "{\"\xB3\xB5\":1,\"z\":2}", "{\"z\":2,\"\xB3\xB5\":1}"},
        ParseCase{"LastDuplicateWins", R"({"a":{"x":1},"b":0,"a":{"y":2}})",
                  R"({"a":{"y":2},"b":0})"},
        ParseCase{
            "ManyMembersReversed",
            R"({"z":0,"y":1,"x":2,"w":3,"v":4,"u":5,"t":6,"s":7,"r":8,"q":9,"p":10,)"
            R"("o":11,"n":12,"m":13,"l":14,"k":15,"j":16,"i":17,"h":18,"g":19,"f":20,)"
            R"("e":21,"d":22,"c":23,"b":24,"a":25,"a":26,"zz":27,"z":28,"aa":29,"b":30,)"
            R"("c0":31,"c1":32,"c2":33})",
            R"({"a":26,"aa":29,"b":30,"c":23,"c0":31,"c1":32,"c2":33,"d":22,"e":21,)"
            R"("f":20,"g":19,"h":18,"i":17,"j":16,"k":15,"l":14,"m":13,"n":12,"o":11,)"
            R"("p":10,"q":9,"r":8,"s":7,"t":6,"u":5,"v":4,"w":3,"x":2,"y":1,"z":28,"zz":27})"},
        ParseCase{"TrailingCommaObject", R"({"a":1,})", "FAIL"},
        ParseCase{"TrailingCommaEmptyName", R"({"":1,})", "FAIL"},
        ParseCase{"TrailingCommaArray", "[1,]", "FAIL"}, ParseCase{"MissingComma", "[1 2]", "FAIL"},
        ParseCase{"MissingColon", R"({"a" 1})", "FAIL"},
        ParseCase{"NameNotString", "{a:1}", "FAIL"},
        ParseCase{"TrailingTextIgnored", R"({"a":1} xyz [)", R"({"a":1})"},
        ParseCase{"Comments", "/*c*/{ // line\n \"a\" : /* v */ [ /**/ 1 ]}", R"({"a":[1]})"},
        ParseCase{"UnclosedComment", "[1, /* never closed", "FAIL"},
        ParseCase{"SlashSkipsNextByte", "/x[1]", "[1]"},
        ParseCase{"Words", "[true,false,null]", "[true,false,null]"},
        ParseCase{"IncompleteTrue", "[tru]", "FAIL"}, ParseCase{"IncompleteNull", "nul", "FAIL"},
        ParseCase{"LoneMinus", "[-]", "[0]"},
        ParseCase{"NumberToken", "[1.5e2,-0.25,1e]", "[150,-0.25,1]"},
        ParseCase{"NumberStopsAtToken", "[0x10]", "FAIL"},
        ParseCase{"HugeNumber", "[1e400,-1e400,1e-400]", "[null,null,0]"},
        ParseCase{"EscapeE9", R"(["\u00e9"])", "[\"\xC3\xA9\"]"},
        ParseCase{"SurrogatePair", R"(["\uD834\uDD1E"])", "[\"\xF0\x9D\x84\x9E\"]"},
        ParseCase{"EscapeTable", R"(["\"\\\/\b\f\n\r\t"])", R"(["\"\\/\b\f\n\r\t"])"},
        ParseCase{"EscapeZero", R"(["a\u0000b"])", R"(["a\u0000b"])"},
        ParseCase{"BackslashX", R"(["\x41"])", "FAIL"},
        ParseCase{"ShortUnicode", R"(["\u00e"])", "FAIL"},
        ParseCase{"HighSurrogateAtEnd", R"(["ab\uD834"])", "FAIL"},
        ParseCase{"HighSurrogateThenNonLow", R"(["\uD834\u0041"])", "FAIL"},
        ParseCase{"LoneLowSurrogateKept", R"(["\uDD1E"])", "[\"\xED\xB4\x9E\"]"},
        ParseCase{"UnclosedString", R"(["abc\"])", "FAIL"},
        ParseCase{"RawControlBytesKept", "[\"a\tb\x01\"]", R"(["a\tb\u0001"])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CJvalueWrite, EscapesByteByByte) {
    const struct {
        std::string text, written;
    } cases[] = {
        {"\x01", R"("\u0001")"},
        {"\x0B", R"("\u000B")"},
        {"\x1F", R"("\u001F")"},
        {"\t\n\r\b\f", R"("\t\n\r\b\f")"},
        {"a/b", R"("a/b")"},
        {"\"\\", R"("\"\\")"},
        {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\x7F\x80\xFF", "\"\x7F\x80\xFF\""},
        {"\xD6\xD0\xCE\xC4", "\"\xD6\xD0\xCE\xC4\""}, // GBK passes unchanged
    };
    for (const auto& c : cases) {
        CJvalue v;
        v.setText(c.text);
        EXPECT_EQ(v.write(), c.written);
        EXPECT_EQ(reparse(v.write()), c.written); // and reads back to the same bytes
    }
}

TEST(CJvalueWrite, NumbersAsPrintfG16) {
    EXPECT_EQ(reparse("[1,0.1,1e21,12345,-0.0]"), "[1,0.1,1e+21,12345,-0]");
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mant(-1, 1);
    std::uniform_int_distribution<int> exp(-300, 300);
    for (int i = 0; i < 2000; ++i) {
        const double d = std::ldexp(mant(rng), exp(rng));
        char expect[40];
        std::snprintf(expect, sizeof expect, "%.16g", d);
        CJvalue v;
        v.setNumber(d);
        ASSERT_EQ(v.write(), expect);
        ASSERT_EQ(v.asText(), expect);
    }
    CJvalue inf;
    inf.setNumber(INFINITY);
    EXPECT_EQ(inf.write(), "null"); // no JSON form; the text stays readable
}

// A desktop locale with a decimal comma must not leak into request bodies.
TEST(CJvalueWrite, IgnoresProcessLocale) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    bool set = false;
    for (const char* n : names)
        if (std::setlocale(LC_NUMERIC, n)) {
            set = true;
            break;
        }
    if (!set) GTEST_SKIP() << "no locale with a decimal comma installed";
    CJvalue v;
    v.setNumber(0.5);
    const std::string written = v.write();
    CJvalue s;
    s.setText("2.5");
    const double read = s.asNumber();
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(written, "0.5");
    EXPECT_EQ(read, 2.5);
}

TEST(CJvalueAccess, AsTextAndAsNumber) {
    const struct {
        const char* json;
        std::string text;
        double number;
    } cases[] = {
        {"3", "3", 3},
        {"-2.5", "-2.5", -2.5},
        {"12345678901", "12345678901", 12345678901.0},
        {"\"12abc\"", "12abc", 12},
        {"\"abc\"", "abc", 0},
        {"\" 7\"", " 7", 7},
        {"true", "", 1},
        {"false", "", 0},
        {"null", "", 0},
        {"[1]", "", 0},
        {"{\"a\":1}", "", 0},
    };
    for (const auto& c : cases) {
        CJvalue v;
        ASSERT_TRUE(v.parse(c.json)) << c.json;
        EXPECT_EQ(v.asText(), c.text) << c.json;
        EXPECT_EQ(v.asNumber(), c.number) << c.json;
    }
}

TEST(CJvalueBuild, MembersWrittenInNameOrder) {
    CJvalue body, text;
    text.setText("u");
    body.setMember("username", text);
    text.setText("p");
    body.setMember("password", text);
    CJvalue n;
    n.setNumber(0);
    body.setMember("projectType", n);
    EXPECT_EQ(body.write(), R"({"password":"p","projectType":0,"username":"u"})");
    n.setNumber(2);
    body.setMember("projectType", n).setNumber(1); // replaced, and the stored one returned
    EXPECT_EQ(body.childCount(), 3u);
    EXPECT_EQ(body.get("projectType").asNumber(), 1);
}

TEST(CJvalueBuild, SetMemberAndAppendChangeKind) {
    CJvalue v, one;
    one.setNumber(1);
    v.setNumber(5);
    v.setMember("a", one);
    EXPECT_EQ(v.write(), R"({"a":1})");
    v.append(one);
    v.append(v); // a copy of itself taken before it changes
    EXPECT_EQ(v.write(), "[1,[1]]");
    v.setMember("self", v);
    EXPECT_EQ(v.write(), R"({"self":[1,[1]]})");
}

TEST(CJvalueBuild, FindMatchesKeyKind) {
    CJvalue arr, obj;
    ASSERT_TRUE(arr.parse(R"(["x","y"])"));
    ASSERT_TRUE(obj.parse(R"({"0":"a","x":"b"})"));
    EXPECT_EQ(arr.find(CJkey(1))->text(), "y");
    EXPECT_EQ(arr.find(CJkey(2)), nullptr);
    EXPECT_EQ(arr.find(CJkey("0")), nullptr);
    EXPECT_EQ(obj.find(CJkey(0)), nullptr);
    EXPECT_EQ(obj.find(CJkey("x"))->text(), "b");
    CJvalue child;
    child.setNumber(9);
    EXPECT_FALSE(obj.find(CJkey("missing"), child));
    EXPECT_EQ(child.kind(), api::kNull); // an absent member reads as an empty child
    EXPECT_EQ(obj.get("missing").kind(), api::kNull);
}

TEST(CJvalueBuild, CopyIsDeep) {
    CJvalue a;
    ASSERT_TRUE(a.parse(R"({"k":{"n":[1,2]}})"));
    CJvalue b = a;
    b.find("k")->find("n")->append(CJvalue());
    EXPECT_EQ(a.write(), R"({"k":{"n":[1,2]}})");
    EXPECT_EQ(b.write(), R"({"k":{"n":[1,2,null]}})");
}

// Parsing recurses per level; a hostile reply must fail, not exhaust the stack.
TEST(CJvalueParse, NestingIsLimited) {
    const int limit = CJvalue::kMaxDepth;
    const auto nested = [](int depth, char open, char close) {
        return std::string(static_cast<size_t>(depth), open) +
               std::string(static_cast<size_t>(depth), close);
    };
    EXPECT_NE(reparse(nested(limit, '[', ']')), "FAIL");
    EXPECT_EQ(reparse(nested(limit + 1, '[', ']')), "FAIL");
    EXPECT_EQ(reparse(std::string(100000, '[')), "FAIL");
    std::string objects;
    for (int i = 0; i < 100000; ++i)
        objects += "{\"a\":";
    EXPECT_EQ(reparse(objects), "FAIL");
}

// JSONTestSuite: every y_ file parses and writes a text that parses to the same text; the
// i_ and n_ files never crash. The n_ files below are accepted on purpose: trailing text is
// ignored, a number token is read as far as it converts, comments are skipped, and raw
// control bytes in strings are kept.
TEST(CJvalueParse, JSONTestSuite) {
    const fs::path dir = fs::path(TAVRINA_TESTDATA) / "JSONTestSuite" / "test_parsing";
    if (!fs::exists(dir)) GTEST_SKIP() << "shared test data not found: " << dir;
    const std::set<std::string> acceptedN = {
        "n_array_comma_after_close.json",
        "n_array_extra_close.json",
        "n_array_just_minus.json",
        "n_multidigit_number_then_00.json",
        "n_number_-01.json",
        "n_number_-1.0..json",
        "n_number_-2..json",
        "n_number_0.1.2.json",
        "n_number_0.3e+.json",
        "n_number_0.3e.json",
        "n_number_0.e1.json",
        "n_number_0_capital_E+.json",
        "n_number_0_capital_E.json",
        "n_number_0e+.json",
        "n_number_0e.json",
        "n_number_1.0e+.json",
        "n_number_1.0e-.json",
        "n_number_1.0e.json",
        "n_number_1eE2.json",
        "n_number_2.e+3.json",
        "n_number_2.e-3.json",
        "n_number_2.e3.json",
        "n_number_9.e+.json",
        "n_number_expression.json",
        "n_number_invalid+-.json",
        "n_number_neg_int_starting_with_zero.json",
        "n_number_neg_real_without_int_part.json",
        "n_number_real_without_fractional_part.json",
        "n_number_with_leading_zero.json",
        "n_object_trailing_comment.json",
        "n_object_trailing_comment_open.json",
        "n_object_trailing_comment_slash_open.json",
        "n_object_trailing_comment_slash_open_incomplete.json",
        "n_object_with_trailing_garbage.json",
        "n_string_unescaped_ctrl_char.json",
        "n_string_unescaped_newline.json",
        "n_string_unescaped_tab.json",
        "n_string_with_trailing_garbage.json",
        "n_structure_array_trailing_garbage.json",
        "n_structure_array_with_extra_array_close.json",
        "n_structure_close_unopened_array.json",
        "n_structure_double_array.json",
        "n_structure_number_with_trailing_garbage.json",
        "n_structure_object_followed_by_closing_object.json",
        "n_structure_object_with_comment.json",
        "n_structure_object_with_trailing_garbage.json",
        "n_structure_trailing_#.json",
    };
    size_t files = 0, yes = 0;
    std::set<std::string> nAccepted;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const std::string text = readAll(entry.path());
        ++files;
        CJvalue v;
        const bool ok = v.parse(text);
        if (name.starts_with("y_")) {
            ++yes;
            EXPECT_TRUE(ok) << name;
            if (ok) {
                EXPECT_EQ(reparse(v.write()), v.write()) << name;
            }
        } else if (name.starts_with("n_") && ok) {
            nAccepted.insert(name);
        }
    }
    EXPECT_EQ(files, 318u);
    EXPECT_EQ(yes, 95u);
    EXPECT_EQ(nAccepted, acceptedN);
}

} // namespace
