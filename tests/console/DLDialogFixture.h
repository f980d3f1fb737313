#pragma once
// The fixture of the DL dialogs' tests: the console fixture with the writer
// account, the Quorvel prefix and field, a store connected to the shared
// reference directory, and DLs of the test's own made with ldap-utils.
#include <memory>
#include <string>

#include "ConsoleFixture.h"
#include "console/clsDialogParameter.h"
#include "directory/clsExchangeStore.h"
#include "designerui/DesignerUiFixture.h"  // whenShown
#include "support/LdapTool.h"

namespace qv::test {

class DLDialogFixture : public ConsoleFixture {
protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        useAccount(kWriter);
        mdl().strPrefix = "QVL=";
        mdl().strField = "extension-attribute-15";
        mdl().strLoggingLevel = "0";
        objDialogParameter().Clear();
    }
    void TearDown() override { objDialogParameter().Clear(); }

    // The store bound to `server` with the current account, as the console has it.
    static void connectStore(const std::string& server) {
        mdl().strServer = server;
        ASSERT_TRUE(mdl().objExchangeStore->Connect(mdl().objConnection.get(), server));
    }

    // Item 1 of the selection := the object at `dn` of `dir`.
    static void select(const ReferenceDirectory& dir, const std::string& dn) {
        std::string path = dir.adsPath(dn);
        QueryResult found = mdl().objExchangeStore->Query(path);
        ASSERT_TRUE(found.ok());
        ASSERT_EQ(found.objects().Count(), 1);
        mdl().objDirObjects = found.shared();
    }

    // A DL below the Distribution Lists container; `extra` holds further LDIF lines.
    static std::string addDL(const ReferenceDirectory& dir, const std::string& alias, const std::string& extra = "") {
        const std::string dn = "cn=" + alias + "," + kDistributionLists;
        LdapTool(dir).add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: " + alias + "\nuid: " + alias + "\n" + extra);
        return dn;
    }

    static QString serverPath(const ReferenceDirectory& dir) { return QString::fromStdString("LDAP://" + dir.server()); }
    static QString listsPath(const ReferenceDirectory& dir) {
        return serverPath(dir) + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists";
    }
};

}  // namespace qv::test
