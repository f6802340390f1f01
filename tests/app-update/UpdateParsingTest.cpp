#include <gtest/gtest.h>

#include "app/update/InstallerName.h"
#include "app/update/UpdateDownloader.h"
#include "app/update/UpdateSettings.h"
#include "app/update/pInternetParser.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(pInternetParserTest, EncodeEscapesControlBytesSpacesAndTheFormsOwnCharacters) {
    const std::pair<Pairs, std::string> cases[] = {
        {{}, ""},
        {{{"action", "size"}, {"filepath", "rel/2/setup.run"}},
         "action=size&filepath=rel/2/setup.run"},
        {{{"a", "x y"}, {"b", std::string("\x01\x1f\x20\x21", 4)}}, "a=x%20y&b=%01%1F%20!"},
        {{{"a", "1&b=2%"}}, "a=1%26b%3D2%25"},
        {{{"a", ""}, {"", "x"}, {"c", "\x7f\xe9"}}, "c=\x7f\xe9"}, // empties left out
    };
    for (const auto& [pairs, expected] : cases) {
        pInternetParser parser;
        for (const auto& [name, value] : pairs) {
            parser.AddParam(name, value);
        }
        EXPECT_EQ(parser.Encode(), expected);
    }
}

TEST(pInternetParserTest, ParseReadsTheBracketedItems) {
    const std::tuple<std::string, bool, Pairs> cases[] = {
        {"status=success", false, {{"kept", "1"}}}, // no '[': the old pairs stay
        {"[]", true, {}},
        {"junk[status=success&size=12]tail", true, {{"status", "success"}, {"size", "12"}}},
        {"[&a=1&&b=x=y]", true, {{"a", "1"}, {"&b", "x=y"}}}, // one '&' is skipped
        {"[a=1&b", true, {{"a", "1"}}},                       // no '=' left: the end
        {"[abc]", true, {}},
        {"[=x&b=2]", true, {{"", "x"}, {"b", "2"}}}, // '=' first: an empty name
        {"[a=1&b&c=3&d=4]", true, {{"a", "1"}, {"b&c", "3"}, {"d", "4"}}},
        {"[a=1&b]c=3", true, {{"a", "1"}}}, // the name stops at ']'
        {"[a=1", true, {{"a", "1"}}},       // no ']': to the end
        {"[a=]&b=2]", true, {{"a", ""}}},
    };
    for (const auto& [reply, ok, expected] : cases) {
        SCOPED_TRACE(reply);
        pInternetParser parser;
        parser.AddParam("kept", "1");
        EXPECT_EQ(parser.Parse(reply), ok);
        ASSERT_EQ(parser.Count(), expected.size());
        for (const auto& [name, value] : expected) {
            ASSERT_NE(parser.FindParam(name), nullptr) << name;
            EXPECT_EQ(*parser.FindParam(name), value);
        }
    }
    pInternetParser twice;
    twice.Parse("[k=first&k=second]");
    EXPECT_EQ(*twice.FindParam("k"), "first");
    EXPECT_EQ(twice.FindParam("K"), nullptr);
}

TEST(UpdateDownloaderTest, TheAnnouncedSizeMustBeASaneWholeNumberOfASuccess) {
    const std::pair<const char*, uint64_t> cases[] = {
        {"[status=success&size=1]", 1},
        {"[size=1073741824&status=success]", 1073741824},
        {"[status=success&size=1073741825]", 0}, // above the limit
        {"[status=success&size=0]", 0},
        {"[status=success&size=]", 0},
        {"[status=success&size=-5]", 0},
        {"[status=success&size=12 ]", 0},
        {"[status=success&size=99999999999999999999]", 0},
        {"[status=Success&size=10]", 0},
        {"[status=success]", 0},
        {"status=success&size=10", 0},
    };
    for (const auto& [reply, size] : cases) {
        EXPECT_EQ(UpdateDownloader::AnnouncedSize(reply), size) << reply;
    }
}

TEST(UpdateDownloaderTest, NamesAndPaths) {
    const std::pair<const char*, bool> names[] = {
        {"setup-2.0_1.run", true}, {"version.txt", true}, {"", false},
        {".run", false},           {"..", false},         {"a/b", false},
        {"a\\b", false},           {"a b", false},        {"\xc3\xa9.run", false},
        {"Installer.exe", true},
    };
    for (const auto& [name, plain] : names) {
        EXPECT_EQ(IsPlainFileName(name), plain) << name;
    }
    EXPECT_FALSE(IsPlainFileName(std::string(256, 'a')));
    EXPECT_EQ(UpdateDownloader::ServerPath("", "version.txt"), "version.txt");
    EXPECT_EQ(UpdateDownloader::ServerPath("rel/2", "a.run"), "rel/2/a.run");
    EXPECT_EQ(UpdateDownloader::ServerPath("rel/2/", "a.run"), "rel/2/a.run");
    EXPECT_EQ(UpdateSettings::BaseUrl(""), "");
    EXPECT_EQ(UpdateSettings::BaseUrl("updates.example"), "http://updates.example/");
    EXPECT_EQ(UpdateSettings::BaseUrl("https://u.example/q"), "https://u.example/q/");
}

} // namespace
