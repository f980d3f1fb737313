// What the server refuses and what an attacker could slip in, against the
// reference directory: a time limit, a read-only account, a wrong
// password, fields and prefixes holding filter syntax, and passwords that
// must never show in an entry or a description.
#include <gtest/gtest.h>

#include "../directory/DirectorySupport.h"
#include "../engine/EngineFixture.h"
#include "QuorvelRun.h"
#include "engine/ProcessingPasses.h"
#include "engine/RbdlConversion.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* kFinance = "(&((objectClass=organizationalPerson)(department=Finance)))";
const std::string kSomeone = std::string("cn=avries,") + kRecipients;

// The one error entry of the engine, or "" when there is none or more.
std::string onlyError(const EventLogCapture& log) {
    const auto errors = errorEntries(log.entries());
    if (errors.size() != 1) return "";
    EXPECT_EQ(errors[0].eventId, 3221229569u);
    return errors[0].message;
}

std::string errorLine(std::int32_t number) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<std::uint32_t>(number));
    return "Error " + std::to_string(number) + "[" + hex + "] : ";
}

class Limits : public EngineFixture {};

}  // namespace

// A write the account may not make: an error, nothing written. (A search cut
// short by a size limit is the compatibility suite's, on every directory.)
TEST_F(Limits, AReadOnlyAccountIsAnErrorAndNothingIsWritten) {
    auto readOnly = addDl("read-only", "QVL=" + query(kSite, kFinance), {kSomeone});
    useAccount(kReader);
    EXPECT_FALSE(process(*readOnly));
    EXPECT_EQ(onlyError(log),
              "p_UpdateDLWithQuery:PutEX\r\nAccess denied: Quorvel is using credentials that cannot modify the DL");
    EXPECT_EQ(membersOf("read-only"), std::set<std::string>{kSomeone});
}

// A wrong password (never quoted in an entry or a description) or none.
TEST_F(Limits, AWrongOrMissingPasswordGetsTheLogonFailureEntry) {
    auto dl = addDl("logon", "QVL=" + query(kSite, kFinance), {kSomeone});
    // Credentials changed after connecting (as in the console's options): the next bind is refused.
    // Connect reports the platform's number for a refused logon, whatever words the server used.
    for (const std::string password : {"S3cret-Pa55-\xC3\xA9t\xC3\xA9", ""}) {
        SCOPED_TRACE("password '" + password + "'");
        log.clear();
        mdl().objConnection->setPassword(password);
        EXPECT_FALSE(process(*dl));
        EXPECT_EQ(onlyError(log), "Process:GetDL\r\nLogon failure: unknown user name or bad password");
        for (const auto& e : log.entries()) EXPECT_EQ(e.message.find("S3cret"), std::string::npos) << e.message;
        auto credentials = logon(kWriter);
        credentials->setPassword(password);
        auto store = clsExchangeStore::create();
        EXPECT_FALSE(store->Connect(credentials, sharedDirectory().server()));
        EXPECT_EQ(store->lastError().Number, err::LogonFailure) << store->lastError().Description;
        EXPECT_EQ(store->lastError().Description.find("S3cret"), std::string::npos);
    }
    EXPECT_EQ(membersOf("logon"), std::set<std::string>{kSomeone});
}

TEST_F(Limits, AFieldThatIsNotAnAttributeNameIsRefusedNotSpliced) {
    addDl("victim", "QVL=" + query(kSite, kFinance), {kSomeone});
    ldap.add("dn: cn=other-lists," + container + "\nobjectClass: Container\ncn: other-lists\n");
    select(sharedDirectory().adsPath(container));
    // Each would widen "(field=QVL=*)" to DLs without a Quorvel definition, or end the filter early.
    for (const std::string field : {"cn=*)(extension-attribute-15", "extension-attribute-15=*)(|(cn", "*", "cn)",
                                    "extension-attribute-15\\", " ", ""}) {
        log.clear();
        mdl().strField = field;
        EXPECT_FALSE(ProcessContainer(nullptr)) << field;
        EXPECT_EQ(membersOf("victim"), std::set<std::string>{kSomeone}) << field;
        const std::string error = onlyError(log);
        EXPECT_EQ(error.rfind("Process:Open:", 0), 0u) << field << ": " << error;
        EXPECT_NE(error.find(errorLine(err::FilterUnknown) + "The field \"" + field + "\" is not an attribute name"),
                  std::string::npos)
            << error;
        EXPECT_EQ(log.startingWith("Could not find one Quorvel in ").size(), 1u);
    }
    // Valid descriptions still work: a numeric OID and an option.
    for (const std::string field : {"extension-attribute-15", "2.5.4.3"}) {
        log.clear();
        mdl().strField = field;
        ProcessContainer(nullptr);
        EXPECT_TRUE(log.startingWith("Process:Open:").empty()) << field;
    }
}

TEST_F(Limits, PrefixesHoldingFilterSyntaxMatchOnlyThemselves) {
    const std::vector<std::string> prefixes{"Q(V)L=", "QVL\\2a", "QV*", "Q)(cn=*", "QVL=\\"};
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        addDl("exact-" + std::to_string(i), prefixes[i] + query(kSite, kFinance), {kSomeone});
        addDl("plain-" + std::to_string(i), "QVL=" + query(kSite, kFinance), {kSomeone});
    }
    select(sharedDirectory().adsPath(container));
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        SCOPED_TRACE(prefixes[i]);
        mdl().strPrefix = prefixes[i];
        log.clear();
        EXPECT_TRUE(ProcessContainer(nullptr)) << onlyError(log);
        EXPECT_EQ(membersOf("exact-" + std::to_string(i)), people("(department=Finance)"));
        for (std::size_t j = 0; j < prefixes.size(); ++j)
            EXPECT_EQ(membersOf("plain-" + std::to_string(j)), std::set<std::string>{kSomeone});
    }
}

TEST_F(Limits, RbdlConversionRefusesABadFieldAndEscapesItsPrefix) {
    addDl("rbdl-a", "RB*L=" + query(kSite, kFinance), {}, "Admin-Description");
    addDl("rbdl-b", "RBDL=" + query(kSite, kFinance), {}, "Admin-Description");
    RbdlConversionRequest request{
        .container = sharedDirectory().adsPath(container), .rbdlPrefix = "RB*L=", .move = false};
    auto result = ConvertRbdl(request);
    ASSERT_EQ(result.dls.size(), 1u);
    EXPECT_EQ(result.dls[0].cn, "rbdl-a");

    request.rbdlPrefix = "RBDL=";
    request.rbdlField = "Admin-Description=*)(cn";
    result = ConvertRbdl(request);
    EXPECT_TRUE(result.searchFailed);
    EXPECT_TRUE(result.dls.empty());
    EXPECT_NE(result.searchError.find("is not an attribute name"), std::string::npos) << result.searchError;
    EXPECT_TRUE(ldap.values(dlDn("rbdl-b"), "extension-attribute-15").empty());
}

// A search answered with timeLimitExceeded, and one the server sits on past
// the operation timeout, by slapd's retcode overlay on entries below ou=Faults.
TEST(ServerTimeLimits, ATimeLimitOrASilentSearchIsAnErrorAndNothingIsWritten) {
    ReferenceDirectory own({.dbConf = "overlay retcode\n"
                                      "retcode-parent \"ou=Faults,o=Northwind Traders\"\n"
                                      "retcode-item \"cn=time-limit\" 0x03 op=search text=\"the time limit was reached\"\n"
                                      "retcode-item \"cn=sleepy\" 0x00 op=search sleeptime=3\n",
                            .globalConf = "moduleload retcode\n"});
    EventLogCapture log;
    ShortTimeouts quick;
    prepareUnattendedRun(own, "0");
    if (HasFatalFailure()) return;
    LdapTool ldap(own);

    for (const std::string base : {"cn=time-limit", "cn=sleepy"}) {
        SCOPED_TRACE(base);
        log.clear();
        const std::string dn = "cn=limit-" + base.substr(3) + "," + kDistributionLists;
        ldap.add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: x\nmember: " + kSomeone +
                 "\nextension-attribute-15: QVL=<" + own.adsPath(base + ",ou=Faults,o=Northwind Traders") +
                 ">;(objectClass=*);cn,ADsPath;subtree\n");
        std::string path = own.adsPath(dn);
        auto found = mdl().objExchangeStore->Query(path);
        ASSERT_TRUE(found);
        EXPECT_FALSE(process(*found.objects().Item(1)));
        EXPECT_EQ(ldap.members(dn), std::set<std::string>{kSomeone});
        const std::string error = onlyError(log);
        EXPECT_EQ(error.rfind("Process:Open:", 0), 0u) << error;
        const std::int32_t number = base == "cn=time-limit" ? err::TimeLimitExceeded : err::SearchTableNotFound;
        EXPECT_NE(error.find(errorLine(number)), std::string::npos) << error;
    }
}

// No password reaches an entry, a description or standard error, whatever fails.
TEST_F(Limits, PasswordsNeverShowInEntriesOrDescriptions) {
    const std::string secret = "S3cret-Pa55-\xC3\xA9t\xC3\xA9";
    // A Query failure with the right password set, and a server that is not
    // there (the refused logon is the wrong-password test's).
    std::string missing = sharedDirectory().adsPath("cn=Nowhere," + std::string(kSite));
    EXPECT_FALSE(mdl().objExchangeStore->Query(missing));
    const auto& lastError = mdl().objExchangeStore->lastError();
    EXPECT_EQ(lastError.Number, err::NoSuchObject);
    for (const auto& text : {lastError.Description, lastError.UserDescription})
        EXPECT_EQ(text.find(kWriter.password), std::string::npos) << text;
    auto credentials = logon(kWriter);
    credentials->setPassword(secret);
    auto store = clsExchangeStore::create();
    {
        ShortTimeouts quick;
        EXPECT_FALSE(store->Connect(credentials, "127.0.0.1:1"));
        EXPECT_EQ(store->lastError().Description.find("S3cret"), std::string::npos);
    }

    // The program run unattended: refused logon, no server, no target; stderr and its entries.
    TempDir temp;
    const std::vector<std::pair<std::string, std::string>> runs{
        {sharedDirectory().adsPath(kDistributionLists), secret},
        {"LDAP://127.0.0.1:1/o=X", secret},
        {missing, kWriter.password}};
    for (const auto& [target, password] : runs) {
        // The profile readable by others: the warning must not quote it either.
        auto run = runQuorvel(temp, target, {{"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"}, {"QUORVEL_LDAP_TIMEOUT", "2"}},
                              "LoggingLevel=2\n", password, 0644);
        const auto& r = run.command;
        EXPECT_EQ(r.exitCode, 1) << target << ": " << r.err;
        EXPECT_NE(r.err.find("can be read by other users"), std::string::npos) << r.err;
        EXPECT_NE(run.events.find("Could not find object specified"), std::string::npos) << run.events;
        for (const auto& text : {r.err, r.out, run.events}) EXPECT_EQ(text.find(password), std::string::npos) << text;
    }
}
