#include "util/BEPack.h"
#include "util/BEUnpack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using util::BEPack;
using util::BEUnpack;

TEST(BEPack, WritesBigEndianFields) {
    BEPack p;
    p.u8(0x01).u16(0x0203).u24(0x040506).u32(0x0708090A).f64(1.0);
    EXPECT_EQ(p.bytes(), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A"
                                     "\x3F\xF0\0\0\0\0\0\0",
                                     18));
}

TEST(BEPack, LengthPrefixedStringsAreCutToTheirPrefix) {
    const std::string big(70000, 'x');
    struct Case {
        std::function<void(BEPack&)> write;
        size_t prefix;
        size_t kept;
    };
    const Case cases[] = {
        {[&](BEPack& p) { p.str8(big); }, 1, 255},
        {[&](BEPack& p) { p.str16(big); }, 2, 65535},
        {[&](BEPack& p) { p.str32(big); }, 4, 70000},
        {[&](BEPack& p) { p.str8("ab"); }, 1, 2},
    };
    for (const Case& c : cases) {
        BEPack p;
        c.write(p);
        ASSERT_EQ(p.size(), c.prefix + c.kept);
        BEUnpack in(p.bytes());
        std::string s;
        const bool ok = c.prefix == 1 ? in.str8(s) : c.prefix == 2 ? in.str16(s) : in.str32(s);
        ASSERT_TRUE(ok);
        EXPECT_EQ(s.size(), c.kept);
        EXPECT_TRUE(in.atEnd());
    }
}

TEST(BEPack, FixedWidthAndBcd) {
    BEPack p;
    p.fixed("abc", 5, '\0').fixed("abcdef", 4, ' ').bcd("0139:", 3).bcd("", 1);
    EXPECT_EQ(p.bytes(), std::string("abc\0\0abcd\x01\x39\xA0\x00", 13));
}

TEST(BEUnpack, EveryReadFailsWithoutMoving) {
    const std::string bytes("\x00\x05hello\x00\x00\x00\x09", 11);
    BEUnpack in(std::string_view(bytes).substr(0, 6)); // "\0\5hell": the string is cut short
    std::string s;
    double d = 0;
    EXPECT_FALSE(in.str16(s));
    EXPECT_EQ(in.pos(), 0u);
    EXPECT_FALSE(in.str32(s));
    EXPECT_FALSE(in.f64(d));
    EXPECT_EQ(in.pos(), 0u);
    ASSERT_TRUE(in.skip(2));
    EXPECT_FALSE(in.raw(5, s));
    EXPECT_EQ(in.pos(), 2u);
    ASSERT_TRUE(in.raw(4, s));
    uint8_t v8 = 0;
    EXPECT_FALSE(in.u8(v8));
    EXPECT_EQ(in.pos(), 6u);

    BEUnpack str8(std::string_view("\x05hell", 5));
    EXPECT_FALSE(str8.str8(s));
    EXPECT_EQ(str8.pos(), 0u);
}

TEST(BEUnpack, ReadsBackWhatPackWrote) {
    BEPack p;
    p.u8(200).u16(65535).u24(0xABCDEF).u32(0xDEADBEEF).f64(-2.5e-300).str8("gbk\xB5\xC7").raw("zz");
    BEUnpack in(p.bytes());
    uint8_t a = 0;
    uint16_t b = 0;
    uint32_t c = 0, d = 0;
    double e = 0;
    std::string s, r;
    ASSERT_TRUE(in.u8(a) && in.u16(b) && in.u24(c) && in.u32(d) && in.f64(e) && in.str8(s) &&
                in.raw(2, r));
    EXPECT_EQ(a, 200);
    EXPECT_EQ(b, 65535);
    EXPECT_EQ(c, 0xABCDEFu);
    EXPECT_EQ(d, 0xDEADBEEFu);
    EXPECT_EQ(e, -2.5e-300);
    EXPECT_EQ(s, "gbk\xB5\xC7");
    EXPECT_EQ(r, "zz");
    EXPECT_TRUE(in.atEnd());
}

TEST(BEUnpack, DigitsAndDelimiter) {
    BEUnpack in(std::string_view("\x01\x39\xAF"
                                 "key=value;rest",
                                 17));
    std::string s;
    ASSERT_TRUE(in.digits(3, s));
    EXPECT_EQ(s, "0139:?");
    ASSERT_TRUE(in.until('=', s));
    EXPECT_EQ(s, "key");
    ASSERT_TRUE(in.until(';', s));
    EXPECT_EQ(s, "value");
    const size_t at = in.pos();
    EXPECT_FALSE(in.until(';', s));
    EXPECT_EQ(in.pos(), at);
    EXPECT_FALSE(in.digits(5, s));
    EXPECT_EQ(in.remaining(), 4u);
}
