#pragma once
// A fixture for engine tests against the reference directory: the module
// state set up as an unattended run would set it, a container of its own per
// test, DLs created in it, and the log entries captured.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "support/EventLogCapture.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"

namespace qv::test {

// One DL through the engine with the module's logging level, prefix and field.
bool process(DirectoryObject& dl);

// The module state as an unattended run sets it (prefix "QVL=", the default
// field, `loggingLevel`), its store bound to `directory` as `account`.
void prepareUnattendedRun(const ReferenceDirectory& directory, const std::string& loggingLevel,
                          Account account = kWriter);

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;

    // Binds the module's store with `account` (domain CORP).
    void useAccount(Account account);
    // A search command over the reference directory.
    std::string query(const std::string& baseDn, const std::string& filter, const std::string& scope = "subtree") const;
    // Adds a DL to this test's container and returns it as the program reads it.
    std::shared_ptr<DirectoryObject> addDl(const std::string& alias, const std::string& definition,
                                           const std::vector<std::string>& members = {},
                                           const std::string& field = "extension-attribute-15");
    std::string dlDn(const std::string& alias) const { return "cn=" + alias + "," + container; }
    // Puts `object` alone into the module's selection.
    void select(const std::string& adsPath);
    // What the seed's people matching an RFC 4515 filter are, read independently.
    std::set<std::string> people(const std::string& rfcFilter) const;
    std::set<std::string> membersOf(const std::string& alias) const { return ldap.members(dlDn(alias)); }

    EventLogCapture log;
    LdapTool ldap{sharedDirectory()};
    std::string container;  // this test's own container (DN)
};

}  // namespace qv::test
