// What the designer writes is what the server sees: criteria with characters
// that are structure in the designer's text, run against the reference
// directory after translation, find exactly the entries they name, and a "*"
// typed at either end of a value is a wildcard.
#include <gtest/gtest.h>

#include "designer/QueryModel.h"
#include "platform/LdapFilter.h"
#include "support/LdapTool.h"

using namespace qv;
using namespace qv::test;

namespace {

std::string dn(const std::string& cn) { return "cn=" + cn + "," + kRecipients; }

std::string serverFilter(const std::vector<std::string>& items) {
    return platform::toRfc4515Filter(BuildFilter(items));
}

}  // namespace

TEST(DesignerFilterOnServer, ValuesReachTheServerAsWritten) {
    LdapTool tool(sharedDirectory());
    auto person = [&](const std::string& cn, const std::string& title, const std::string& department) {
        tool.add("dn: " + dn(cn) + "\nobjectClass: organizationalPerson\ncn: " + cn + "\nsn: " + cn +
                 "\ntitle: " + title + "\ndepartment: " + department + "\n");
    };
    person("special1", "*(A&B)|C\\D*", "R&D");
    person("special2", "(A&B)|C\\D", "Sales|Ops");
    person("special3", "x*y", "a\\41");

    struct Case {
        std::vector<std::string> items;
        std::string handWritten;            // the same search written by hand
        std::set<std::string> expected;     // when the answer is known exactly
    };
    const Case cases[] = {
        {{FormatCriterion("title", IsExactly, "*(A&B)|C\\D*")}, "(title=*\\28A&B\\29|C\\5cD*)",
         {dn("special1"), dn("special2")}},
        {{FormatCriterion("title", IsExactly, "(A&B)|C\\D")}, "(title=\\28A&B\\29|C\\5cD)", {dn("special2")}},
        {{FormatCriterion("title", StartsWith, "*(A")}, "(title=*\\28A*)", {dn("special1"), dn("special2")}},
        {{FormatCriterion("title", EndsWith, "C\\D")}, "(title=*C\\5cD)", {dn("special2")}},
        {{FormatCriterion("title", IsExactly, "x*y")}, "(title=x*y)", {dn("special3")}},
        {{FormatCriterion("department", IsExactly, "a\\41")}, "(department=a\\5c41)", {dn("special3")}},
        {{FormatCriterion("department", IsExactly, "R&D")}, "(department=R&D)", {}},
        {{"&(", "(objectClass=organizationalPerson)", "|(", FormatCriterion("department", IsExactly, "Sales|Ops"),
          FormatCriterion("department", IsExactly, "R&D"), ")", ")"},
         "(&(objectClass=organizationalPerson)(|(department=Sales|Ops)(department=R&D)))",
         {}},
        {{"&(", "(objectClass=organizationalPerson)", FormatCriterion("department", IsNot, "R&D"), ")"},
         "(&(objectClass=organizationalPerson)(!(department=R&D)))",
         {}},
        // A "*" typed at either end of a value stays a wildcard.
        {{FormatCriterion("title", StartsWith, "*Engineer")}, "(title=*Engineer*)", {}},
        {{FormatCriterion("title", IsExactly, "Manag*")}, "(title=Manag*)", {}},
        {{FormatCriterion("title", IsExactly, "*")}, "(title=*)", {}},
        {{"&(", "(objectClass=organizationalPerson)", FormatCriterion("title", IsNot, "*Engineer"), ")"},
         "(&(objectClass=organizationalPerson)(!(title=*Engineer)))",
         {}},
    };
    for (const auto& c : cases) {
        const std::string filter = serverFilter(c.items);
        const auto found = tool.dns(kRecipients, filter);
        EXPECT_FALSE(found.empty()) << filter;
        EXPECT_EQ(found, tool.dns(kRecipients, c.handWritten)) << filter;
        if (!c.expected.empty()) {
            EXPECT_EQ(found, c.expected) << filter;
        }
    }
}
