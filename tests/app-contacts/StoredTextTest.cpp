#include <gtest/gtest.h>

#include <string>

#include "app/contacts/StoredText.h"

namespace {

using namespace storedtext;

const std::string kFix = "\xEF\xBF\xBD"; // U+FFFD

TEST(StoredTextTest, MakeValidUtf8KeepsWellFormedTextAndReplacesEachBadByte) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x9E", "Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x9E"},
        {"a\x80z", "a" + kFix + "z"},                    // stray continuation byte
        {"ab\xC3", "ab" + kFix},                         // sequence cut at the end
        {"\xE2\x82", kFix + kFix},                       // cut three-byte sequence
        {"\xC0\x80", kFix + kFix},                       // overlong NUL
        {"\xE0\x9F\xBF", kFix + kFix + kFix},            // overlong below U+0800
        {"\xE0\xA0\x80", "\xE0\xA0\x80"},                // U+0800, the first that is not
        {"\xED\xA0\x80", kFix + kFix + kFix},            // a surrogate
        {"\xED\x9F\xBF", "\xED\x9F\xBF"},                // U+D7FF, just below them
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},        // U+10FFFF
        {"\xF4\x90\x80\x80", kFix + kFix + kFix + kFix}, // past U+10FFFF
        {"\xF5\x80", kFix + kFix},
        {std::string("a\0b", 3), "a" + kFix + "b"}, // a NUL cannot be stored in a string value
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MakeValidUtf8(c.in), c.out) << c.in;
    }
}

TEST(StoredTextTest, FieldsAreCutBetweenCharactersAtTheirLength) {
    const std::string a23(23, 'a');
    struct Case {
        std::string in;
        size_t max;
        std::string out;
    } cases[] = {
        {a23 + "b", kNameLength, a23 + "b"},  // exactly 24
        {a23 + "bc", kNameLength, a23 + "b"}, // one past
        {a23 + "\xC3\xA9", kNameLength, a23}, // é would end at byte 25
        {std::string(22, 'a') + "\xC3\xA9", kNameLength, std::string(22, 'a') + "\xC3\xA9"},
        {a23 + "\xF0\x9F\x93\x9E", kNameLength, a23}, // four-byte character
        {std::string(38, '5') + "\xE2\x82\xAC", kNumberLength, std::string(38, '5')},
        {std::string(40, '5'), kNumberLength, std::string(39, '5')},
        {a23 + "\xFF\xFF", kNameLength, a23}, // made valid first: 3 bytes each
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ForField(c.in, c.max), c.out) << c.in;
    }
}

} // namespace
