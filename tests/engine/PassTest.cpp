// The passes over one DL or a container, and the conversion of rule-based
// DLs, against the reference directory.
#include <fstream>

#include "EngineFixture.h"
#include "engine/ProcessingPasses.h"
#include "engine/RbdlConversion.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* kFinance = "(&((objectClass=organizationalPerson)(department=Finance)))";
const char* kSales = "(&((objectClass=organizationalPerson)(department=Sales)))";

// Records what a pass shows, as the console's processing window would show it.
class RecordingWindow : public ProgressWindow {
public:
    std::int64_t maximum() const override { return max_; }
    void setMaximum(std::int64_t v) override { max_ = v; }
    std::int64_t value() const override { return value_; }
    void setValue(std::int64_t v) override { value_ = v; }
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void repaint() override { ++repaints; }
    std::vector<std::string> statuses;
    int repaints = 0;

private:
    std::int64_t max_ = 100;
    std::int64_t value_ = 0;
};

class PassTest : public EngineFixture {};

}  // namespace

TEST_F(PassTest, ContainerPassGoesOnAfterAFailingDl) {
    addDl("a-first", "QVL=" + query(kSite, kFinance));
    addDl("b-broken", "QVL=" + query(kSite, "(department=Finance"));
    addDl("c-third", "QVL=" + query(kSite, kSales));
    addDl("d-plain", "", {std::string("cn=avries,") + kRecipients});
    select(sharedDirectory().adsPath(container));
    mdl().strLoggingLevel = "1";

    RecordingWindow window;
    EXPECT_FALSE(ProcessContainer(&window));
    EXPECT_EQ(membersOf("a-first"), people("(department=Finance)"));
    EXPECT_EQ(membersOf("c-third"), people("(department=Sales)"));
    EXPECT_EQ(membersOf("d-plain").size(), 1u);  // not Quorvel: never touched
    EXPECT_EQ(window.maximum(), 3);
    EXPECT_EQ(window.value(), 3);
    EXPECT_EQ(window.statuses, (std::vector<std::string>{"3 DL's to process.", "Processed 1 of 3.", "Processed 2 of 3.",
                                                         "Processed 3 of 3.", "Processed 3 distribution lists."}));
    EXPECT_EQ(window.repaints, 5);

    const std::string path = sharedDirectory().adsPath(container);
    EXPECT_EQ(log.messages().front(), "Quorvel is beginning a pass on all Quorvel distribution lists in " + path);
    EXPECT_EQ(log.startingWith("DL Completed.").size(), 2u);
    EXPECT_EQ(log.startingWith("Process:GetDL").size(), 1u);
}

// A container without Quorvel DLs: a warning, and the pass reports failure.
TEST_F(PassTest, AnEmptyContainerIsAFailedPass) {
    ldap.add("dn: cn=empty," + container + "\nobjectClass: Container\ncn: empty\n");
    select(sharedDirectory().adsPath("cn=empty," + container));
    mdl().strLoggingLevel = "0";
    EXPECT_FALSE(ProcessContainer(nullptr));
    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message, "Could not find one Quorvel in " + sharedDirectory().adsPath("cn=empty," + container));
    EXPECT_EQ(entries[0].type, 2);
}

TEST_F(PassTest, RbdlConversionCopiesAndMovesTheQueryOrKeepsItWhenTheCopyFails) {
    const std::string q = query(kSite, kFinance);
    addDl("moved", "RBDL=" + q, {}, "Admin-Description");
    addDl("kept", "rbdl=" + q, {}, "Admin-Description");
    addDl("unrelated", "Something else", {}, "Admin-Description");

    RbdlConversionRequest request;
    request.container = sharedDirectory().adsPath("cn=moved," + container);
    auto one = ConvertRbdl(request);
    ASSERT_EQ(one.dls.size(), 1u);
    EXPECT_TRUE(one.dls[0].copied && one.dls[0].cleared);
    EXPECT_EQ(ldap.values(dlDn("moved"), "extension-attribute-15"), std::vector<std::string>{"QVL=" + q});
    EXPECT_TRUE(ldap.values(dlDn("moved"), "Admin-Description").empty());

    request.container = sharedDirectory().adsPath(container);
    request.move = false;
    auto rest = ConvertRbdl(request);
    ASSERT_EQ(rest.dls.size(), 1u);  // the prefix matched without regard to case
    EXPECT_EQ(ldap.values(dlDn("kept"), "extension-attribute-15"), std::vector<std::string>{"QVL=" + q});
    EXPECT_EQ(ldap.values(dlDn("kept"), "Admin-Description"), std::vector<std::string>{"rbdl=" + q});
    EXPECT_TRUE(ldap.values(dlDn("unrelated"), "extension-attribute-15").empty());

    // A copy that fails (a new field the directory does not know) keeps the old definition,
    // which the account could clear.
    addDl("refused", "RBDL=" + q, {}, "Admin-Description");
    request.container = sharedDirectory().adsPath(dlDn("refused"));
    request.move = true;
    request.newField = "extension-atribute-15";
    auto result = ConvertRbdl(request);
    ASSERT_EQ(result.dls.size(), 1u);
    EXPECT_FALSE(result.dls[0].copied);
    EXPECT_FALSE(result.dls[0].cleared);
    EXPECT_EQ(ldap.values(dlDn("refused"), "Admin-Description"), std::vector<std::string>{"RBDL=" + q});
    auto failures = log.startingWith("RBDL:SetPropertyEx:extension-atribute-15");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].message.find(sharedDirectory().adsPath(dlDn("refused"))), std::string::npos);
    EXPECT_EQ(failures[0].type, 1);

    // An empty container box searches "<>" and finds nothing.
    log.clear();
    request.container = "";
    EXPECT_TRUE(ConvertRbdl(request).dls.empty());
    EXPECT_FALSE(log.startingWith("Could not find one RBDL in ").empty());
}

// The membership limit, against a directory of its own with 5,001 people.
TEST(MembershipLimit, FiveThousandIsWrittenFiveThousandAndOneIsRefused) {
    TempDir dir;
    std::ofstream seed(dir.file("seed.ldif"));
    seed << "dn: o=Northwind Traders\nobjectClass: organization\no: Northwind Traders\n\n"
         << "dn: " << kSite << "\nobjectClass: organizationalUnit\nou: Amsterdam\n\n"
         << "dn: " << kRecipients << "\nobjectClass: Container\ncn: Recipients\n\n"
         << "dn: " << kDistributionLists << "\nobjectClass: Container\ncn: Distribution Lists\n\n";
    for (int i = 0; i < 5001; ++i)
        seed << "dn: cn=p" << i << "," << kRecipients << "\nobjectClass: organizationalPerson\ncn: p" << i
             << "\nemployeeType: " << (i < 5000 ? "many" : "one-more") << "\n\n";
    auto dl = [&](const char* alias, const char* filter) {
        seed << "dn: cn=" << alias << "," << kDistributionLists << "\nobjectClass: groupOfNames\ncn: " << alias
             << "\nextension-attribute-15: QVL=<LDAP://@SERVER@/" << kRecipients << ">;" << filter
             << ";cn,ADsPath,distinguishedName;oneLevel\n\n";
    };
    dl("five-thousand", "(employeeType=many)");
    dl("one-too-many", "(objectClass=organizationalPerson)");
    seed.close();
    ReferenceDirectory own({.seedFile = dir.file("seed.ldif")});
    EventLogCapture log;
    prepareUnattendedRun(own, "0");
    if (HasFatalFailure()) return;
    auto& m = mdl();
    std::string path = own.adsPath(kDistributionLists);
    m.objDirObjects = m.objExchangeStore->Query(path).shared();

    EXPECT_TRUE(ProcessContainer(nullptr));  // the refusal is not a failure
    LdapTool ldap(own);
    EXPECT_EQ(ldap.values(std::string("cn=five-thousand,") + kDistributionLists, "member").size(), 5000u);
    EXPECT_TRUE(ldap.values(std::string("cn=one-too-many,") + kDistributionLists, "member").empty());
    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message,
              "p_thereIsAnyChange\r\nThe new membership will result in a DL that has more than 5000 members."
              "This is not a good idea, so the DL will not be updated.");
    EXPECT_EQ(entries[0].type, 1);
    EXPECT_EQ(entries[0].eventId, 3221229569u);
}
