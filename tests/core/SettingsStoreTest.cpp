// The console's settings: the per-user store, its file, and the module's
// load and save of the whole set.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "IsolatedEnvironment.h"
#include "core/clsKVOR.h"
#include "core/mdlMain.h"
#include "platform/SettingsFile.h"

namespace {

using namespace qv;
using qv::test::readFile;
using qv::test::writeFile;

const std::string kGeneral = std::string(SettingsKey) + "\\General";
const std::string kAuthentication = std::string(SettingsKey) + "\\Authentication";

class SettingsStore : public ::testing::Test {
protected:
    std::string stored(const std::string& key, const std::string& name) {
        std::string value = "untouched";
        return kvor_.GetKeyValue(HKEY_CURRENT_USER, key, name, value) ? value : "<absent>";
    }
    void writeSettings(const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(env_.settingsFile()).parent_path());
        writeFile(env_.settingsFile(), text);
    }
    int modeOf(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return int(info.st_mode & 07777);
    }
    std::vector<std::string> folderEntries() {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(env_.temp().file("config/KVOR")))
            names.push_back(e.path().filename().string());
        return names;
    }

    qv::test::IsolatedEnvironment env_;
    clsKVOR kvor_;
};

TEST_F(SettingsStore, SavedSettingsReadBackAfterARestart) {
    mdl().strServer = "ldap01.example.com:389";
    mdl().strLoggingLevel = "2";
    mdl().strTarget = "LDAP://ldap01/o=Org";
    mdl().strField = "extension-attribute-3";
    mdl().strPrefix = "DL=";
    mdl().objConnection->setUsername("writer");
    mdl().objConnection->setPassword("p\"w=;\\ x");
    mdl().objConnection->setDomain("CORP");
    mdl().objConnection->setAdmin(true);
    ExitProgram(true);

    ResetModuleState();
    LoadRegistrySettings(SettingsKey);
    const ModuleState& m = mdl();
    EXPECT_EQ(m.strServer, "ldap01.example.com:389");
    EXPECT_EQ(m.strLoggingLevel, "2");
    EXPECT_EQ(m.strTarget, "");  // never written
    EXPECT_EQ(m.strField, "extension-attribute-3");
    EXPECT_EQ(m.strPrefix, "DL=");
    EXPECT_EQ(mdl().objConnection->Username(), "writer");
    EXPECT_EQ(mdl().objConnection->Password(), "p\"w=;\\ x");
    EXPECT_EQ(mdl().objConnection->Domain(), "CORP");
    EXPECT_TRUE(mdl().objConnection->Admin());
    EXPECT_EQ(mdl().objConnection->LogonString(), "dc=CORP,cn=writer,cn=admin");
    EXPECT_EQ(stored(kAuthentication, "Admin"), "True");
    EXPECT_EQ(stored(kGeneral, "Target"), "<absent>");
}

TEST_F(SettingsStore, AnyTextRoundTripsOnOneLine) {
    const std::string awkward = "line1\r\nline2\ttab \"quoted\" back\\slash \x01\x7f caf\xc3\xa9 ]\n[x]";
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "Odd \"name\"\n", awkward));
    EXPECT_EQ(stored(kGeneral, "Odd \"name\"\n"), awkward);
    std::string text = readFile(env_.settingsFile());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;  // comment, blank, section, value
}

TEST_F(SettingsStore, KeysAreCreatedAndDeleted) {
    const std::string leaf = std::string(SettingsKey) + "\\Extra";
    EXPECT_FALSE(kvor_.DeleteKey(HKEY_CURRENT_USER, leaf));  // absent
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, leaf, "A", "1"));
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "B", "2"));
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, SettingsKey, "C", "3"));
    EXPECT_FALSE(kvor_.DeleteKey(HKEY_CURRENT_USER, SettingsKey));  // has subkeys
    EXPECT_EQ(stored(SettingsKey, "C"), "3");
    EXPECT_TRUE(kvor_.DeleteKey(HKEY_CURRENT_USER, leaf));
    EXPECT_EQ(stored(leaf, "A"), "<absent>");
    EXPECT_EQ(stored(kGeneral, "B"), "2");
    EXPECT_FALSE(kvor_.UpdateKey(HKEY_CURRENT_USER, "bad\\\\path", "A", "1"));
    EXPECT_FALSE(kvor_.UpdateKey(0x12345678u, kGeneral, "A", "1"));  // not a root key
}

TEST_F(SettingsStore, TheFileIsPrivateAndItsModeNeverWidens) {
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kAuthentication, "Password", "secret"));
    EXPECT_EQ(modeOf(env_.settingsFile()), 0600);
    EXPECT_EQ(modeOf(env_.temp().file("config/KVOR")), 0700);
    ASSERT_EQ(::chmod(env_.settingsFile().c_str(), 0400), 0);
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kAuthentication, "Password", "other"));
    EXPECT_EQ(modeOf(env_.settingsFile()), 0400);
    ASSERT_EQ(::chmod(env_.settingsFile().c_str(), 0644), 0);
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kAuthentication, "Password", "third"));
    EXPECT_EQ(modeOf(env_.settingsFile()), 0600);
}

TEST_F(SettingsStore, AFailedWriteLeavesTheOldFileWhole) {
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "V" + std::to_string(i), std::string(50, 'a')));
    const std::string before = readFile(env_.settingsFile());

    // The file system refuses a file larger than the old one.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = before.size();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "V3", std::string(5000, 'b'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(env_.settingsFile()), before);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"HKEY_CURRENT_USER.settings"});  // no temporary left
    EXPECT_EQ(stored(kGeneral, "V3"), std::string(50, 'a'));
}

TEST_F(SettingsStore, AFileThatCannotBeReadIsNeverReplaced) {
    std::filesystem::create_directories(env_.settingsFile());  // a folder where the file belongs
    EXPECT_FALSE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "Prefix", "X="));
    EXPECT_TRUE(std::filesystem::is_directory(env_.settingsFile()));
    LoadRegistrySettings(SettingsKey);
    EXPECT_EQ(mdl().strPrefix, "QVL=");

    // A named pipe in the file's place neither hangs a read nor is replaced.
    std::filesystem::remove(env_.settingsFile());
    ASSERT_EQ(::mkfifo(env_.settingsFile().c_str(), 0600), 0);
    LoadRegistrySettings(SettingsKey);
    EXPECT_EQ(mdl().strField, "extension-attribute-15");
    EXPECT_FALSE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "Prefix", "X="));
    EXPECT_TRUE(std::filesystem::is_fifo(env_.settingsFile()));
}

TEST_F(SettingsStore, DamagedFilesReadAsAbsentValues) {
    const std::string good = "[" + kGeneral + "]\n\"Prefix\"=\"P=\"\n\"Field\"=\"f1\"\n";
    struct Case {
        const char* what;
        std::string text;
    };
    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 7919 + 13) % 256);
    const std::vector<Case> cases = {
        {"empty", ""},
        {"binary", binary},
        {"truncated in a value", good.substr(0, good.find("f1") + 1)},
        {"truncated in a section", "[" + kGeneral.substr(0, 10)},
        {"huge value", good + "\"LoggingLevel\"=\"" + std::string(100000, '9') + "\"\n"},
        {"unknown type", good + "\"LoggingLevel\"=qword:1\n"},
        {"bad escape", good + "\"LoggingLevel\"=\"\\q\"\n"},
        {"value before any section", "\"LoggingLevel\"=\"2\"\n" + good},
    };
    for (const auto& c : cases) {
        writeSettings(c.text);
        ResetModuleState();
        LoadRegistrySettings(SettingsKey);
        EXPECT_EQ(mdl().strLoggingLevel, "0") << c.what;
        EXPECT_EQ(mdl().strServer, "<Exchange Server>") << c.what;
    }
    writeSettings(good.substr(0, good.find("f1") + 1));
    ResetModuleState();
    LoadRegistrySettings(SettingsKey);
    EXPECT_EQ(mdl().strPrefix, "P=");  // what stands before the damage still reads
    EXPECT_EQ(mdl().strField, "extension-attribute-15");

    // A write over a damaged file keeps what was readable.
    ASSERT_TRUE(kvor_.UpdateKey(HKEY_CURRENT_USER, kGeneral, "Field", "f2"));
    EXPECT_EQ(stored(kGeneral, "Prefix"), "P=");
    EXPECT_EQ(stored(kGeneral, "Field"), "f2");
}

TEST_F(SettingsStore, HandEditedFilesAreRead) {
    writeSettings("; a comment\r\n# another\r\n\r\n  [ignored section without end\r\n"
                  "[" + kGeneral + "]\r\n"
                  "  \"Prefix\" = \"X=\"   \r\n"
                  "\"Prefix\"=\"second=\"\r\n"
                  "[" + kAuthentication + "]\r\n\"User\"=\"u1\"\r\n"
                  "[" + kGeneral + "]\r\n\"Field\"=\"f9\"\r\n");
    LoadRegistrySettings(SettingsKey);
    EXPECT_EQ(mdl().strPrefix, "X=");  // the first of a name wins
    EXPECT_EQ(mdl().strField, "f9");   // sections of one name are one key
    EXPECT_EQ(mdl().objConnection->Username(), "u1");
}

}  // namespace
