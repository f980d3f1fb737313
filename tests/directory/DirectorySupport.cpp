#include "DirectorySupport.h"

#include <cstdio>

#include "support/TestEnvironment.h"

namespace qv::test {

platform::Credentials credentialsOf(Account account, bool admin) {
    return platform::Credentials::account(account.dn(admin), account.password);
}

std::shared_ptr<clsConnection> logon(Account account, bool admin) {
    auto connection = std::make_shared<clsConnection>();
    connection->setUsername(account.user);
    connection->setDomain(kDomain);
    connection->setAdmin(admin);
    connection->setPassword(account.password);
    return connection;
}

std::string addScratchDl(const ReferenceDirectory& dir, const std::string& alias, const std::string& container,
                         const std::string& extraLdif) {
    std::string dn = "cn=" + alias + "," + container;
    LdapTool(dir).add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: Scratch " + alias + "\ncn: " + alias +
                      "\nuid: " + alias + "\nmail: " + alias + "@northwind.example\n" + extraLdif + "\n");
    return dn;
}

int countInLog(const ReferenceDirectory& dir, const std::string& needle) {
    return occurrences(readFile(dir.dir() + "/slapd.log"), needle);
}

std::string bulkSeed(const std::string& folder, int lists, int people) {
    std::string seed = readFile(sourceDir() + "/refdir/seed.ldif.in");
    seed += "\ndn: " + std::string(kBulk) + "\nobjectClass: Container\ncn: Bulk\n\n";
    char number[16];
    for (int i = 0; i < lists; ++i) {
        std::snprintf(number, sizeof number, "%05d", i);
        seed += "dn: cn=bulk-" + std::string(number) + "," + kBulk +
                "\nobjectClass: groupOfNames\ncn: Bulk list " + number + "\ncn: bulk-" + number + "\nuid: bulk-" +
                number + "\n\n";
    }
    for (int i = 0; i < people; ++i) {
        std::snprintf(number, sizeof number, "%05d", i);
        seed += "dn: cn=person-" + std::string(number) + "," + kBulk +
                "\nobjectClass: organizationalPerson\ncn: person-" + number + "\ndepartment: Bulk\n\n";
    }
    std::string path = folder + "/bulk-seed.ldif";
    writeFile(path, seed);
    return path;
}

}  // namespace qv::test
