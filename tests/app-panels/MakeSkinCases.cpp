// quorvex_make_skin_cases DIR [--files]: writes the skins of tests/app-panels/SkinCases.h into
// DIR, made from the program's built-in skin. Without --files: the skin forms fuzzer's seeds,
// each case at its bound, past it, and at the value it was found with. With --files: the skin
// files of scripts/skin-memory, each named <skin id in hex>.zsk: 401 the list font 32768 high,
// 402 three 4096 x 4096 pictures of a depth that loads transparent, 403 the font heights 2
// bytes off, 404 the built-in skin itself, 405 three 4096 x 4096 pictures in 32 bits (a 200 MB
// file), 406 a skin at the pixel and the byte budget and 407 the same under another id, to
// switch from one to the other. Exit status 1 when a file cannot be written (the message names
// it), 2 on a wrong call.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/resources/BuiltInModule.h"
#include "tests/app-panels/SkinCases.h"

namespace {

bool Write(const std::string& path, const TestSkin& skin) {
    const std::vector<uint8_t> bytes = skin.Bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "quorvex_make_skin_cases: cannot write %s\n", path.c_str());
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool files = argc == 3 && std::strcmp(argv[2], "--files") == 0;
    if (argc != 2 && !files) {
        std::fprintf(stderr, "usage: quorvex_make_skin_cases DIR [--files]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const plat::ResourceModule& builtIn = *ProgramModule();
    using namespace skincases;
    auto named = [&dir](int32_t id) {
        char name[16];
        std::snprintf(name, sizeof name, "%x.zsk", static_cast<unsigned>(id));
        return dir + "/" + name;
    };
    const bool ok =
        files ? Write(named(kFontHeightSkin), FontHeight(builtIn, 32768)) &&
                    Write(named(kLargePicturesSkin), LargePictures(builtIn, 4096, 4096)) &&
                    Write(named(kMisalignedSkin), MisalignedFontHeights(builtIn, 2)) &&
                    Write(named(kBuiltInCopySkin), BuiltIn(builtIn, kBuiltInCopySkin)) &&
                    Write(named(kLargePixelsSkin), LargePicturesInPixels(builtIn, 4096)) &&
                    Write(named(kBudgetsSkin), AtBothBudgets(builtIn, kBudgetsSkin)) &&
                    Write(named(kBudgetsSkin + 1), AtBothBudgets(builtIn, kBudgetsSkin + 1))
              : Write(dir + "/font-1024.zsk", FontHeight(builtIn, 1024)) &&
                    Write(dir + "/font-1025.zsk", FontHeight(builtIn, 1025)) &&
                    Write(dir + "/font-32768.zsk", FontHeight(builtIn, 32768)) &&
                    Write(dir + "/pictures-1024x1500.zsk", LargePictures(builtIn, 1024, 1500)) &&
                    Write(dir + "/pictures-4096x4096.zsk", LargePictures(builtIn, 4096, 4096)) &&
                    Write(dir + "/misaligned-4.zsk", MisalignedFontHeights(builtIn, 4)) &&
                    Write(dir + "/misaligned-2.zsk", MisalignedFontHeights(builtIn, 2));
    return ok ? 0 : 1;
}
