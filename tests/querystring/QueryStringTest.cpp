// The query string's syntax check, the definition's prefix and field access.
#include <gtest/gtest.h>

#include "engine/QueryString.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

using qv::ValidQuery;

namespace {

const std::string kBase = "<LDAP://ams01/ou=Amsterdam,o=Northwind Traders>";
const std::string kFilter = "(&((objectClass=organizationalPerson)(department=Sales)))";
const std::string kAttributes = "cn,ADsPath,distinguishedName";

std::string query(const std::string& base, const std::string& filter, const std::string& attributes = kAttributes,
                  const std::string& scope = "subtree") {
    return base + ";" + filter + ";" + attributes + ";" + scope;
}

}  // namespace

// One row per rule and edge: the query, and whether it is valid.
TEST(ValidQuery, EveryRuleAndItsEdges) {
    const std::string a = kAttributes;
    const std::pair<std::string, bool> cases[] = {
        // The designer's queries in both scopes; its empty starting point.
        {query(kBase, kFilter), true}, {query(kBase, kFilter, a, "oneLevel"), true},
        {query(kBase, kFilter, a, "base"), false}, {"<LDAP://>;;;subtree", false},
        {"<LDAP://ams01/o=x>;(&());cn,ADsPath,distinguishedName;subtree", false},
        {"<LDAP://ams01/o=x>;(&((cn=a*)));cn,ADsPath,distinguishedName;subtree", true},
        {"<LDAP://ams01/o=x>;(&((cn=a**)));cn,ADsPath,distinguishedName;subtree", false},
        // Exactly four fields; ";" inside a filter splits it.
        {"", false}, {kBase, false}, {kBase + ";" + kFilter + ";" + a, false}, {query(kBase, kFilter) + ";", false},
        {query(kBase, "(&((cn=a;b)(sn=c)))"), false},
        // The base: at least 10 characters, <LDAP:// or <LDAPS:// in any case, ">" last.
        {query("<LDAP://>", kFilter), false}, {query("<ldaps://s>", kFilter), true},
        {query("<LDAPX://s>", kFilter), false}, {query("<LDAPS:/s/>", kFilter), false},
        {query("LDAP://srv/", kFilter), false}, {query("<LDAP://srv", kFilter), false},
        {query("<LDAP://s> ", kFilter), false}, {query(" <LDAP://s>", kFilter), false},
        // The filter: at least 6 characters, "(" ... ")", balanced at its end only.
        {query(kBase, "(a=1)"), false},
        {query(kBase, "ab=1)("), false}, {query(kBase, "(ab=1) "), false}, {query(kBase, "((ab=1)"), false},
        {query(kBase, "(ab=1))"), false}, {query(kBase, "(a))((b)"), true}, {query(kBase, "(a))(b)"), false},
        {query(kBase, "\xEF\xBC\x88" "ab=1)"), false},  // a fullwidth "(" is no "("
        // Attributes of at least 4 characters, a scope of exactly 6.
        {query(kBase, kFilter, "cn,"), false}, {query(kBase, kFilter, a, "sub"), false},
        // Characters, not bytes, are counted; bytes that are not UTF-8 count one each.
        {query(kBase, "(\xC3\xA9\xC3\xA9\xC3\xA9)"), false},
        {query(kBase, kFilter, a, "\xFF\xFF\xFF\xFF\xFF\xFF"), true},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(ValidQuery(text), valid) << text;
}

TEST(DefinitionPrefix, ComparesTheFirstCharactersIgnoringCase) {
    EXPECT_TRUE(qv::HasQuorvelPrefix("qvl=<LDAP://x>;...", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("QVL", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("RBDL=x", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix(" QVL=x", "QVL="));
    EXPECT_TRUE(qv::HasQuorvelPrefix("anything", ""));
}

TEST(DefinitionPrefix, TheQueryIsTheRestUnchanged) {
    EXPECT_EQ(qv::QueryFromDefinition("qvl=<LDAP://x>;f;a;subtree", "QVL="), "<LDAP://x>;f;a;subtree");
    EXPECT_EQ(qv::QueryFromDefinition("QVL= <LDAP://x> ", "QVL="), " <LDAP://x> ");  // not trimmed
    EXPECT_EQ(qv::QueryFromDefinition("QVL=", "QVL="), "");
    EXPECT_EQ(qv::QueryFromDefinition("<LDAP://x>", ""), "<LDAP://x>");
    EXPECT_FALSE(qv::QueryFromDefinition("", "QVL=").has_value());
    EXPECT_FALSE(qv::QueryFromDefinition("RBDL=x", "QVL=").has_value());
}

TEST(QueryFields, SplitJoinAndReplace) {
    EXPECT_EQ(qv::SplitQuery("a;b;;d"), (std::vector<std::string>{"a", "b", "", "d"}));
    EXPECT_EQ(qv::SplitQuery(""), (std::vector<std::string>{""}));
    EXPECT_EQ(qv::JoinQuery(qv::SplitQuery("a;b;;d;e")), "a;b;;d;e");

    const std::string q = query(kBase, kFilter, "mail", "subtree");
    EXPECT_EQ(qv::ReplaceQueryField(q, 3, "cn,adspath,distinguishedName"),
              query(kBase, kFilter, "cn,adspath,distinguishedName", "subtree"));
    EXPECT_EQ(qv::ReplaceQueryField("a;b;c;d;e", 3, "x"), "a;b;x;d;e");  // later fields stay
    try {
        qv::ReplaceQueryField("<LDAP://x>;(cn=x)", 3, "x");
        FAIL() << "two fields have no third";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.number(), qv::err::SubscriptOutOfRange);
    }
    EXPECT_THROW(qv::ReplaceQueryField("a;b", 0, "x"), qv::Error);
}
