#include "EngineFixture.h"

#include "engine/clsQuorvel.h"

namespace qv::test {
namespace {

// Binds the module's store to `directory` as `account` (domain CORP).
void bindModule(const ReferenceDirectory& directory, Account account) {
    auto& m = mdl();
    m.objConnection->setUsername(account.user);
    m.objConnection->setDomain(kDomain);
    m.objConnection->setPassword(account.password);
    ASSERT_TRUE(m.objExchangeStore->Connect(m.objConnection.get(), directory.server()))
        << m.objExchangeStore->lastError().Description;
}

}  // namespace

bool process(DirectoryObject& dl) {
    clsQuorvel engine;
    auto& m = mdl();
    return engine.Process(dl, m.strLoggingLevel, m.strPrefix, m.strField);
}

void prepareUnattendedRun(const ReferenceDirectory& directory, const std::string& loggingLevel, Account account) {
    ResetModuleState();
    auto& m = mdl();
    m.strPrefix = "QVL=";
    m.strField = "extension-attribute-15";
    m.strLoggingLevel = loggingLevel;
    bindModule(directory, account);
}

void EngineFixture::SetUp() {
    prepareUnattendedRun(sharedDirectory(), "2");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    container = std::string("cn=") + info->test_suite_name() + "-" + info->name() + "," + kSite;
    ldap.add("dn: " + container + "\nobjectClass: Container\ncn: " + info->test_suite_name() + "-" +
             info->name() + "\n");
}

void EngineFixture::useAccount(Account account) { bindModule(sharedDirectory(), account); }

std::string EngineFixture::query(const std::string& baseDn, const std::string& filter,
                                 const std::string& scope) const {
    return "<" + sharedDirectory().adsPath(baseDn) + ">;" + filter + ";cn,ADsPath,distinguishedName;" + scope;
}

std::shared_ptr<DirectoryObject> EngineFixture::addDl(const std::string& alias, const std::string& definition,
                                                      const std::vector<std::string>& members,
                                                      const std::string& field) {
    std::string ldif = "dn: " + dlDn(alias) + "\nobjectClass: groupOfNames\ncn: " + alias + "\nuid: " + alias +
                       "\nObj-View-Containers: " + container + "\n";
    if (!definition.empty()) ldif += field + ": " + definition + "\n";
    for (const auto& member : members) ldif += "member: " + member + "\n";
    ldap.add(ldif);
    std::string path = sharedDirectory().adsPath(dlDn(alias));
    auto found = mdl().objExchangeStore->Query(path);
    return found.objects().Item(1);
}

void EngineFixture::select(const std::string& adsPath) {
    std::string path = adsPath;
    auto found = mdl().objExchangeStore->Query(path);
    ASSERT_TRUE(found) << found.error()->description();
    mdl().objDirObjects = found.shared();
}

std::set<std::string> EngineFixture::people(const std::string& rfcFilter) const {
    return ldap.dns(kSite, "(&(objectClass=organizationalPerson)" + rfcFilter + ")");
}

}  // namespace qv::test
