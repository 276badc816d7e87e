#include "core/String.h"

#include "core/Collection.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using rezezaz::core::Collection;
using rezezaz::core::String;

namespace {

std::vector<int32_t> chars(const String& s)
{
    return std::vector<int32_t>(s.internal_str(), s.internal_str() + s.length());
}

// The locale of the whole process, restored when the test ends.
class GlobalLocale
{
public:
    GlobalLocale() : mSaved(std::setlocale(LC_ALL, nullptr)) {}
    ~GlobalLocale() { std::setlocale(LC_ALL, mSaved.c_str()); }
    bool set(const char* name) { return std::setlocale(LC_ALL, name) != nullptr; }

private:
    std::string mSaved;
};

} // namespace

TEST(StringTest, WidensSignedAndUnsignedBytesDifferently)
{
    const char signedBytes[] = {0x68, static_cast<char>(0xE9), 0};
    const unsigned char unsignedBytes[] = {0x68, 0xE9, 0};
    Collection<unsigned char> collected;
    collected.add(0x68);
    collected.add(0xE9);

    const String fromSigned(signedBytes);
    const String fromUnsigned(unsignedBytes);
    const String fromCollection(collected);

    EXPECT_EQ(chars(fromSigned), (std::vector<int32_t>{0x68, static_cast<int32_t>(0xFFFFFFE9)}));
    EXPECT_EQ(chars(fromUnsigned), (std::vector<int32_t>{0x68, 0xE9}));
    EXPECT_EQ(chars(fromCollection), (std::vector<int32_t>{0x68, 0xE9}));
    for (const String* s : {&fromSigned, &fromUnsigned, &fromCollection})
        EXPECT_STREQ(s->c_str(), "h\xE9");

    // The signed form finds and compares with the same signed bytes.
    EXPECT_EQ(fromSigned.find(static_cast<char>(0xE9)), 1);
    EXPECT_TRUE(fromSigned.equals(signedBytes));
    EXPECT_FALSE(fromUnsigned.equals(signedBytes));
}

TEST(StringTest, NullAndEmptyInputsGiveTheEmptyString)
{
    const String cases[] = {String(),
                            String(static_cast<const char*>(nullptr)),
                            String(static_cast<const unsigned char*>(nullptr)),
                            String(static_cast<const int32_t*>(nullptr)),
                            String(""),
                            String("abc", 0),
                            String(Collection<unsigned char>())};
    for (const String& s : cases) {
        EXPECT_EQ(s.length(), 0);
        EXPECT_STREQ(s.c_str(), "");
        EXPECT_EQ(s.internal_str()[0], 0);
        EXPECT_EQ(s.data().size(), 0);
    }
}

TEST(StringTest, NarrowCopyStopsAtCharacterWithLowByteZero)
{
    const int32_t text[] = {'a', 'b', 0x100, 'c', 0};
    const String s(text);

    EXPECT_EQ(s.length(), 4);
    EXPECT_STREQ(s.c_str(), "ab");
    EXPECT_EQ(s.internal_str()[3], 'c');
    EXPECT_EQ(s.internal_find('c'), 3);

    // data() narrows every character, so the 0 byte is there and the text goes on past it.
    Collection<unsigned char> bytes = s.data();
    ASSERT_EQ(bytes.size(), 4);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 'c');

    // Operations that finish a string rebuild the narrow copy from the characters as they stand.
    EXPECT_STREQ((s + "d").c_str(), "ab");
    EXPECT_STREQ(s.substr(3, -1).c_str(), "c");
    EXPECT_STREQ(s.toUpper().c_str(), "AB");
}

TEST(StringTest, LengthConstructorIsZeroFilledUntilFilled)
{
    String s(3);
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(chars(s), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_STREQ(s.c_str(), "");

    s.internal_str()[0] = 'x';
    s.internal_str()[1] = 'y';
    s.internal_str()[2] = 'z';
    EXPECT_STREQ(s.c_str(), "");
    s.updatec();
    EXPECT_STREQ(s.c_str(), "xyz");
    EXPECT_TRUE(s.equals("xyz"));
}

TEST(StringTest, SubstrClampsItsRange)
{
    struct Case
    {
        int start;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {-3, 2, "ab"}, {4, 10, "ef"}, {10, 1, ""},      {0, -1, "abcdef"},        {2, 0, ""},
        {6, 1, ""},    {5, -7, "f"},  {0, 6, "abcdef"}, {1, 2147483647, "bcdef"},
    };
    const String s("abcdef");
    for (const Case& c : cases) {
        const String piece = s.substr(c.start, c.count);
        EXPECT_TRUE(piece.equals(c.expected))
            << "substr(" << c.start << ", " << c.count << ") gave " << piece.c_str();
        EXPECT_STREQ(piece.c_str(), c.expected);
    }
}

TEST(StringTest, SearchesAnswerIndexOrMinusOneWithoutLeavingTheText)
{
    const String s("abcabc");
    const int32_t wideBc[] = {'b', 'c', 0};
    struct Case
    {
        const char* what;
        int result;
        int expected;
    };
    const Case cases[] = {
        {"find c", s.find('c'), 2},
        {"find c from 3", s.find('c', 3), 5},
        {"find c from 6 (the length)", s.find('c', 6), -1},
        {"find c from far past the end", s.find('c', 1000), -1},
        {"find c from negative", s.find('c', -5), 2},
        {"find absent", s.find('z'), -1},
        {"find in empty", String().find('a'), -1},
        {"rfind a", s.rfind('a'), 3},
        {"rfind a from 2", s.rfind('a', 2), 0},
        {"rfind c from past the end", s.rfind('c', 1000), 5},
        {"rfind a from negative", s.rfind('a', -1), -1},
        {"rfind in empty", String().rfind('a', 0), -1},
        {"find string", s.find(String("ca")), 2},
        {"find string from 3", s.find(String("bc"), 3), 4},
        {"find string from past the end", s.find(String("bc"), 100), -1},
        {"find string longer than the text", s.find(String("abcabcabc")), -1},
        {"find string from negative", s.find(String("ab"), -4), 0},
        {"find empty string", s.find(String()), 0},
        {"find text", s.find("bc"), 1},
        {"find text from 2", s.find("bc", 2), 4},
        {"find text from past the end", s.find("bc", 100), -1},
        {"find null text", s.find(static_cast<const char*>(nullptr)), -1},
        {"internal_find char", s.internal_find(int32_t('b'), 2), 4},
        {"internal_rfind char", s.internal_rfind(int32_t('b')), 4},
        {"internal_find text", s.internal_find(wideBc), 1},
        {"internal_find text from 5", s.internal_find(wideBc, 5), -1},
        {"internal_find null", s.internal_find(static_cast<const int32_t*>(nullptr)), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
}

TEST(StringTest, NarrowSearchCountsBytesOfTheNarrowCopy)
{
    const int32_t text[] = {'a', 0x100, 'b', 0};
    const String s(text);
    // The narrow copy is "a": 'b' lies beyond it for the 8-bit search but not for the 32-bit one.
    EXPECT_EQ(s.find("b"), -1);
    EXPECT_EQ(s.find("a", 2), -1);
    EXPECT_EQ(s.find(String("b")), 2);
}

TEST(StringTest, ComparesTexts)
{
    const String abc("abc");
    EXPECT_TRUE(abc.equals(String("abc")));
    EXPECT_FALSE(abc.equals(String("abcd")));
    EXPECT_FALSE(abc.equals("ab"));
    EXPECT_FALSE(abc.equals("abcd"));
    EXPECT_TRUE(String().equals(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(abc.equals(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(String().internal_equals(nullptr));
    EXPECT_FALSE(abc.internal_equals(nullptr));

    // A character 0 inside the text does not make a shorter text equal.
    const int32_t withZero[] = {'a', 0, 'b'};
    EXPECT_FALSE(String(withZero, 3).equals("a"));
    EXPECT_FALSE(String(withZero, 3).internal_equals(withZero));

    EXPECT_TRUE(abc.startsWith(String("ab")));
    EXPECT_TRUE(abc.startsWith(String()));
    EXPECT_FALSE(abc.startsWith(String("abcd")));
    EXPECT_TRUE(abc.endsWith(String("bc")));
    EXPECT_TRUE(abc.endsWith(String("abc")));
    EXPECT_FALSE(abc.endsWith(String("xabc")));
    EXPECT_FALSE(abc.endsWith(String("ab")));

    // Ordinal over the signed 32-bit characters; a prefix sorts first.
    EXPECT_TRUE(String("ab") < String("abc"));
    EXPECT_FALSE(String("abc") < String("ab"));
    EXPECT_TRUE(String("B") < String("a"));
    EXPECT_FALSE(abc < abc);
    EXPECT_TRUE(String() < String("a"));
    EXPECT_TRUE(String("\xE9") < String("a")); // sign-extended, so negative
}

TEST(StringTest, CaseAndTrimAreAsciiOnly)
{
    const String lowered = String("Abc").toLower();
    EXPECT_EQ(chars(lowered), (std::vector<int32_t>{'a', 'b', 'c'}));
    EXPECT_STREQ(lowered.c_str(), "abc");
    EXPECT_STREQ(String("aBc1-z").toUpper().c_str(), "ABC1-Z");

    // Characters outside 0-255, negative ones included, go through untouched.
    const int32_t odd[] = {0x7ffffff0, 'Q', -1, static_cast<int32_t>(0xFFFFFFC9), 0xC9, ' ', 0};
    const String s(odd);
    EXPECT_EQ(chars(s.toLower()),
              (std::vector<int32_t>{0x7ffffff0, 'q', -1, static_cast<int32_t>(0xFFFFFFC9), 0xC9, ' '}));
    EXPECT_EQ(chars(s.toUpper()),
              (std::vector<int32_t>{0x7ffffff0, 'Q', -1, static_cast<int32_t>(0xFFFFFFC9), 0xC9, ' '}));
    EXPECT_EQ(s.trimLeft().length(), 6);

    // Case changes stop at the first 0 character; what follows it is kept as it is.
    const String embedded("Ab\0Cd", 5);
    EXPECT_EQ(chars(embedded.toLower()), (std::vector<int32_t>{'a', 'b', 0, 'C', 'd'}));
    EXPECT_EQ(chars(embedded.toUpper()), (std::vector<int32_t>{'A', 'B', 0, 'C', 'd'}));
    EXPECT_EQ(chars(s.trimRight()).back(), 0xC9);

    struct Case
    {
        const char* text;
        const char* left;
        const char* right;
    };
    const Case cases[] = {
        {"  x \t", "x \t", "  x"},
        {"   ", "", ""},
        {"", "", ""},
        {"\t\n\v\f\r y\r\n", "y\r\n", "\t\n\v\f\r y"},
        {"x", "x", "x"},
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"}, // no-break space is not ASCII white space
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(String(c.text).trimLeft().c_str(), c.left) << '"' << c.text << '"';
        EXPECT_STREQ(String(c.text).trimRight().c_str(), c.right) << '"' << c.text << '"';
    }
}

TEST(StringTest, ParsesNumbers)
{
    struct Case
    {
        const char* text;
        int int32;
        unsigned int uint32;
        long long int64;
        unsigned long long uint64;
        double floating;
    };
    const Case cases[] = {
        {"12abc", 12, 12u, 12, 12u, 12.0},
        {"abc", 0, 0u, 0, 0u, 0.0},
        {"", 0, 0u, 0, 0u, 0.0},
        {"  -7 8", -7, 4294967289u, -7, 18446744073709551609u, -7.0},
        {"+42", 42, 42u, 42, 42u, 42.0},
        {"1.5", 1, 1u, 1, 1u, 1.5},
        {"-2.25e1x", -2, 4294967294u, -2, 18446744073709551614u, -22.5},
        {"2147483647", 2147483647, 2147483647u, 2147483647, 2147483647u, 2147483647.0},
    };
    for (const Case& c : cases) {
        const String s(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(s.toInt32(), c.int32);
        EXPECT_EQ(s.toUInt32(), c.uint32);
        EXPECT_EQ(s.toInt64(), c.int64);
        EXPECT_EQ(s.toUInt64(), c.uint64);
        EXPECT_DOUBLE_EQ(s.toDouble(), c.floating);
        EXPECT_FLOAT_EQ(s.toFloat(), static_cast<float>(c.floating));
    }
}

// Numbers beyond a type's range give the nearest value it holds.
TEST(StringTest, ParsesOutOfRangeNumbersToTheNearestValue)
{
    struct Case
    {
        const char* text;
        int int32;
        unsigned int uint32;
        long long int64;
        unsigned long long uint64;
    };
    const Case cases[] = {
        {"2147483648", INT_MAX, 2147483648u, 2147483648LL, 2147483648u},
        {"-2147483648", INT_MIN, 2147483648u, -2147483648LL, 18446744071562067968u},
        {"-2147483649", INT_MIN, 2147483647u, -2147483649LL, 18446744071562067967u},
        {"4294967296", INT_MAX, UINT_MAX, 4294967296LL, 4294967296u},
        {"-4294967296", INT_MIN, UINT_MAX, -4294967296LL, 18446744069414584320u},
        {"9223372036854775807", INT_MAX, UINT_MAX, LLONG_MAX, 9223372036854775807u},
        {"9223372036854775808", INT_MAX, UINT_MAX, LLONG_MAX, 9223372036854775808u},
        {"-9223372036854775808", INT_MIN, UINT_MAX, LLONG_MIN, 9223372036854775808u},
        {"-9223372036854775809", INT_MIN, UINT_MAX, LLONG_MIN, 9223372036854775807u},
        {"18446744073709551615", INT_MAX, UINT_MAX, LLONG_MAX, ULLONG_MAX},
        {"18446744073709551616", INT_MAX, UINT_MAX, LLONG_MAX, ULLONG_MAX},
        {"-99999999999999999999999", INT_MIN, UINT_MAX, LLONG_MIN, ULLONG_MAX},
        {"  +000000000000000000000000042", 42, 42u, 42, 42u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const String s(c.text);
        EXPECT_EQ(s.toInt32(), c.int32);
        EXPECT_EQ(s.toUInt32(), c.uint32);
        EXPECT_EQ(s.toInt64(), c.int64);
        EXPECT_EQ(s.toUInt64(), c.uint64);
    }

    struct FloatCase
    {
        const char* text;
        float single;
        double dual;
    };
    const FloatCase floatCases[] = {
        {"1e39", FLT_MAX, 1e39},         {"-1e39", -FLT_MAX, -1e39}, {"1e400", FLT_MAX, DBL_MAX},
        {"-1e400x", -FLT_MAX, -DBL_MAX}, {"1e-50", 0.0f, 1e-50},     {"-1e-400", -0.0f, -0.0},
        {"inf", HUGE_VALF, HUGE_VAL}, // what the text says, not out of range
    };
    for (const FloatCase& c : floatCases) {
        SCOPED_TRACE(c.text);
        const String s(c.text);
        EXPECT_EQ(s.toFloat(), c.single);
        EXPECT_EQ(s.toDouble(), c.dual);
    }
}

TEST(StringTest, ParsesOnlyTheFirst127Characters)
{
    const std::string inside = std::string(126, ' ') + "5";
    const std::string outside = std::string(127, ' ') + "5";
    EXPECT_EQ(String(inside.c_str()).toInt32(), 5);
    EXPECT_EQ(String(outside.c_str()).toInt32(), 0);
    EXPECT_EQ(String(outside.c_str()).toDouble(), 0.0);

    // A long number is cut at the window, not read past it.
    const std::string digits(200, '1');
    EXPECT_DOUBLE_EQ(String(digits.c_str()).toDouble(), std::stod(std::string(127, '1')));
}

TEST(StringTest, AppendsTextAndNumbers)
{
    const String n("n=");
    const int32_t wide[] = {0x263A, 0};
    struct Case
    {
        String result;
        const char* expected;
    };
    const Case cases[] = {
        {n + 5, "n=5"},
        {n + 1.5f, "n=1.500000"},
        {n + 1.5, "n=1.500000"},
        {n + -0.25, "n=-0.250000"},
        {n + true, "n=1"},
        {n + false, "n=0"},
        {n + -3, "n=-3"},
        {n + 4000000000u, "n=4000000000"},
        {n + -9000000000L, "n=-9000000000"},
        {n + 18000000000000000000UL, "n=18000000000000000000"},
        {n + -9000000000LL, "n=-9000000000"},
        {n + 18446744073709551615ULL, "n=18446744073709551615"},
        {n + 'x', "n=x"},
        {n + "abc", "n=abc"},
        {n + static_cast<const char*>(nullptr), "n="},
        {n + String("s"), "n=s"},
        {n.internal_add(int32_t('w')), "n=w"},
        {n.internal_add(static_cast<const int32_t*>(nullptr)), "n="},
        {7 + String("x"), "7x"},
        {true + String("x"), "1x"},
        {2.5 + String("x"), "2.500000x"},
        {0.5f + String("x"), "0.500000x"},
        {-1L + String("x"), "-1x"},
        {'c' + String("x"), "cx"},
        {"ab" + String("x"), "abx"},
        {static_cast<const char*>(nullptr) + String("x"), "x"},
        {internal_add(int32_t('w'), String("x")), "wx"},
        {internal_add(static_cast<const int32_t*>(nullptr), String("x")), "x"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.result.c_str(), c.expected);
        EXPECT_TRUE(c.result.equals(c.expected)) << c.expected;
    }

    const String withWide = n.internal_add(wide);
    EXPECT_EQ(chars(withWide), (std::vector<int32_t>{'n', '=', 0x263A}));
    EXPECT_EQ(chars(internal_add(wide, String("x"))), (std::vector<int32_t>{0x263A, 'x'}));
}

TEST(StringTest, AppendsInPlace)
{
    String s;
    s += "ab";
    s += String("cd");
    s += static_cast<const char*>(nullptr);
    s.internal_addassign(nullptr);
    const int32_t wide[] = {'e', 0};
    s.internal_addassign(wide);
    s += s;
    EXPECT_STREQ(s.c_str(), "abcdeabcde");
    EXPECT_EQ(s.length(), 10);

    String copy(s);
    String& alias = copy;
    copy = alias;
    EXPECT_TRUE(copy.equals(s));
    copy = String();
    EXPECT_EQ(copy.length(), 0);
    EXPECT_STREQ(s.c_str(), "abcdeabcde");
}

TEST(StringTest, NumbersUseAPointUnderACommaLocale)
{
    GlobalLocale locale;
    if (!locale.set("de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    // Make sure the locale really has a decimal comma, so the test shows what it claims.
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 1.5);
    ASSERT_STREQ(check, "1,5");

    EXPECT_STREQ((String() + 1.5f).c_str(), "1.500000");
    EXPECT_STREQ((String() + 1.5).c_str(), "1.500000");
    EXPECT_STREQ((1.5 + String()).c_str(), "1.500000");
    EXPECT_DOUBLE_EQ(String("1.5").toDouble(), 1.5);
    EXPECT_FLOAT_EQ(String("1.5").toFloat(), 1.5f);
    EXPECT_EQ(String("1234567").toInt32(), 1234567);
}

TEST(StringTest, FormatsHugeNumbersWhole)
{
    const String huge = String("v=") + 1e300;
    const std::string text = huge.c_str();
    // "%f" of 1e300: 301 digits, the point and six decimals.
    ASSERT_EQ(text.size(), 2u + 301u + 7u);
    EXPECT_EQ(text.substr(0, 3), "v=1");
    EXPECT_EQ(text.substr(text.size() - 7), ".000000");
    EXPECT_EQ(text.find_first_not_of("0123456789", 2), 2u + 301u);

    const String max = -1.7976931348623157e308 + String();
    EXPECT_EQ(max.length(), 1 + 309 + 7);
    EXPECT_EQ(static_cast<size_t>(max.length()), std::string(max.c_str()).size());
}
