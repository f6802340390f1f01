#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "app/resources/BuiltInModule.h"
#include "app/skinfiles/SkinFiles.h"
#include "platform/core/Paths.h"
#include "skin/SkinResources.h"
#include "tests/app-login/FakeLoginView.h"
#include "tests/res/TestPe.h"
#include "tests/skin/TestSkin.h"
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

// A form that records which module each rebuild ran on and answers as told for skin files.
class RecordingForm final : public SkinControl {
public:
    enum class Answer { Yes, No, Throw };
    bool ApplySkin() override {
        modules.push_back(g_SkinModule);
        if (g_SkinModule == ProgramModule() || answer == Answer::Yes) {
            return true;
        }
        if (answer == Answer::Throw) {
            throw std::bad_alloc();
        }
        return false;
    }
    void Show(int) override {}

    std::vector<const plat::ResourceModule*> modules;
    Answer answer = Answer::Yes;
};

TEST(SkinFiles, TheChosenSkinStaysOnlyWhenItsHeaderIsAcceptedAndTheFormRebuilds) {
    using Answer = RecordingForm::Answer;
    enum class File { Header, Damaged, NotAModule, None };
    struct Case {
        const char* what;
        File file;
        std::vector<uint8_t> header; // empty: none
        Answer answer;
        bool kept;
        std::vector<int> messages;
        std::vector<testpe::Resource> more = {};
        const char* trace = nullptr;
        const std::vector<uint8_t>* bytes = nullptr; // the file's bytes instead
    };
    // A position out of bounds; the login form's background and the call window's face as
    // bitmaps of 8 bits per pixel (they load as a transparent image).
    const std::vector<uint8_t> depth8 = Ints({40, 9, 9, 1 | 8 << 16, 0, 0, 0, 0, 0, 0});
    const testpe::Resource far{kSkinTypePosition, 1, 0, Ints({0, -kMaxSkinSide - 1})};
    const testpe::Resource login{plat::kResourceBitmap, 105, 0, depth8};
    const testpe::Resource face{plat::kResourceBitmap, 229, 0, depth8};
    const testpe::Resource misaligned{kSkinTypeValue, 5, 0, Ints({1}), 2};
    // A skin file as large as a skin may be, and one 512 bytes larger.
    const std::vector<uint8_t> atBudget =
        TestSkin().Value(kSkinIdValueId, 1).PadTo(kMaxSkinFileBytes).Bytes();
    const std::vector<uint8_t> pastIt =
        TestSkin().Value(kSkinIdValueId, 1).PadTo(kMaxSkinFileBytes + 512).Bytes();
    const Case cases[] = {
        {"7, 7", File::Header, Ints({7, 7}), Answer::Yes, true, {}},
        {"0, 100", File::Header, Ints({0, 100}), Answer::Yes, true, {}},
        {"signed", File::Header, Ints({INT_MIN, INT_MAX}), Answer::Yes, true, {}},
        {"8, 7", File::Header, Ints({8, 7}), Answer::Yes, false, {}},
        {"7, 6", File::Header, Ints({7, 6}), Answer::Yes, false, {}},
        {"no header", File::Header, {}, Answer::Yes, false, {4}},
        {"one value", File::Header, Ints({7}), Answer::Yes, false, {4}},
        {"header outside the file", File::Damaged, Ints({7, 7}), Answer::Yes, false, {5}},
        {"rebuild throws", File::Header, Ints({7, 7}), Answer::Throw, false, {5}},
        {"rebuild fails", File::Header, Ints({7, 7}), Answer::No, false, {}},
        {"not a module", File::NotAModule, {}, Answer::Yes, false, {}},
        {"no file", File::None, {}, Answer::Yes, false, {}},
        {"far", File::Header, Ints({7, 7}), Answer::Yes, false, {5}, {far}, "pos de id=1"},
        {"login", File::Header, Ints({7, 7}), Answer::Yes, false, {}, {login}, "fondo 105"},
        {"face", File::Header, Ints({7, 7}), Answer::Yes, false, {}, {face}, "fondo 229"},
        {"misaligned",
         File::Header,
         Ints({7, 7}),
         Answer::Yes,
         false,
         {5},
         {misaligned},
         "(3) no pudo ser cargado el valor de id=5"},
        {"at the byte budget", File::Header, {}, Answer::Yes, true, {}, {}, nullptr, &atBudget},
        {"past it", File::Header, {}, Answer::Yes, false, {5}, {}, "limite de bytes", &pastIt},
    };
    RegistrySandbox sandbox;
    TraceCapture trace;
    setenv("QUORVEX_HOME", sandbox.Dir().c_str(), 1);
    ASSERT_TRUE(plat::MakeDirs(plat::JoinPath(plat::DataDir(), "Skins")));
    plat::Registry::Key key;
    ASSERT_EQ(plat::kErrorSuccess, sandbox.Registry().CreateKey("Software\\Quorvex", &key));
    uint32_t id = 0x1a;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox.Registry().SetValue(key, "Skin", plat::kRegDword, &id, 4);
        EXPECT_EQ(plat::JoinPath(plat::DataDir(), "Skins"),
                  SkinFilePath(id).substr(0, SkinFilePath(id).rfind('/')));
        std::vector<testpe::Resource> resources = {{kSkinTypeValue, kSkinIdValueId, 0, Ints({1})}};
        if (!c.header.empty()) {
            resources.push_back({plat::kResourceRcdata, kSkinHeaderId, 0, c.header});
        }
        resources.insert(resources.end(), c.more.begin(), c.more.end());
        testpe::Image image = testpe::Build(resources);
        if (c.file == File::Damaged) {
            image.Put32(image.dataEntries[1], 0x7FFFFFF0u);
        }
        std::ofstream file;
        if (c.file != File::None) {
            file.open(SkinFilePath(id), std::ios::binary);
        }
        if (c.file == File::NotAModule) {
            file << "not a module";
        } else if (c.bytes) {
            file.write(reinterpret_cast<const char*>(c.bytes->data()),
                       static_cast<std::streamsize>(c.bytes->size()));
        } else {
            file.write(reinterpret_cast<const char*>(image.bytes.data()),
                       static_cast<std::streamsize>(image.bytes.size()));
        }
        file.close();

        RecordingForm form;
        form.answer = c.answer;
        std::vector<int> shown;
        LoadSkinAtStart(form, [&shown](int message) { shown.push_back(message); });
        EXPECT_EQ(c.messages, shown);
        ASSERT_FALSE(form.modules.empty());
        if (c.kept) {
            ASSERT_TRUE(LoadedSkinModule());
            EXPECT_EQ(LoadedSkinModule().get(), g_SkinModule);
            EXPECT_EQ(1u, form.modules.size());
        } else {
            // The built-in skin took over, and the form was rebuilt from it last.
            EXPECT_EQ(ProgramModule(), g_SkinModule);
            EXPECT_FALSE(LoadedSkinModule());
            EXPECT_EQ(ProgramModule(), form.modules.back());
        }
        if (c.trace) {
            EXPECT_TRUE(trace.Has(c.trace));
        }
        LoadedSkinModule().reset();
        ++id;
    }
    EXPECT_TRUE(trace.Has("CUserLogin::LoadSkin: excepcion: std::bad_alloc"));
    EXPECT_TRUE(trace.Has("CUserLogin::LoadSkin: el skin no tiene todos los controles: el fondo "
                          "229 no es una imagen"));
    g_SkinModule = nullptr;
    unsetenv("QUORVEX_HOME");
}

} // namespace
