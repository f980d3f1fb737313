// Search filters: the RFC 4515 check, the reading of the designer's dialect
// and value escaping.
#include <gtest/gtest.h>

#include <string>

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapFilter.h"

using namespace qv::platform;

namespace {

// The description of the filter error that `filter` raises ("" when none).
std::string filterError(std::string_view filter) {
    try {
        toRfc4515Filter(filter);
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.number(), qv::err::FilterUnknown) << filter;
        return e.description().empty() ? "(empty description)" : e.description();
    }
    return "";
}

std::string nested(std::size_t depth, std::string_view inner) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "(&";
    text += inner;
    text.append(depth, ')');
    return text;
}

}  // namespace

TEST(RfcFilter, AcceptsEveryFormOfTheGrammar) {
    const char* valid[] = {
        "(cn=Babs Jensen)", "(!(cn=Tim Howes))", "(&(objectClass=Person)(|(sn=Jensen)(cn=Babs J*)))",
        "(o=univ*of*mich*)", "(seeAlso=)", "(cn=*)", "(cn=*a)", "(cn=a*)", "(cn=a=b)", "(department=R&D)",
        "(department=A|B)", "(extension-attribute-15=QVL=*)", "(cn:caseExactMatch:=Fred Flintstone)",
        "(cn:=Betty Rubble)", "(sn:dn:2.4.6.8.10:=Barney Rubble)", "(o:dn:=Ace Industry)", "(o:DN:=Ace Industry)",
        "(:1.2.3:=Wilma Flintstone)", "(:dn:2.4.6.8.10:=Dino)",
        "(o=Parens R Us \\28for all your parenthetical needs\\29)", "(cn=*\\2A*)", "(filename=C:\\5cMyFile)",
        "(sn=Lu\\c4\\8di\\c4\\87)", "(1.3.6.1.4.1.1466.0=\\04\\02\\48\\69)", "(2.5.4.3=x)", "(cn;lang-en;x-1=x)",
        "(age>=3)", "(age<=3)", "(cn~=Jensen)", "(cn=J\xC3\xB6rg)", "(cn=\xF0\x9F\x98\x80)", "(&)", "(|)",
        "(&(a=1))", "(!(!(a=1)))", "(|(&)(|))", "(cn=\\e4\\C4x)",
    };
    for (const char* filter : valid) {
        EXPECT_TRUE(isRfc4515Filter(filter)) << filter;
        EXPECT_EQ(toRfc4515Filter(filter), filter);  // passed on byte for byte
    }
}

TEST(RfcFilter, RejectsEverythingElse) {
    const std::string invalid[] = {
        "", "()", "cn=x", "(cn=x", "cn=x)", "(cn=x))", "(cn=x)(sn=y)", "((cn=x))", "((cn=x)(sn=y))",
        "(&((a=1)(b=2)))", "(&())", "(!a=b)", "(!)", "(!(a=1)(b=2))", "( cn=x)", "(cn =x)", "(&(a=1) (b=2))",
        "(cn=a\\b)", "(cn=a\\)", "(cn=\\2)", "(cn=\\zz)", "(cn=a(b)", "(=x)", "(1cn=x)", "(2.05=x)", "(2=x)",
        "(-cn=x)", "(cn;=x)", "(c n=x)", "(cn:x:y:=z)", "(:=x)", "(cn:=)x)", "(cn>x)", "(cn~x)", "(cn>=a*)",
        "(cn:=a*)", "(cn=\xFF)", "(cn=\xC3)", "(cn=\xED\xA0\x80)", std::string("(cn=a\0b)", 8), "(&(a=1)x)", "(&x)",
        "(|(a=1)",
    };
    for (const auto& filter : invalid) EXPECT_FALSE(isRfc4515Filter(filter)) << filter;
}

TEST(DialectFilter, TranslatesEachOfTheDesignersForms) {
    const std::pair<const char*, const char*> cases[] = {
        // A group: operator, one extra pair around its terms, one more pair.
        {"(&((a=1)(b=2)))", "(&(a=1)(b=2))"},
        // The extra pair after "|" holds the or's terms; it is not an "and".
        {"(|((a=1)(b=2)))", "(|(a=1)(b=2))"},
        {"(|((a=1)))", "(|(a=1))"},
        {"(&())", "(&)"},
        {"(|())", "(|)"},
        // Groups nest with or without their own outer pair.
        {"(&((objectClass=x)(|((l=A)(l=B)))(!department=Sales)))",
         "(&(objectClass=x)(|(l=A)(l=B))(!(department=Sales)))"},
        {"(&((objectClass=x)|((l=A)(l=B))(!department=Sales)))",
         "(&(objectClass=x)(|(l=A)(l=B))(!(department=Sales)))"},
        {"(|(&((a=1))(b=2)))", "(|(&(a=1))(b=2))"},
        {"(&((a=1))(b=2))", "(&(&(a=1))(b=2))"},
        // An operator directly followed by a pair that holds a group is the
        // designer's group form: the pair holds the operator's terms.
        {"(&(|((a=1)(b=2)))(c=3))", "(&(&(|(a=1)(b=2)))(c=3))"},
        {"(|(&((a=1)(b=2)))(c=3))", "(&(|(&(a=1)(b=2)))(c=3))"},
        {"(&(&(|())))", "(&(&(|)))"},
        // Negations.
        {"(!a=b)", "(!(a=b))"},
        {"(!cn=*)", "(!(cn=*))"},
        {"(!((a=1)(b=2)))", "(!(&(a=1)(b=2)))"},
        {"(!&((a=1)(b=2)))", "(!(&(a=1)(b=2)))"},
        // Terms side by side mean all of them; a single item is itself.
        {"((a=1)(b=2))", "(&(a=1)(b=2))"},
        {"((a=1))", "(a=1)"},
        {"((a=1)&((b=2)(c=3)))", "(&(a=1)(&(b=2)(c=3)))"},
        // The container pass; "=" inside a value is an ordinary character.
        {"(&((objectClass=groupOfNames)(extension-attribute-15=QVL=*)))",
         "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))"},
        // Operators in RFC 4515 style mixed with dialect negations.
        {"(&(objectClass=x)(!department=Sales))", "(&(objectClass=x)(!(department=Sales)))"},
        {"(&(|(a=1)(b=2))(!c=3))", "(&(|(a=1)(b=2))(!(c=3)))"},
        {"(|(!a=1)(b=2))", "(|(!(a=1))(b=2))"},
        // Every kind of test.
        {"(&((age>=5)(age<=9)(cn~=x)(cn:dn:=y)(:1.2.3:=z)(cn;lang-en=w)))",
         "(&(age>=5)(age<=9)(cn~=x)(cn:dn:=y)(:1.2.3:=z)(cn;lang-en=w))"},
    };
    for (const auto& [dialect, rfc] : cases) {
        EXPECT_FALSE(isRfc4515Filter(dialect)) << dialect;
        EXPECT_EQ(toRfc4515Filter(dialect), rfc) << dialect;
        EXPECT_EQ(toRfc4515Filter(rfc), rfc) << dialect;  // stable once translated
    }
}

TEST(DialectFilter, ReadsValuesLiterallyButKeepsWildcardsAndEscapes) {
    EXPECT_EQ(toRfc4515Filter("(!cn=a\\b)"), "(!(cn=a\\5cb))");         // lone backslash
    EXPECT_EQ(toRfc4515Filter("(!cn=a\\4)"), "(!(cn=a\\5c4))");         // one hex digit only
    EXPECT_EQ(toRfc4515Filter("(!cn=a\\)"), "(!(cn=a\\5c))");           // at the end
    EXPECT_EQ(toRfc4515Filter("(!cn=\\28x\\29\\2a)"), "(!(cn=\\28x\\29\\2a))");
    EXPECT_EQ(toRfc4515Filter("(!cn=a*b*)"), "(!(cn=a*b*))");          // "*" stays a wildcard
    EXPECT_EQ(toRfc4515Filter("(!department=R&D|X)"), "(!(department=R&D|X))");
    EXPECT_EQ(toRfc4515Filter("(!cn=\xFFx)"), "(!(cn=\\ffx))");          // a byte that is not UTF-8
    EXPECT_EQ(toRfc4515Filter(std::string_view("(!cn=a\0b)", 9)), "(!(cn=a\\00b))");
    EXPECT_EQ(toRfc4515Filter("(!cn=J\xC3\xB6rg)"), "(!(cn=J\xC3\xB6rg))");
    // A lone backslash makes even a plain test a dialect test.
    EXPECT_EQ(toRfc4515Filter("(cn=C:\\dir)"), "(cn=C:\\5cdir)");
}

TEST(DialectFilter, ReportsWhatIsWrongAndWhere) {
    const std::string errors[] = {
        "", "()", "(", ")", "(a=1", "a=1", "garbage", "(a=1)(b=2)", "(a=1)x", "(&(a=1)x)", "(&x)", "(& (a=1))",
        "(!)", "(!(a=1)(b=2))", "(!&((a=1))(b=2))", "(!!a=1)", "(a=(b))", "(x(a=1))", "(()(a=1))", "((a=1)())",
        "(((a=1)&(b=2)))", "((a=1)x(b=2))", "(!cn a=1)", "(!=1)", "(!cn>=a*)", "(&((cn)))", "(&((a=1)(b=2))",
        "(&((a=1)(b=2))))",
    };
    for (const auto& filter : errors) EXPECT_NE(filterError(filter), "") << filter;
    // Positions count characters, not bytes.
    EXPECT_NE(filterError("(!\xC3\xA9=1)x").find("character 7"), std::string::npos)
        << filterError("(!\xC3\xA9=1)x");
}

TEST(DialectFilter, NestingDepthIsBounded) {
    EXPECT_TRUE(isRfc4515Filter(nested(99, "(a=1)")));
    EXPECT_FALSE(isRfc4515Filter(nested(100, "(a=1)")));  // 101 levels of parentheses
    EXPECT_NE(filterError(nested(100, "(a=1)")).find("nested too deeply"), std::string::npos);
    EXPECT_NE(filterError(std::string(1'000'000, '(')), "");
    EXPECT_NE(filterError(std::string(1'000'000, ')')), "");
    std::string deepNegation;
    for (int i = 0; i < 200'000; ++i) deepNegation += "(!";
    EXPECT_FALSE(isRfc4515Filter(deepNegation + "(a=1)" + std::string(200'000, ')')));
}


TEST(FilterValue, EscapesPerRfc4515) {
    EXPECT_EQ(escapeFilterValue(""), "");
    EXPECT_EQ(escapeFilterValue("plain value"), "plain value");
    EXPECT_EQ(escapeFilterValue("a*b(c)d\\e"), "a\\2ab\\28c\\29d\\5ce");
    EXPECT_EQ(escapeFilterValue(std::string_view("a\0b", 3)), "a\\00b");
    EXPECT_EQ(escapeFilterValue("R&D|=;!"), "R&D|=;!");
    EXPECT_EQ(escapeFilterValue("J\xC3\xB6rg"), "J\xC3\xB6rg");
    EXPECT_EQ(escapeFilterValue("\xFF\xC3"), "\\ff\\c3");
    for (const char* value : {"a*b(c)d\\e", "\xFF", "x\\28", "R&D"}) {
        const std::string filter = "(cn=" + escapeFilterValue(value) + ")";
        EXPECT_TRUE(isRfc4515Filter(filter)) << filter;
    }
}
