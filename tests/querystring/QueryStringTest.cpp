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

TEST(ValidQuery, AcceptsTheDesignersQueriesInBothScopes) {
    EXPECT_TRUE(ValidQuery(query(kBase, kFilter)));
    EXPECT_TRUE(ValidQuery(query(kBase, kFilter, kAttributes, "oneLevel")));
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, kAttributes, "base")));
    EXPECT_FALSE(ValidQuery("<LDAP://>;;;subtree"));  // the designer's starting point
    EXPECT_FALSE(ValidQuery("<LDAP://ams01/o=x>;(&());cn,ADsPath,distinguishedName;subtree"));
    EXPECT_TRUE(ValidQuery("<LDAP://ams01/o=x>;(&((cn=a*)));cn,ADsPath,distinguishedName;subtree"));
}

TEST(ValidQuery, RuleOneExactlyFourFields) {
    EXPECT_FALSE(ValidQuery(""));
    EXPECT_FALSE(ValidQuery(kBase));
    EXPECT_FALSE(ValidQuery(kBase + ";" + kFilter + ";" + kAttributes));
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter) + ";"));
    EXPECT_FALSE(ValidQuery(query(kBase, "(&((cn=a;b)(sn=c)))")));  // ";" inside a filter splits it
}

TEST(ValidQuery, RulesTwoToFourTheBase) {
    EXPECT_FALSE(ValidQuery(query("<LDAP://>", kFilter)));   // 9 characters
    EXPECT_TRUE(ValidQuery(query("<LDAP://s>", kFilter)));   // 10 characters
    EXPECT_TRUE(ValidQuery(query("<ldap://s>", kFilter)));   // the scheme in any case
    EXPECT_TRUE(ValidQuery(query("<LdAp://s>", kFilter)));
    EXPECT_TRUE(ValidQuery(query("<LDAPS://s>", kFilter)));   // LDAP over TLS
    EXPECT_TRUE(ValidQuery(query("<ldaps://s>", kFilter)));
    EXPECT_FALSE(ValidQuery(query("<LDAPX://s>", kFilter)));
    EXPECT_FALSE(ValidQuery(query("<LDAPS:/s/>", kFilter)));
    EXPECT_FALSE(ValidQuery(query("LDAP://srv/", kFilter)));  // no "<"
    EXPECT_FALSE(ValidQuery(query("<LDAP://srv", kFilter)));  // no ">" at the end
    EXPECT_FALSE(ValidQuery(query("<LDAP://s> ", kFilter)));
    EXPECT_FALSE(ValidQuery(query(" <LDAP://s>", kFilter)));
}

TEST(ValidQuery, RulesFiveToEightTheFilter) {
    EXPECT_FALSE(ValidQuery(query(kBase, "")));
    EXPECT_FALSE(ValidQuery(query(kBase, "(a=1)")));    // 5 characters
    EXPECT_TRUE(ValidQuery(query(kBase, "(ab=1)")));    // 6 characters
    EXPECT_FALSE(ValidQuery(query(kBase, "ab=1)(")));   // must start with "("
    EXPECT_FALSE(ValidQuery(query(kBase, "(ab=1) ")));  // must end with ")"
    EXPECT_FALSE(ValidQuery(query(kBase, "((ab=1)")));  // unbalanced
    EXPECT_FALSE(ValidQuery(query(kBase, "(ab=1))")));
    // The count may go below zero on the way; only its end value counts.
    EXPECT_TRUE(ValidQuery(query(kBase, "(a))((b)")));
    EXPECT_FALSE(ValidQuery(query(kBase, "(a))(b)")));  // ends at -1
    // ">" and "(" are exact: no look-alikes.
    EXPECT_FALSE(ValidQuery(query(kBase, "\xEF\xBC\x88" "ab=1)")));  // fullwidth "("
}

TEST(ValidQuery, RulesNineAndTenAttributesAndScope) {
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, "cn,")));  // 3 characters
    EXPECT_TRUE(ValidQuery(query(kBase, kFilter, "cn,a")));
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, kAttributes, "sub")));
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, kAttributes, "12345")));
    EXPECT_TRUE(ValidQuery(query(kBase, kFilter, kAttributes, "123456")));  // any text of six characters
}

TEST(ValidQuery, CountsCharactersNotBytes) {
    // Five characters of eight bytes is still too short a filter.
    EXPECT_FALSE(ValidQuery(query(kBase, "(\xC3\xA9\xC3\xA9\xC3\xA9)")));
    EXPECT_TRUE(ValidQuery(query(kBase, "(\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9)")));
    EXPECT_TRUE(ValidQuery(query("<LDAP://\xC3\xA9>", kFilter)));  // 10 characters
    EXPECT_TRUE(ValidQuery(query("<LDAP://\xC3\xA9\xC3\xA9>", kFilter)));
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, "\xC3\xA9\xC3\xA9\xC3\xA9")));  // 3 characters
    EXPECT_FALSE(ValidQuery(query(kBase, kFilter, kAttributes, "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC")));
    // Bytes that are not UTF-8 count one each; nothing fails.
    EXPECT_TRUE(ValidQuery(query(kBase, kFilter, kAttributes, "\xFF\xFF\xFF\xFF\xFF\xFF")));
}

TEST(DefinitionPrefix, ComparesTheFirstCharactersIgnoringCase) {
    EXPECT_TRUE(qv::HasQuorvelPrefix("QVL=<LDAP://x>;...", "QVL="));
    EXPECT_TRUE(qv::HasQuorvelPrefix("qvl=<LDAP://x>", "QVL="));
    EXPECT_TRUE(qv::HasQuorvelPrefix("QvL=", "qvl="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("QVL", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix("RBDL=x", "QVL="));
    EXPECT_FALSE(qv::HasQuorvelPrefix(" QVL=x", "QVL="));
    EXPECT_TRUE(qv::HasQuorvelPrefix("anything", ""));
    EXPECT_TRUE(qv::HasQuorvelPrefix("", ""));
    // Letters beyond ASCII fold too; the prefix counts characters.
    EXPECT_TRUE(qv::HasQuorvelPrefix("\xC3\xA9t\xC3\xA9=x", "\xC3\x89T\xC3\x89="));  // été / ÉTÉ
    EXPECT_TRUE(qv::HasQuorvelPrefix("\xD0\xB4\xD0\xBB=", "\xD0\x94\xD0\x9B="));      // Cyrillic
    EXPECT_FALSE(qv::HasQuorvelPrefix("e=x", "\xC3\xA9="));
}

TEST(DefinitionPrefix, TheQueryIsTheRestUnchanged) {
    EXPECT_EQ(qv::QueryFromDefinition("qvl=<LDAP://x>;f;a;subtree", "QVL="), "<LDAP://x>;f;a;subtree");
    EXPECT_EQ(qv::QueryFromDefinition("QVL= <LDAP://x> ", "QVL="), " <LDAP://x> ");  // not trimmed
    EXPECT_EQ(qv::QueryFromDefinition("QVL=", "QVL="), "");
    EXPECT_EQ(qv::QueryFromDefinition("<LDAP://x>", ""), "<LDAP://x>");
    EXPECT_EQ(qv::QueryFromDefinition("\xC3\x89T\xC3\x89=rest", "\xC3\xA9t\xC3\xA9="), "rest");
    EXPECT_FALSE(qv::QueryFromDefinition("", "QVL=").has_value());
    EXPECT_FALSE(qv::QueryFromDefinition("RBDL=x", "QVL=").has_value());
}

TEST(QueryFields, SplitJoinAndReplace) {
    EXPECT_EQ(qv::SplitQuery("a;b;;d"), (std::vector<std::string>{"a", "b", "", "d"}));
    EXPECT_EQ(qv::SplitQuery(""), (std::vector<std::string>{""}));
    EXPECT_EQ(qv::SplitQuery(";"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(qv::JoinQuery(qv::SplitQuery("a;b;;d;e")), "a;b;;d;e");

    const std::string q = query(kBase, kFilter, "mail", "subtree");
    EXPECT_EQ(qv::ReplaceQueryField(q, 3, "cn,adspath,distinguishedName"),
              query(kBase, kFilter, "cn,adspath,distinguishedName", "subtree"));
    EXPECT_EQ(qv::ReplaceQueryField("a;b;c", 3, "x"), "a;b;x");
    EXPECT_EQ(qv::ReplaceQueryField("a;b;c;d;e", 3, "x"), "a;b;x;d;e");  // later fields stay
    try {
        qv::ReplaceQueryField("<LDAP://x>;(cn=x)", 3, "x");
        FAIL() << "two fields have no third";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.number(), qv::err::SubscriptOutOfRange);
    }
    EXPECT_THROW(qv::ReplaceQueryField("a;b", 0, "x"), qv::Error);
}
