#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "app/login/SkinFiles.h"
#include "app/resources/BuiltInModule.h"
#include "platform/core/Paths.h"
#include "skin/SkinResources.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/res/TestPe.h"
#include "tests/support/RegistrySandbox.h"

namespace {

std::vector<uint8_t> Ints(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> out;
    for (int32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        }
    }
    return out;
}

// A form that records which module each rebuild ran on, and answers as told.
class RecordingForm final : public SkinControl {
public:
    bool ApplySkin() override {
        modules.push_back(g_SkinModule);
        if (g_SkinModule != ProgramModule()) {
            if (throwOnSkin) {
                throw std::bad_alloc();
            }
            return skinResult;
        }
        return true;
    }
    void Show(int) override {}

    std::vector<const plat::ResourceModule*> modules;
    bool skinResult = true;
    bool throwOnSkin = false;
};

class SkinFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUORVEX_HOME", sandbox_.Dir().c_str(), 1);
        ASSERT_TRUE(plat::MakeDirs(plat::JoinPath(plat::DataDir(), "Skins")));
    }
    void TearDown() override {
        g_SkinModule = nullptr;
        LoadedSkinModule().reset();
        unsetenv("QUORVEX_HOME");
    }

    void SetSkin(uint32_t id) {
        plat::Registry::Key key;
        ASSERT_EQ(plat::kErrorSuccess, sandbox_.Registry().CreateKey("Software\\Quorvex", &key));
        sandbox_.Registry().SetValue(key, "Skin", plat::kRegDword, &id, 4);
    }
    void WriteSkin(uint32_t id, const testpe::Image& image) {
        std::ofstream(SkinFilePath(id), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.bytes.data()),
                   static_cast<std::streamsize>(image.bytes.size()));
    }
    // Runs the load; the messages shown.
    std::vector<int> Load() {
        std::vector<int> shown;
        LoadSkinAtStart(form_, [&shown](int id) { shown.push_back(id); });
        return shown;
    }
    bool OnBuiltIn() const { return g_SkinModule == ProgramModule() && !LoadedSkinModule(); }

    RegistrySandbox sandbox_;
    TraceCapture trace_;
    RecordingForm form_;
};

TEST_F(SkinFilesTest, TheHeaderRuleDecidesWhetherTheSkinStays) {
    struct Case {
        std::vector<uint8_t> header; // empty: no header resource
        bool kept;
        std::vector<int> messages;
    };
    const Case cases[] = {
        {Ints({7, 7}), true, {}},
        {Ints({0, 100}), true, {}},
        {Ints({INT_MIN, INT_MAX}), true, {}}, // compared as signed values
        {Ints({8, 7}), false, {}},
        {Ints({7, 6}), false, {}},
        {Ints({-1, -1}), false, {}},
        {{}, false, {4}},
        {Ints({7}), false, {4}}, // one value only
    };
    uint32_t id = 0x1a;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "skin " << std::hex << id);
        std::vector<testpe::Resource> resources = {{kSkinTypeValue, kSkinIdValueId, 0, Ints({1})}};
        if (!c.header.empty()) {
            resources.push_back({plat::kResourceRcdata, kSkinHeaderId, 0, c.header});
        }
        WriteSkin(id, testpe::Build(resources));
        SetSkin(id);
        form_.modules.clear();
        EXPECT_EQ(c.messages, Load());
        if (c.kept) {
            ASSERT_TRUE(LoadedSkinModule());
            EXPECT_EQ(LoadedSkinModule().get(), g_SkinModule);
            EXPECT_EQ(1u, form_.modules.size());
        } else {
            EXPECT_TRUE(OnBuiltIn());
            ASSERT_FALSE(form_.modules.empty());
            EXPECT_EQ(ProgramModule(), form_.modules.back());
        }
        LoadedSkinModule().reset();
        ++id;
    }
}

TEST_F(SkinFilesTest, ADamagedSkinShowsMessage5AndTheBuiltInSkinTakesOver) {
    // A header whose data lies outside the file.
    testpe::Image image = testpe::Build({{plat::kResourceRcdata, kSkinHeaderId, 0, Ints({7, 7})}});
    image.Put32(image.dataEntries[0], 0x7FFFFFF0u);
    WriteSkin(0x2b, image);
    SetSkin(0x2b);
    EXPECT_EQ(std::vector<int>{5}, Load());
    EXPECT_TRUE(OnBuiltIn());
    EXPECT_EQ(1u, form_.modules.size()); // the damaged skin was never applied

    // A failure thrown while the form rebuilds from the skin.
    WriteSkin(0x2c, testpe::Build({{plat::kResourceRcdata, kSkinHeaderId, 0, Ints({7, 7})}}));
    SetSkin(0x2c);
    form_.throwOnSkin = true;
    form_.modules.clear();
    EXPECT_EQ(std::vector<int>{5}, Load());
    EXPECT_TRUE(OnBuiltIn());
    ASSERT_EQ(2u, form_.modules.size());
    EXPECT_EQ(ProgramModule(), form_.modules[1]);
    EXPECT_TRUE(trace_.Has("excepcion"));
}

TEST_F(SkinFilesTest, SkinsThatCannotBeUsedFallBackWithoutAMessage) {
    // No setting, a setting naming no file, a file that is no module, a skin without controls.
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(OnBuiltIn());
    EXPECT_EQ(1u, form_.modules.size());

    SetSkin(0x3d);
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(OnBuiltIn());
    EXPECT_EQ(SkinFilePath(0x3d), plat::JoinPath(plat::DataDir(), "Skins/3d.zsk"));

    std::ofstream(SkinFilePath(0x3d)) << "not a module";
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(OnBuiltIn());
    EXPECT_TRUE(trace_.Has("no se pudo cargar"));

    WriteSkin(0x3d, testpe::Build({{plat::kResourceRcdata, kSkinHeaderId, 0, Ints({7, 7})}}));
    form_.skinResult = false;
    form_.modules.clear();
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(OnBuiltIn());
    ASSERT_EQ(2u, form_.modules.size());
    EXPECT_NE(ProgramModule(), form_.modules[0]);
    EXPECT_EQ(ProgramModule(), form_.modules[1]);
}

} // namespace
