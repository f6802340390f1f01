#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "media/base/RegistryValues.h"
#include "media/base/TraceComponent.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

namespace {

class Probe : public TraceComponent {
public:
    Probe() { SetComponentNameFor("Probe", this); }
    int LoadTraceLevel() override { return LoadTraceLevelFrom("Probe"); }
};

bool ValueExists(plat::Registry& reg, const char* key, const char* name) {
    plat::Registry::Key k;
    if (reg.OpenKey(key, &k) != 0) {
        return false;
    }
    uint32_t size = 0;
    return reg.QueryValue(k, name, nullptr, nullptr, &size) == 0;
}

TEST(TraceComponent, NameIsClassAndHexAddressAndNeverLongerThan63) {
    RegistrySandbox sandbox;
    Probe probe;
    char expected[64];
    std::snprintf(expected, sizeof(expected), "Probe:%lx",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&probe)));
    EXPECT_STREQ(probe.GetComponentName(), expected);
    probe.SetComponentName(std::string(100, 'x').c_str());
    EXPECT_EQ(std::string(probe.GetComponentName()), std::string(63, 'x'));
    probe.SetComponentName(nullptr);
    EXPECT_STREQ(probe.GetComponentName(), "");
}

TEST(TraceComponent, LevelComesFromTheClassValueCreatedWithItsDefault) {
    RegistrySandbox sandbox;
    Probe probe;
    EXPECT_EQ(probe.GetTraceLevel(), 0u); // not loaded yet
    probe.LoadTraceLevel();
    EXPECT_EQ(probe.GetTraceLevel(), 0x100000u);
    EXPECT_TRUE(ValueExists(sandbox.Registry(), kRegTracingKey, "Probe"));
    EXPECT_TRUE(ValueExists(sandbox.Registry(), kRegTracingKey, "AllComponents"));
    SetRegistryDword(sandbox.Registry(), kRegTracingKey, "Probe", 0x400000);
    probe.LoadTraceLevel();
    EXPECT_EQ(probe.GetTraceLevel(), 0x400000u);
}

TEST(TraceComponent, AllComponentsOverridesEveryClassWithoutCreatingTheirValues) {
    RegistrySandbox sandbox;
    SetRegistryDword(sandbox.Registry(), kRegTracingKey, kRegAllComponents, 5);
    Probe probe;
    probe.LoadTraceLevel();
    EXPECT_EQ(probe.GetTraceLevel(), 5u);
    EXPECT_FALSE(ValueExists(sandbox.Registry(), kRegTracingKey, "Probe"));

    AudioSampleManager::Init();
    AudioSample* sample = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&sample, &probe);
    EXPECT_EQ(sample->GetTraceLevel(), 5u);
    EXPECT_EQ(AudioSampleManager::GetInstance()->GetTraceLevel(), 5u);
    EXPECT_FALSE(ValueExists(sandbox.Registry(), kRegTracingKey, "AudioSample"));
    sample->Release(&probe);
    AudioSampleManager::Shutdown();
}

} // namespace
