// The unattended run's profile: reading INI values, loading the settings from
// it, and finding it from the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "IsolatedEnvironment.h"
#include "core/clsKVOR.h"
#include "core/mdlMain.h"
#include "platform/ProgramFolder.h"

namespace {

using namespace qv;
using qv::test::writeFile;
using namespace std::string_literals;

class Profile : public ::testing::Test {
protected:
    std::string profile(const std::string& text) {
        const std::string path = env_.temp().file("profile.ini");
        writeFile(path, text);
        return path;
    }
    std::string read(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& fallback = "<default>") {
        return kvor_.GetPrivateProfileString(section, key, fallback, path);
    }

    qv::test::IsolatedEnvironment env_;
    clsKVOR kvor_;
};

TEST_F(Profile, IniRulesForNamesCommentsAndBlanks) {
    const std::string path = profile(
        "; Quorvel profile\r\n"
        "[general]\r\n"
        "  target =  LDAP://srv/o=Org  \r\n"
        "TARGET=second\r\n"
        ";Prefix=commented\r\n"
        "   ; Field=commented too\r\n"
        "Prefix\t=\tP= ; not a comment\r\n"
        "Empty=\r\n"
        "no equals sign\r\n"
        "[ Authentication ]\n"
        "User=\"quoted user\"\n"
        "Password='  spaced  '\n"
        "Domain=\"unbalanced\n"
        "[General]\n"
        "Field=from the second section\n"
        "Target=not reached\n");
    EXPECT_EQ(read(path, "General", "Target"), "LDAP://srv/o=Org");  // case, blanks, first match
    EXPECT_EQ(read(path, "GENERAL", "prefix"), "P= ; not a comment");
    EXPECT_EQ(read(path, "General", "Field"), "from the second section");
    EXPECT_EQ(read(path, "General", "Empty"), "");                    // present and empty: not the default
    EXPECT_EQ(read(path, "General", "Missing"), "<default>");
    EXPECT_EQ(read(path, "Nowhere", "Target"), "<default>");
    EXPECT_EQ(read(path, "Authentication", "User"), "quoted user");   // one pair of quotes removed
    EXPECT_EQ(read(path, "Authentication", "Password"), "spaced");    // then leading blanks go too
    EXPECT_EQ(read(path, "Authentication", "Domain"), "\"unbalanced");
}

TEST_F(Profile, ValuesAreCutTo254Characters) {
    std::string value(300, 'v');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = char('a' + i % 26);
    const std::string path = profile("[General]\nTarget=" + value + "\n");
    EXPECT_EQ(read(path, "General", "Target"), value.substr(0, 254));
    EXPECT_EQ(read(path, "General", "Missing", std::string(300, 'd')), std::string(254, 'd'));
    EXPECT_EQ(read(path, "General", "Missing", "  padded default  "), "padded default");
}

TEST_F(Profile, MissingOrBrokenFilesGiveTheDefaults) {
    EXPECT_EQ(read(env_.temp().file("absent.ini"), "General", "Target"), "<default>");
    EXPECT_EQ(read(env_.temp().path(), "General", "Target"), "<default>");  // a folder
    ASSERT_EQ(::mkfifo(env_.temp().file("pipe.ini").c_str(), 0600), 0);
    EXPECT_EQ(read(env_.temp().file("pipe.ini"), "General", "Target"), "<default>");  // no hang
    std::string binary(2048, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 131 + 7) % 256);
    EXPECT_EQ(read(profile(binary), "General", "Target"), "<default>");
    EXPECT_EQ(read(profile("[General]\nTarget=abc\0def\n"s), "General", "Target"), "abc");
    EXPECT_EQ(read(profile("\xEF\xBB\xBF[General]\nTarget=bom\n"), "General", "Target"), "bom");
    EXPECT_EQ(read(profile("[General]\nTarget=last line, no newline"), "General", "Target"),
              "last line, no newline");
}

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

TEST_F(Profile, AdminIsTrueOnlyForTheWordTrue) {
    for (const auto& [text, expected] : std::vector<std::pair<std::string, bool>>{
             {"TRUE", true}, {"True", true}, {"tRuE", true}, {" true ", true}, {"yes", false},
             {"1", false}, {"", false}, {"false", false}, {"truely", false}}) {
        ResetModuleState();
        LoadProfileSettings(profile("[Authentication]\nAdmin=" + text + "\n"));
        EXPECT_EQ(mdl().objConnection->Admin(), expected) << "Admin=" << text;
    }
}

TEST(StartRequest, FindsTheProfileFromTheArgumentText) {
    using Mode = StartRequest::Mode;
    auto read = [](const std::string& text) { return ReadStartRequest(text, "/opt/quorvel"); };
    EXPECT_EQ(read("").mode, Mode::Console);
    EXPECT_EQ(read("   \t ").mode, Mode::Console);
    EXPECT_EQ(read("nightly.ini").profilePath, "/opt/quorvel/nightly.ini");
    EXPECT_EQ(read("  nightly.ini  ").profilePath, "/opt/quorvel/nightly.ini");
    EXPECT_EQ(read("\"/etc/quorvel/my profile.ini\"").profilePath, "/etc/quorvel/my profile.ini");
    EXPECT_EQ(read("  \"/etc/x.ini\"  ").profilePath, "/etc/x.ini");
    EXPECT_EQ(read("\"nightly.ini\"").profilePath, "/opt/quorvel/nightly.ini");
    EXPECT_EQ(read("./nightly.ini").profilePath, "./nightly.ini");        // relative, used unchanged
    EXPECT_EQ(read("profiles/a.ini").profilePath, "profiles/a.ini");
    EXPECT_EQ(read(".\\nightly.ini").profilePath, ".\\nightly.ini");      // a backslash makes it a path
    EXPECT_EQ(read("nightly.ini").mode, Mode::Profile);
    EXPECT_EQ(ReadStartRequest("a.ini", "/").profilePath, "/a.ini");
    EXPECT_EQ(ReadStartRequest("a.ini", "/opt/q/").profilePath, "/opt/q/a.ini");
    // Texts that name no file after the quotes are dropped.
    EXPECT_EQ(read("\"").mode, Mode::NoProfile);
    EXPECT_EQ(read("\"\"").mode, Mode::NoProfile);
    EXPECT_EQ(read("\"  \"").mode, Mode::NoProfile);
    EXPECT_EQ(read("\"").profilePath, "");
}

TEST(StartRequest, ABareNameLivesBesideTheProgram) {
    // The test program lives in the build folder's tests/core.
    const std::string folder = qv::test::binaryDir() + "/tests/core";
    EXPECT_EQ(std::filesystem::canonical(qv::platform::programFolder()), std::filesystem::canonical(folder));
    EXPECT_EQ(ReadStartRequest("p.ini").profilePath, qv::platform::programFolder() + "/p.ini");
}

TEST(StartRequest, TheArgumentsFormOneText) {
    const char* argv[] = {"quorvel", "/srv/my", "profile.ini"};
    EXPECT_EQ(CommandLineText(3, argv), "/srv/my profile.ini");
    EXPECT_EQ(CommandLineText(1, argv), "");
}

TEST(ProfileCheck, TellsWhyAProfileCannotBeRead) {
    qv::test::TempDir temp;
    writeFile(temp.file("p.ini"), "[General]\n");
    EXPECT_EQ(ProfileUnreadableReason(temp.file("p.ini")), "");
    EXPECT_EQ(ProfileUnreadableReason(temp.file("absent.ini")), "No such file or directory");
    EXPECT_EQ(ProfileUnreadableReason(temp.path()), "Is a directory");
    EXPECT_NE(ProfileUnreadableReason(""), "");
}

}  // namespace
