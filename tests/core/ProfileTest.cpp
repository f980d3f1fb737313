// The unattended run's profile: the settings it loads, and what it leaves alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "IsolatedEnvironment.h"
#include "core/mdlMain.h"

namespace {

using namespace qv;
using qv::test::writeFile;

class Profile : public ::testing::Test {
protected:
    std::string profile(const std::string& text) {
        const std::string path = env_.temp().file("profile.ini");
        writeFile(path, text);
        return path;
    }
    qv::test::IsolatedEnvironment env_;
};

TEST_F(Profile, LoadsEverySettingButTheServer) {
    const std::string path = profile(
        "[General]\nLastServer=ignored\nLoggingLevel=1\nTarget=LDAP://127.0.0.1:389/cn=Recipients,o=Org\n"
        "Field=extension-attribute-2\nPrefix=DL:\n"
        "[Authentication]\nUser=writer\nPassword=writer-pw\nDomain=CORP\nAdmin=TRUE\n");
    LoadProfileSettings(path);
    const ModuleState& m = mdl();
    EXPECT_EQ(m.strServer, "");
    EXPECT_EQ(m.strLoggingLevel, "1");
    EXPECT_EQ(m.strTarget, "LDAP://127.0.0.1:389/cn=Recipients,o=Org");
    EXPECT_EQ(m.strField, "extension-attribute-2");
    EXPECT_EQ(m.strPrefix, "DL:");
    EXPECT_EQ(mdl().objConnection->LogonString(), "dc=CORP,cn=writer,cn=admin");
    EXPECT_EQ(mdl().objConnection->Password(), "writer-pw");
    // The unattended run neither reads nor creates the user's settings.
    EXPECT_FALSE(std::filesystem::exists(env_.temp().file("config")));

    // An empty profile gives the defaults.
    ResetModuleState();
    LoadProfileSettings(profile(""));
    EXPECT_EQ(mdl().strLoggingLevel, "0");
    EXPECT_EQ(mdl().strField, "extension-attribute-15");
    EXPECT_EQ(mdl().strPrefix, "QVL=");
    EXPECT_TRUE(mdl().objConnection->isCurrentUser());
}

}  // namespace
