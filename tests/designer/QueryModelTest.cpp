// The designer's model: criteria items written and read back, and filters in
// RFC notation kept as they stand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "designer/QueryModel.h"
#include "platform/Error.h"

using namespace qv;

namespace {

const std::string kContainer = "LDAP://ams01/o=Northwind Traders/ou=Amsterdam/cn=Recipients";
const std::string kBase = "<" + kContainer + ">";

std::string designerQuery(const std::string& filter, const std::string& scope = "subtree") {
    return kBase + ";" + filter + ";cn,ADsPath,distinguishedName;" + scope;
}

}  // namespace

TEST(Criterion, EachOperatorIsWrittenAndReadBack) {
    const struct {
        int op;
        const char* value;
        const char* item;
        const char* readValue;  // Present and Not present drop the value
    } cases[] = {
        {StartsWith, "Smi", "(cn=Smi*)", "Smi"},   {EndsWith, "ith", "(cn=*ith)", "ith"},
        {IsExactly, "Smith", "(cn=Smith)", "Smith"}, {IsNot, "Smith", "(!cn=Smith)", "Smith"},
        {Present, "ignored", "(cn=*)", ""},        {NotPresent, "ignored", "(!cn=*)", ""},
        {IsExactly, "a*b", "(cn=a*b)", "a*b"},      {IsNot, "a*b", "(!cn=a*b)", "a*b"},  // "*" inside: unchanged
        {IsExactly, "J\xC3\xB6rg!=x", "(cn=J\xC3\xB6rg!=x)", "J\xC3\xB6rg!=x"},
        {IsExactly, "C:\\dir", "(cn=C:\\dir)", "C:\\dir"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatCriterion("cn", c.op, c.value), c.item);
        EXPECT_EQ(ReadCriterion(c.item), (Criterion{"cn", c.op, c.readValue})) << c.item;
    }
    // Characters that are not structure stay as they stand.
    EXPECT_EQ(FormatCriterion("Home-MDB", IsExactly, "cn=Microsoft Private MDB,cn=AMS01,o=Org"),
              "(Home-MDB=cn=Microsoft Private MDB,cn=AMS01,o=Org)");
    EXPECT_EQ(FormatCriterion("", IsExactly, ""), "(=)");
    EXPECT_THROW(FormatCriterion("cn", 6, "x"), Error);
    EXPECT_THROW(FormatCriterion("cn", -1, "x"), Error);

    EXPECT_EQ(ReadCriterion("(cn=a=b)"), (Criterion{"cn", IsExactly, "a=b"}));
    EXPECT_EQ(ReadCriterion("(cn=)"), (Criterion{"cn", IsExactly, ""}));
    // Empty "Starts with" and "Ends with" are "Present".
    EXPECT_EQ(ReadCriterion(FormatCriterion("cn", StartsWith, "")), (Criterion{"cn", Present, ""}));
    EXPECT_EQ(ReadCriterion(FormatCriterion("cn", EndsWith, "")), (Criterion{"cn", Present, ""}));
    // The negation of a wildcard test is dropped.
    EXPECT_EQ(ReadCriterion("(!cn=ab*)"), (Criterion{"cn", StartsWith, "ab"}));
    EXPECT_EQ(ReadCriterion("(!cn=*ab)"), (Criterion{"cn", EndsWith, "ab"}));
    // Items without "=" give nothing.
    for (const char* item : {"&(", ")", "(", "", "(cn)"}) EXPECT_FALSE(ReadCriterion(item).has_value()) << item;
    // Tests in RFC 4515 notation keep their form through field and value.
    EXPECT_EQ(ReadCriterion("(age>=5)"), (Criterion{"age>", IsExactly, "5"}));
    EXPECT_EQ(FormatCriterion("age>", IsExactly, "5"), "(age>=5)");
    EXPECT_EQ(ReadCriterion("(cn=\\28x\\29)"), (Criterion{"cn", IsExactly, "(x)"}));
}

TEST(Criterion, StructuralCharactersSurviveTheRoundTrip) {
    const std::vector<std::string> texts = {
        "R&D", "A|B", "(x)", "a)b(c", "*", "**", "*a", "a*", "*a*", "a*b", "x;y", "\\28", "\\", "a\\",
        "\\5c", "C:\\dir", "\\zz", "line\nbreak\r", "!x", "a=b", "=", "J\xC3\xB6rg", "\xFF\xFE", "plain",
        std::string("nul\0byte", 8)};
    for (const auto& field : {std::string("cn"), std::string("a(b)&c|d"), std::string("!neg=x*"), std::string("")}) {
        for (const auto& value : texts) {
            for (int op = StartsWith; op <= NotPresent; ++op) {
                const std::string expectedValue = op >= Present ? "" : value;
                const std::string item = FormatCriterion(field, op, value);
                const Criterion expected{field, op, expectedValue};
                if (value.empty() || (value.front() != '*' && value.back() != '*'))  // else a wildcard
                    EXPECT_EQ(ReadCriterion(item), expected) << item;
                // No character of the item is read as structure by the list scan.
                for (std::size_t i = 1; i + 1 < item.size(); ++i) {
                    EXPECT_TRUE(item[i] != '(' && item[i] != ')' && item[i] != '&' && item[i] != '|' &&
                                item[i] != ';' && item[i] != '\n' && item[i] != '\r')
                        << item;
                }
            }
        }
    }
    EXPECT_EQ(FormatCriterion("department", IsExactly, "R&D"), "(department=R\\26D)");
    EXPECT_EQ(FormatCriterion("cn", IsExactly, "*a*"), "(cn=*a*)");
    EXPECT_EQ(FormatCriterion("cn", StartsWith, "*a"), "(cn=*a*)");
    EXPECT_EQ(FormatCriterion("cn", EndsWith, "a*"), "(cn=*a*)");
    // A "*" where the operator puts one is not doubled.
    EXPECT_EQ(FormatCriterion("cn", StartsWith, "Smit*"), "(cn=Smit*)");
    EXPECT_EQ(FormatCriterion("cn", EndsWith, "*ith"), "(cn=*ith)");
    EXPECT_EQ(FormatCriterion("cn", IsExactly, "\\41"), "(cn=\\5c41)");
}

TEST(QueryModel, FiltersInRfcNotationAreNeverRewritten) {
    const std::string filters[] = {
        "(&(objectClass=organizationalPerson)(|(l=Utrecht)(l=Delft)))",
        "(|(department=R&D)(department=Sales))",
        "(department=R&D)",
        "(&(cn=a*)(!(l=B)))",
        "(!(cn=x))",
        "(&(objectClass=x)(|((l=A)(l=B)))(!department=Sales))",  // dialect, not the designer's form
        "(&((objectClass=x)(|((l=A)(l=B)))(!department=Sales)))",
        "(!(&(cn=a)(l=B)))",                                    // a negated group
        "(cn=a)(l=b)",                                          // neither notation
        "(&(cn=a)(!(|(l=A)(l=B))))",
    };
    for (const auto& filter : filters) {
        const std::string text = designerQuery(filter);
        QueryModel model = OpenQuery(text, "");
        EXPECT_EQ(model.rawText, text);
        EXPECT_EQ(model.keptFilter, filter);
        EXPECT_FALSE(model.filterNote.empty());
        ParseQueryText(model);
        SelectDepth(model, 0);
        SetContainer(model, model.container);
        EXPECT_EQ(model.rawText, text);
    }
}
