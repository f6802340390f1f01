#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "app/phone/DeploymentSettings.h"

namespace {

std::string WriteTemp(const std::string& text) {
    char path[] = "/tmp/qvdeployXXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << text;
    return path;
}

} // namespace

TEST(DeploymentSettings, ReadsTheServiceSectionAndDefaultsTheBindAddress) {
    std::string path = WriteTemp("[service]\r\nsip_server = sip.quorvex.test\r\n"
                                 "OUTBOUND_PROXY=proxy.quorvex.test\r\n");
    DeploymentSettings s = DeploymentSettings::LoadFrom(path);
    EXPECT_EQ("sip.quorvex.test", s.sipServerHost);
    EXPECT_EQ("proxy.quorvex.test", s.outboundProxyHost);
    EXPECT_EQ("0.0.0.0", s.sipBindAddress);
    std::remove(path.c_str());

    DeploymentSettings missing = DeploymentSettings::LoadFrom("/nonexistent/deployment.ini");
    EXPECT_EQ("", missing.sipServerHost);
    EXPECT_EQ("0.0.0.0", missing.sipBindAddress);
}

TEST(DeploymentSettings, EnvironmentNamesAnotherFile) {
    std::string path = WriteTemp("[service]\nsip_server=127.0.0.2\noutbound_proxy=127.0.0.2\n"
                                 "sip_bind_address=127.0.0.1\n");
    setenv("QUORVEX_DEPLOYMENT", path.c_str(), 1);
    EXPECT_EQ(path, DeploymentSettings::FilePath());
    DeploymentSettings s = DeploymentSettings::Load();
    EXPECT_EQ("127.0.0.1", s.sipBindAddress);
    EXPECT_EQ("127.0.0.2", s.sipServerHost);
    unsetenv("QUORVEX_DEPLOYMENT");
    EXPECT_NE(path, DeploymentSettings::FilePath());
    std::remove(path.c_str());
}
