// One DL processed end to end against the reference directory: what reaches
// the directory and what reaches the event log.
#include <regex>

#include "EngineFixture.h"
#include "engine/QueryString.h"

using namespace qv;
using namespace qv::test;

namespace {

const char* kFinance = "(&((objectClass=organizationalPerson)(department=Finance)))";
const char* kNobody = "(&((objectClass=organizationalPerson)(department=Procurement)))";

// The summary entry with its duration checked by form, not by value.
void expectSummary(const std::string& message, const std::string& path, int before, int results, bool updated) {
    const std::string head = "DL Completed.\r\n" + path + "\r\nBefore membership: " + std::to_string(before) +
                             " members\r\nQuery results: " + std::to_string(results) +
                             " members\r\nUpdated: " + (updated ? "True" : "False") + "\r\nTime to process: ";
    ASSERT_EQ(message.substr(0, head.size()), head) << message;
    EXPECT_TRUE(std::regex_match(message.substr(head.size()), std::regex(R"(\d+:\d\d:\d\d)"))) << message;
}

class ProcessTest : public EngineFixture {};

}  // namespace

TEST_F(ProcessTest, WritesTheQueryResultAndLogsEveryStep) {
    const auto finance = people("(department=Finance)");
    ASSERT_EQ(finance.size(), 4u);
    const std::string q = query(kSite, kFinance);
    auto dl = addDl("finance", "QVL=" + q, {std::string("cn=avries,") + kRecipients});

    EXPECT_TRUE(process(*dl));
    EXPECT_EQ(membersOf("finance"), finance);

    const std::string path = dl->adsPath;
    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].message, "Starting DL.\r\n" + path);
    EXPECT_EQ(entries[1].message, "extension-attribute-15\r\n" + path + "\r\nQVL=" + q);
    EXPECT_EQ(entries[2].message, "Getting membership.\r\n" + path);
    EXPECT_EQ(entries[3].message,
              "Running Query\r\n" + path + "\r\n" + ReplaceQueryField(q, 3, "cn,adspath,distinguishedName"));
    EXPECT_EQ(entries[4].message, "Counted recordset\r\n" + path + "\r\n3");
    EXPECT_EQ(entries[5].message, "PutEx\r\n" + path);
    expectSummary(entries[6].message, path, 1, 4, true);
    for (const auto& e : entries) {
        EXPECT_EQ(e.type, 4);
        EXPECT_EQ(e.eventId, 4096u);
        EXPECT_EQ(e.category, 1);
        EXPECT_EQ(e.source, "Quorvel");
    }
}

// (A membership the query empties is the compatibility suite's.)
TEST_F(ProcessTest, AnEmptyResultForAnEmptyDlWritesNothing) {
    auto empty = addDl("empty", "QVL=" + query(kSite, kNobody));
    EXPECT_TRUE(process(*empty));
    auto messages = log.messages();
    EXPECT_EQ(messages[4], "Counted recordset\r\n" + empty->adsPath + "\r\n-1");
    EXPECT_TRUE(log.startingWith("PutEx").empty());
    expectSummary(messages.back(), empty->adsPath, 0, 0, false);
}

TEST_F(ProcessTest, SameNamesInAnotherOrderAreUnchangedButCaseCounts) {
    auto finance = people("(department=Finance)");
    std::vector<std::string> reversed(finance.rbegin(), finance.rend());
    auto same = addDl("same", "QVL=" + query(kSite, kFinance), reversed);
    EXPECT_TRUE(process(*same));
    EXPECT_TRUE(log.startingWith("PutEx").empty());
    expectSummary(log.messages().back(), same->adsPath, 4, 4, false);

    // A member whose name differs only in case: the first difference is logged
    // at level 0 and the membership is rewritten.
    log.clear();
    mdl().strLoggingLevel = "0";
    // (The server keeps the case of a DN's values, not of its attribute types.)
    std::vector<std::string> cased(finance.begin(), finance.end());
    for (size_t i = 3; i < cased[0].size() && cased[0][i] != ','; ++i) cased[0][i] = char(std::toupper(cased[0][i]));
    auto differs = addDl("differs", "QVL=" + query(kSite, kFinance), cased);
    EXPECT_TRUE(process(*differs));
    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message.rfind("oc=3\r\nnc=", 0), 0u) << entries[0].message;
    EXPECT_EQ(entries[0].type, 4);
    EXPECT_EQ(ldap.values(dlDn("differs"), "member").size(), 4u);
}

TEST_F(ProcessTest, TheDlIsNeverItsOwnMember) {
    // A query over the DL's own container finds the DL itself and its sibling.
    addDl("sibling", "");
    auto self = addDl("self", "QVL=" + query(container, "(objectClass=groupOfNames)", "oneLevel"));
    EXPECT_TRUE(process(*self));
    EXPECT_EQ(membersOf("self"), std::set<std::string>{dlDn("sibling")});
    expectSummary(log.messages().back(), self->adsPath, 0, 1, true);
}

// A DL that is not Quorvel's and a questionable query are refused, each with
// one error entry. (A search that fails, which must never pass for an empty
// one: the compatibility suite's broken query, on every directory.)
TEST_F(ProcessTest, RefusedAndFailedQueriesKeepTheMembership) {
    struct Row {
        const char* alias;
        std::string definition;
        const char* error;  // after "Process:GetDL", the path and a line break
    };
    const Row rows[] = {
        {"plain", "", "Error 2305[901] : This DL is not Quorvel!"},
        {"broken", "QVL=" + query(kSite, "(objectClass=organizationalPerson"),
         "Error 2306[902] : The query syntax is questionable, aborting DL."},
    };
    const std::string member = std::string("cn=avries,") + kRecipients;
    mdl().strLoggingLevel = "0";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.alias);
        log.clear();
        auto dl = addDl(row.alias, row.definition, {member});
        EXPECT_FALSE(process(*dl));
        EXPECT_EQ(membersOf(row.alias), std::set<std::string>{member});
        auto entries = log.entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].message, "Process:GetDL\r\n" + dl->adsPath + "\r\n" + row.error);
        EXPECT_EQ(entries[0].type, 1);
        EXPECT_EQ(entries[0].eventId, 3221229569u);
    }
    // A search cut short by a limit, and a read-only account: tests/reliability (Limits); a server
    // gone: the fault and server-list tests.
}
