#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/res/ResourceModule.h"
#include "tests/res/TestPe.h"

namespace {

using plat::ResourceModule;
using Lookup = plat::ResourceModule::Lookup;
using Bytes = std::vector<uint8_t>;

std::string Fixture(const char* name) {
    return std::string(QUORVEX_FIXTURE_DIR) + "/" + name;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

int32_t Value32(std::span<const uint8_t> data, size_t at = 0) {
    int32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
}

// A string-table block: 16 counted UTF-16 strings.
Bytes StringBlock(const std::vector<std::u16string>& texts) {
    Bytes b;
    for (size_t i = 0; i < 16; ++i) {
        std::u16string t = i < texts.size() ? texts[i] : u"";
        b.push_back(static_cast<uint8_t>(t.size()));
        b.push_back(static_cast<uint8_t>(t.size() >> 8));
        for (char16_t c : t) {
            b.push_back(static_cast<uint8_t>(c));
            b.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    return b;
}

// Looks up every resource a skin is read for; the spans must lie inside the module's bytes
// (ASan reports any read outside).
void TouchEverything(const ResourceModule& m) {
    static const uint32_t types[] = {2, 6, 10, 100, 101, 102, 103, 104};
    volatile uint32_t sum = 0;
    for (uint32_t type : types) {
        for (uint32_t id : {0u, 1u, 2u, 10u, 12u, 13u, 100u, 110u, 300u, 302u, 303u, 304u}) {
            std::span<const uint8_t> data;
            if (m.Find(type, id, &data) == Lookup::Found) {
                for (uint8_t byte : data) {
                    sum = sum + byte;
                }
            }
        }
    }
    std::string text;
    for (uint32_t id : {1u, 2u, 3u, 17u, 190u, 191u, 65535u}) {
        m.LoadString(id, &text);
    }
}

TEST(ResourceModule, ReadsTheCompleteFixtureSkin) {
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromFile(Fixture("skin77.zsk"))) << m.Error();
    EXPECT_TRUE(m.IsLoaded());
    EXPECT_EQ(m.Path(), Fixture("skin77.zsk"));

    std::span<const uint8_t> data;
    ASSERT_EQ(m.Find(plat::kResourceRcdata, 300, &data), Lookup::Found);
    ASSERT_EQ(data.size(), 8u);
    EXPECT_EQ(Value32(data), 7);
    EXPECT_EQ(Value32(data, 4), 7);

    ASSERT_EQ(m.Find(104, 100, &data), Lookup::Found);
    ASSERT_EQ(data.size(), 8u);
    EXPECT_EQ(Value32(data), 10);
    EXPECT_EQ(Value32(data, 4), -20);

    ASSERT_EQ(m.Find(100, 302, &data), Lookup::Found);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), data.size()),
              std::string("Fixture Sans\0", 13));

    // A bitmap given as a BMP file is stored without its 14-byte file header.
    ASSERT_EQ(m.Find(plat::kResourceBitmap, 13, &data), Lookup::Found);
    EXPECT_EQ(Value32(data), 40);

    EXPECT_EQ(m.Find(103, 999, &data), Lookup::NotFound);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(m.Find(77, 300, &data), Lookup::NotFound);
}

TEST(ResourceModule, FindsEntriesUnderAnyLanguage) {
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromFile(Fixture("skin77.zsk"))) << m.Error();
    std::span<const uint8_t> data;
    ASSERT_EQ(m.Find(103, 130, &data), Lookup::Found); // stored under 0x409
    EXPECT_EQ(Value32(data), -5);
    ASSERT_EQ(m.Find(103, 140, &data), Lookup::Found); // stored under 0x800
    EXPECT_EQ(Value32(data), 800);

    // Two languages under one id: the first one present is taken.
    auto img = testpe::Build({{103, 5, 0x409, {1, 0, 0, 0}}, {103, 5, 0x800, {2, 0, 0, 0}}});
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size())) << m.Error();
    ASSERT_EQ(m.Find(103, 5, &data), Lookup::Found);
    EXPECT_EQ(Value32(data), 1);
}

TEST(ResourceModule, LoadsStringsFromBlocksOfSixteen) {
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromFile(Fixture("skin77.zsk"))) << m.Error();
    std::string text;
    ASSERT_TRUE(m.LoadString(1, &text));
    EXPECT_EQ(text, "Vale");
    ASSERT_TRUE(m.LoadString(190, &text)); // block 12, index 14
    EXPECT_EQ(text, "Solo en la piel");
    ASSERT_TRUE(m.LoadString(191, &text));
    EXPECT_EQ(text, "Opci\xC3\xB3n");
    EXPECT_FALSE(m.LoadString(2, &text)); // present block, empty string
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(m.LoadString(500, &text)); // no such block
    EXPECT_FALSE(m.LoadString(70000, &text));

    // Surrogate pairs become one UTF-8 sequence; a lone surrogate becomes U+FFFD.
    auto img = testpe::Build(
        {{6, 1, 0, StringBlock({u"", u"\U0001F600", std::u16string(1, char16_t(0xD800))})}});
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size())) << m.Error();
    ASSERT_TRUE(m.LoadString(1, &text));
    EXPECT_EQ(text, "\xF0\x9F\x98\x80");
    ASSERT_TRUE(m.LoadString(2, &text));
    EXPECT_EQ(text, "\xEF\xBF\xBD");
}

TEST(ResourceModule, RefusesStringBlocksThatRunPastTheResource) {
    Bytes block = StringBlock({u"one", u"two"});
    block.resize(2 + 6 + 2 + 3); // "two" is cut short
    auto img = testpe::Build({{6, 1, 0, block}});
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size())) << m.Error();
    std::string text;
    EXPECT_TRUE(m.LoadString(0, &text));
    EXPECT_EQ(text, "one");
    EXPECT_FALSE(m.LoadString(1, &text));
    EXPECT_FALSE(m.LoadString(15, &text)); // the counts before it are missing
}

TEST(ResourceModule, LoadsCopiesAndStaticBytesAndFrees) {
    Bytes bytes = ReadFile(Fixture("skin87.zsk"));
    ASSERT_FALSE(bytes.empty());
    ResourceModule copy;
    ASSERT_TRUE(copy.LoadFromBytes(bytes.data(), bytes.size()));
    ResourceModule inPlace;
    ASSERT_TRUE(inPlace.LoadFromStaticBytes(bytes.data(), bytes.size()));
    std::span<const uint8_t> a, b;
    ASSERT_EQ(copy.Find(10, 300, &a), Lookup::Found);
    ASSERT_EQ(inPlace.Find(10, 300, &b), Lookup::Found);
    EXPECT_NE(a.data(), b.data());
    EXPECT_GE(b.data(), bytes.data());
    EXPECT_LT(b.data(), bytes.data() + bytes.size());
    EXPECT_EQ(Value32(a), 8);
    std::fill(bytes.begin(), bytes.end(), 0); // the copy does not depend on the caller's bytes
    EXPECT_EQ(Value32(a), 8);

    copy.Free();
    EXPECT_FALSE(copy.IsLoaded());
    EXPECT_EQ(copy.Find(10, 300, &a), Lookup::NotFound);
}

TEST(ResourceModule, FailsCleanlyOnFilesThatAreNotModules) {
    ResourceModule m;
    EXPECT_FALSE(m.LoadFromFile(Fixture("no-such-file.zsk")));
    EXPECT_NE(m.Error().find("no-such-file.zsk"), std::string::npos);
    EXPECT_FALSE(m.LoadFromFile(QUORVEX_FIXTURE_DIR)); // a directory
    EXPECT_FALSE(m.LoadFromFile(Fixture("art/bmp24.bmp")));
    EXPECT_FALSE(m.IsLoaded());
    // A FIFO without a writer is refused at once rather than blocking the caller.
    std::string fifo = ::testing::TempDir() + "quorvex-skin-fifo.zsk";
    ::unlink(fifo.c_str());
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_FALSE(m.LoadFromFile(fifo));
    EXPECT_NE(m.Error().find("not a regular file"), std::string::npos);
    ::unlink(fifo.c_str());
    EXPECT_FALSE(m.LoadFromBytes(nullptr, 0));
    Bytes mz = {'M', 'Z'};
    EXPECT_FALSE(m.LoadFromBytes(mz.data(), mz.size()));

    // A caller's size limit: a file of exactly that size loads, one byte more is not read.
    const size_t size = ReadFile(Fixture("skin76.zsk")).size();
    EXPECT_FALSE(m.LoadFromFile(Fixture("skin76.zsk"), size - 1));
    EXPECT_NE(m.Error().find("file too large"), std::string::npos);
    ASSERT_TRUE(m.LoadFromFile(Fixture("skin76.zsk"), size));
    EXPECT_EQ(m.Size(), size);

    // A valid module after a failed load works, and a failed load after a good one empties it.
    ASSERT_TRUE(m.LoadFromFile(Fixture("skin76.zsk")));
    EXPECT_TRUE(m.Error().empty());
    EXPECT_FALSE(m.LoadFromBytes(mz.data(), mz.size()));
    std::span<const uint8_t> data;
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::NotFound);
}

TEST(ResourceModule, AcceptsAModuleWithoutResources) {
    auto img = testpe::Build({{10, 1, 0, {1}}});
    img.Put32(testpe::Image::kOptional + 112 + 16, 0); // no resource directory
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size())) << m.Error();
    std::span<const uint8_t> data;
    EXPECT_EQ(m.Find(10, 1, &data), Lookup::NotFound);
    std::string text;
    EXPECT_FALSE(m.LoadString(1, &text));
}

TEST(ResourceModule, RefusesDamagedHeaders) {
    const auto good = testpe::Build({{10, 300, 0, {7, 0, 0, 0, 7, 0, 0, 0}}});
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
        bool wide;
    } cases[] = {
        {"PE offset past the end", 0x3C, 0xFFFFFFF0u, true},
        {"no PE signature", 0x40, 0x00004551u, true},
        {"section count past the end", 0x46, 0xFFFF, false},
        {"optional header past the end", 0x54, 0xFFFF, false},
        {"unknown optional header", testpe::Image::kOptional, 0x1234, false},
        {"resource directory past the sections", testpe::Image::kOptional + 112 + 16, 0x7FFFF000u,
         true},
        {"resource size past the section", testpe::Image::kOptional + 112 + 20, 0x10000, true},
        {"section data past the end of file", testpe::Image::kSection + 20, 0x7FFFFFFFu, true},
        {"root directory with 131070 entries", testpe::Image::kResources + 12, 0xFFFFFFFFu, true},
    };
    for (const Case& c : cases) {
        auto img = good;
        if (c.wide) {
            img.Put32(c.offset, c.value);
        } else {
            img.Put16(c.offset, static_cast<uint16_t>(c.value));
        }
        ResourceModule m;
        EXPECT_FALSE(m.LoadFromBytes(img.bytes.data(), img.bytes.size())) << c.what;
        EXPECT_FALSE(m.Error().empty()) << c.what;
        EXPECT_FALSE(m.IsLoaded()) << c.what;
    }
}

TEST(ResourceModule, ReportsDamagedEntriesAsBadData) {
    const Bytes header = {7, 0, 0, 0, 7, 0, 0, 0};
    const auto good = testpe::Build({{10, 300, 0, header}, {103, 304, 0, {4, 0, 0, 0}}});
    ResourceModule m;
    std::span<const uint8_t> data;

    auto rvaPastEnd = good;
    rvaPastEnd.Put32(rvaPastEnd.dataEntries[0], 0xFFFFFFF8u);
    ASSERT_TRUE(m.LoadFromBytes(rvaPastEnd.bytes.data(), rvaPastEnd.bytes.size()));
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::BadData);
    EXPECT_EQ(m.Find(103, 304, &data), Lookup::Found); // the rest of the module still reads

    auto hugeSize = good;
    hugeSize.Put32(hugeSize.dataEntries[0] + 4, 0xFFFFFFFFu);
    ASSERT_TRUE(m.LoadFromBytes(hugeSize.bytes.data(), hugeSize.bytes.size()));
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::BadData);

    // The root's first entry (type 10) leads back to the root: the walk ends, it cannot loop.
    auto loop = good;
    loop.Put32(testpe::Image::kResources + 16 + 4, 0x80000000u);
    ASSERT_TRUE(m.LoadFromBytes(loop.bytes.data(), loop.bytes.size()));
    EXPECT_NE(m.Find(10, 300, &data), Lookup::Found);
    EXPECT_NE(m.Find(10, 10, &data), Lookup::Found);

    // The type entry names a data entry instead of a directory.
    auto notDirectory = good;
    notDirectory.Put32(
        testpe::Image::kResources + 16 + 4,
        static_cast<uint32_t>(notDirectory.dataEntries[0] - testpe::Image::kResources));
    ASSERT_TRUE(m.LoadFromBytes(notDirectory.bytes.data(), notDirectory.bytes.size()));
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::BadData);

    // A subdirectory offset past the resource area, and one whose counts run past it.
    auto pastArea = good;
    pastArea.Put32(testpe::Image::kResources + 16 + 4, 0x80000000u | 0x00FFFFF0u);
    ASSERT_TRUE(m.LoadFromBytes(pastArea.bytes.data(), pastArea.bytes.size()));
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::BadData);
    auto hugeCount = good;
    uint32_t typeDir = hugeCount.Get32(testpe::Image::kResources + 16 + 4) & 0x7FFFFFFFu;
    hugeCount.Put32(testpe::Image::kResources + typeDir + 12, 0xFFFFFFFFu);
    ASSERT_TRUE(m.LoadFromBytes(hugeCount.bytes.data(), hugeCount.bytes.size()));
    EXPECT_EQ(m.Find(10, 300, &data), Lookup::BadData);
    EXPECT_EQ(m.Find(103, 304, &data), Lookup::Found);
}

TEST(ResourceModule, ForEachVisitsWhatFindFindsOnceEach) {
    auto img = testpe::Build({{101, 5, 0, {5}},
                              {101, 9, 0, {9}},
                              {101, 12, 0, {12}},
                              {101, 14, 0, {14}},
                              {103, 5, 0, {50}}});
    const size_t typeDir =
        testpe::Image::kResources + (img.Get32(testpe::Image::kResources + 16 + 4) & 0x7FFFFFFFu);
    auto idEntry = [&](size_t n) { return typeDir + 16 + 8 * n; };
    img.Put32(img.dataEntries[1], 0xFFFFFFF8u);           // id 9: its data lies outside the module
    img.Put32(idEntry(2), 0x80000000u | 12);              // id 12: a named entry
    img.Put32(idEntry(3) + 4, img.Get32(idEntry(0) + 4)); // id 14 shares id 5's languages
    ResourceModule m;
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size()));
    std::vector<std::pair<uint32_t, Bytes>> seen;
    m.ForEach(101, [&seen](uint32_t id, std::span<const uint8_t> data) {
        seen.push_back({id, Bytes(data.begin(), data.end())});
    });
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, Bytes>>{{5, {5}}, {14, {5}}}));
    for (const auto& [id, bytes] : seen) {
        std::span<const uint8_t> data;
        ASSERT_EQ(m.Find(101, id, &data), Lookup::Found);
        EXPECT_EQ(Bytes(data.begin(), data.end()), bytes);
    }
    for (uint32_t type : {104u, 0x80000065u}) { // no such type; a named one
        m.ForEach(type, [type](uint32_t, std::span<const uint8_t>) { ADD_FAILURE() << type; });
    }

    // Every id entry, the damaged ones too, as Find answers them: id 9's data outside the
    // module, and id 5's entry no longer leading to its languages.
    std::vector<std::pair<uint32_t, Lookup>> entries;
    auto collect = [&entries](uint32_t id, Lookup lookup, std::span<const uint8_t>) {
        entries.push_back({id, lookup});
    };
    m.ForEachEntry(101, collect);
    EXPECT_EQ(entries, (std::vector<std::pair<uint32_t, Lookup>>{
                           {5, Lookup::Found}, {9, Lookup::BadData}, {14, Lookup::Found}}));
    img.Put32(idEntry(0) + 4, img.Get32(idEntry(0) + 4) & 0x7FFFFFFFu);
    ASSERT_TRUE(m.LoadFromBytes(img.bytes.data(), img.bytes.size()));
    entries.clear();
    m.ForEachEntry(101, collect);
    std::span<const uint8_t> data;
    EXPECT_EQ(m.Find(101, 5, &data), Lookup::BadData);
    EXPECT_EQ(entries, (std::vector<std::pair<uint32_t, Lookup>>{
                           {5, Lookup::BadData}, {9, Lookup::BadData}, {14, Lookup::Found}}));
}

// The file offset just past a PE image's resource directory, read from its headers.
size_t ResourceAreaEnd(const Bytes& b) {
    auto get16 = [&b](size_t at) { return static_cast<uint32_t>(b.at(at) | b.at(at + 1) << 8); };
    auto get32 = [&](size_t at) { return get16(at) | get16(at + 2) << 16; };
    const size_t pe = get32(0x3C);
    const size_t optional = pe + 24;
    const size_t directories = optional + (get16(optional) == 0x20B ? 112 : 96);
    const uint32_t rva = get32(directories + 2 * 8);
    const uint32_t size = get32(directories + 2 * 8 + 4);
    const size_t sections = optional + get16(pe + 20);
    for (uint32_t i = 0; i < get16(pe + 6); ++i) {
        const size_t s = sections + 40 * i;
        const uint32_t va = get32(s + 12);
        if (rva >= va && rva - va < get32(s + 16)) {
            return get32(s + 20) + (rva - va) + size;
        }
    }
    ADD_FAILURE() << "no section holds the resource directory";
    return 0;
}

TEST(ResourceModule, SurvivesEveryTruncationOfAFixture) {
    for (const char* name : {"skin77.zsk", "skin0_100.zsk"}) {
        Bytes bytes = ReadFile(Fixture(name));
        ASSERT_GT(bytes.size(), 512u) << name;
        const size_t areaEnd = ResourceAreaEnd(bytes);
        ASSERT_LT(areaEnd, bytes.size()) << name << ": some cut copies keep the whole area";
        for (size_t size = 0; size < bytes.size(); ++size) {
            // Each length in its own allocation, so ASan sees any read past the end.
            Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            ResourceModule m;
            const bool loaded = m.LoadFromBytes(cut.data(), cut.size());
            // A copy that cuts into the resource directory must fail; one that keeps it whole
            // loads, and every lookup stays inside its bytes.
            ASSERT_EQ(loaded, size >= areaEnd) << name << " cut to " << size;
            if (loaded) {
                TouchEverything(m);
            }
        }
    }
}

TEST(ResourceModule, SurvivesRandomCorruption) {
    Bytes original = ReadFile(Fixture("skin77.zsk"));
    ASSERT_FALSE(original.empty());
    std::mt19937 random(1234);
    size_t loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = original;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly within the headers and the resource directory, where the offsets live.
            size_t at = random() % 2 ? random() % 0x400 : random() % bytes.size();
            bytes[at % bytes.size()] = static_cast<uint8_t>(random());
        }
        ResourceModule m;
        if (m.LoadFromBytes(bytes.data(), bytes.size())) {
            ++loaded;
            TouchEverything(m);
        }
    }
    EXPECT_GT(loaded, 0u);
}

} // namespace
