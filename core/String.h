#pragma once

#include <cstdint>

#ifdef QT_CORE_LIB
#include <QByteArray>
#include <QString>
#endif

namespace rezezaz {
namespace core {

template <typename T> class Collection;

// The engine's string: a value type of signed 32-bit characters with an 8-bit copy of the same
// text kept beside it for C interfaces (formats, file names, the system log). There is no
// multi-byte encoding: a byte is widened one to one and a character is narrowed to its low 8 bits.
// The narrow copy ends at the first character whose low 8 bits are 0.
//
// Every string owns its two buffers, except the empty string, which points both at the shared,
// never freed buffer mNull. Number formatting and parsing always use the C locale.
class String
{
public:
    String();
    // length characters of text (negative: up to its terminator); bytes are sign-extended.
    String(const char* text, int length = -1);
    // As above, zero-extended.
    String(const unsigned char* text, int length = -1);
    // 32-bit text, length characters (negative: up to its 0 terminator).
    String(const int32_t* text, int length = -1);
    // One character per byte, zero-extended.
    String(const Collection<unsigned char>& bytes);
    String(const String& other);
    // Room for length characters, all 0, and an empty narrow copy: the caller fills the
    // characters through internal_str() and then calls updatec().
    explicit String(int length);
#ifdef QT_CORE_LIB
    // The toolkit string's Latin-1 form up to its first 0, sign-extended like any 8-bit text.
    String(const QString& text) : String(text.toLatin1().constData()) {}
#endif
    ~String();

    String& operator=(const String& other);

    // Rebuilds the narrow copy from the characters as they now stand.
    void updatec();

    int length() const
    {
        return mLength;
    }
    // The narrow copy, 0-terminated.
    const char* c_str() const
    {
        return mNarrow;
    }
    // The 32-bit characters, length() of them followed by a 0.
    const int32_t* internal_str() const
    {
        return mChars;
    }
    int32_t* internal_str()
    {
        return mChars;
    }
    // The low 8 bits of every character, length() bytes, no terminator.
    Collection<unsigned char> data() const;

    // Searches answer a character index, or -1 when there is no match. A forward search from
    // below 0 starts at 0 and from past the end finds nothing; a backward search from past the
    // end starts at the last character and from below 0 finds nothing.
    int find(char c) const;
    int find(char c, int from) const;
    int rfind(char c) const;
    int rfind(char c, int from) const;
    int find(const String& s) const;
    int find(const String& s, int from) const;
    // Searches the narrow copy and answers a byte index into it; a null s finds nothing.
    int find(const char* s) const;
    int find(const char* s, int from) const;

    int internal_find(int32_t c) const;
    int internal_find(int32_t c, int from) const;
    int internal_rfind(int32_t c) const;
    int internal_rfind(int32_t c, int from) const;
    int internal_find(const int32_t* s) const;
    int internal_find(const int32_t* s, int from) const;

    // start below 0 counts as 0 and is capped at the length; count below 0 or reaching past
    // the end takes the rest.
    String substr(int start, int count) const;
    bool startsWith(const String& s) const;
    bool endsWith(const String& s) const;

    bool equals(const String& s) const;
    // Compares with the sign-extended bytes of s; a null s equals only the empty string.
    bool equals(const char* s) const;
    bool internal_equals(const int32_t* s) const;
    // Ordinal over the signed 32-bit characters; a prefix sorts first.
    bool operator<(const String& s) const;

    // Case and white space are ASCII only (white space: space \t \n \v \f \r); every other
    // character is left as it is. Case changes stop at the first 0 character.
    String toLower() const;
    String toUpper() const;
    String trimLeft() const;
    String trimRight() const;

    // Read the first number in the first 127 characters, as sscanf would in the C locale;
    // text that holds no number gives 0. A number out of the type's range gives the nearest
    // value the type holds (for floating point, the largest finite one of its sign); the
    // unsigned readers take a negative number in range modulo 2^32 or 2^64, as strtoul does.
    int toInt32() const;
    unsigned int toUInt32() const;
    long long toInt64() const;
    unsigned long long toUInt64() const;
    float toFloat() const;
    double toDouble() const;

    String operator+(const String& s) const;
    // Null appends nothing.
    String operator+(const char* s) const;
    String internal_add(const int32_t* s) const;
    String operator+(char c) const;
    String internal_add(int32_t c) const;
    // Numbers append their C-locale text: bool as 1 or 0, floating point with six decimals.
    String operator+(bool value) const;
    String operator+(int value) const;
    String operator+(unsigned int value) const;
    String operator+(long value) const;
    String operator+(unsigned long value) const;
    String operator+(long long value) const;
    String operator+(unsigned long long value) const;
    String operator+(float value) const;
    String operator+(double value) const;

    String& operator+=(const String& s);
    // Null changes nothing.
    String& operator+=(const char* s);
    String& internal_addassign(const int32_t* s);

private:
    // Allocates both buffers for length characters, zero-filled, and frees the old ones.
    void allocate(int length);
    void release();
    // Builds a string of the characters of a followed by those of b.
    static String join(const int32_t* a, int aLength, const int32_t* b, int bLength);
    // Fills an empty string from length bytes of text (up to its terminator when length is
    // negative), each widened by its own signedness; null or no bytes leave it empty.
    template <typename Byte> void assignBytes(const Byte* text, int length);
    // A copy with every character up to the first 0 passed through convert.
    String mapped(int32_t (*convert)(int32_t)) const;

    int mLength;
    int32_t* mChars;
    char* mNarrow;

    static const int32_t mNull[1];
};

// The operand's text goes first.
String operator+(const char* s, const String& string);
String internal_add(const int32_t* s, const String& string);
String operator+(char c, const String& string);
String internal_add(int32_t c, const String& string);
String operator+(bool value, const String& string);
String operator+(int value, const String& string);
String operator+(unsigned int value, const String& string);
String operator+(long value, const String& string);
String operator+(unsigned long value, const String& string);
String operator+(long long value, const String& string);
String operator+(unsigned long long value, const String& string);
String operator+(float value, const String& string);
String operator+(double value, const String& string);

} // namespace core
} // namespace rezezaz
