// Search filters: the RFC 4515 check, the reading of the designer's dialect
// and value escaping.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

    EXPECT_NE(filterError("(&(a=1)x)").find("character 8"), std::string::npos) << filterError("(&(a=1)x)");
    EXPECT_NE(filterError("(!a=1").find("never closed"), std::string::npos);
    EXPECT_NE(filterError("(a=1))").find("no matching"), std::string::npos);
    EXPECT_NE(filterError("").find("empty"), std::string::npos);
    EXPECT_NE(filterError("(((a=1)&(b=2)))").find("one more pair of parentheses"), std::string::npos);
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

TEST(DialectFilter, LongFiltersAreReadInOnePass) {
    // Two hundred thousand terms, and a long chain of groups whose first term
    // is itself a group: both would take far too long if read more than once.
    std::string run = "(";
    for (int i = 0; i < 200'000; ++i) run += "(cn=" + std::to_string(i) + ")";
    run += ")";
    const std::string rfc = toRfc4515Filter(run);
    EXPECT_EQ(rfc.substr(0, 12), "(&(cn=0)(cn=");
    EXPECT_TRUE(isRfc4515Filter(rfc));

    std::string chains = "(";
    for (int i = 0; i < 20'000; ++i) chains += "|(&(|(&(|((cn=x))))))";
    chains += ")";
    EXPECT_TRUE(isRfc4515Filter(toRfc4515Filter(chains)));
}

namespace {

// A filter as a tree, written in the dialect in randomly chosen ways and
// compared with its one canonical RFC 4515 form.
struct Node {
    char kind;  // 't' test, '&', '|', '!'
    std::string dialectTest, rfcTest;
    std::vector<Node> kids;
};

struct TestForm {
    const char* dialect;
    const char* rfc;
};
constexpr TestForm kTests[] = {
    {"cn=a", "cn=a"},
    {"sn=b*c*", "sn=b*c*"},
    {"l>=3", "l>=3"},
    {"cn=x\\y", "cn=x\\5cy"},
    {"department=R&D", "department=R&D"},
    {"title=\\28x\\29|y", "title=\\28x\\29|y"},
    {"cn;lang-en=\xC3\xA9", "cn;lang-en=\xC3\xA9"},
    {"mail=*", "mail=*"},
};

class TreeWriter {
public:
    explicit TreeWriter(unsigned seed) : random_(seed) {}

    Node tree(int depth) {
        const int choice = depth == 0 ? 0 : pick(5);
        if (choice <= 1) {
            const auto& form = kTests[pick(std::size(kTests))];
            return {'t', form.dialect, form.rfc, {}};
        }
        if (choice == 2) return {'!', "", "", {tree(depth - 1)}};
        Node group{choice == 3 ? '&' : '|', "", "", {}};
        const int count = pick(4);
        for (int i = 0; i < count; ++i) group.kids.push_back(tree(depth - 1));
        return group;
    }

    std::string rfc(const Node& node) const {
        if (node.kind == 't') return "(" + node.rfcTest + ")";
        std::string text = std::string("(") + node.kind;
        for (const auto& kid : node.kids) text += rfc(kid);
        return text + ")";
    }

    // The node as one whole filter in parentheses.
    std::string filter(const Node& node) {
        switch (node.kind) {
            case 't':
                return "(" + node.dialectTest + ")";
            case '!':
                if (node.kids[0].kind == 't' && pick(2) == 0) return "(!" + node.kids[0].dialectTest + ")";
                return "(!" + filter(node.kids[0]) + ")";
            default:
                return group(node);
        }
    }

private:
    int pick(std::size_t n) { return static_cast<int>(random_() % n); }

    std::string group(const Node& node) {
        const bool rfcStyleIsSafe = node.kids.empty() || node.kids[0].kind == 't' || node.kids[0].kind == '!';
        const int form = pick(3);
        if (form == 1 && rfcStyleIsSafe) {
            std::string text = std::string("(") + node.kind;
            for (const auto& kid : node.kids) text += filter(kid);
            return text + ")";
        }
        if (form == 2 && node.kind == '&' && node.kids.size() >= 2) return "(" + run(node.kids) + ")";
        return std::string("(") + node.kind + "(" + run(node.kids) + "))";
    }

    std::string run(const std::vector<Node>& kids) {
        std::string text;
        for (const auto& kid : kids) {
            if ((kid.kind == '&' || kid.kind == '|') && pick(2) == 0) {
                text += std::string(1, kid.kind) + "(" + run(kid.kids) + ")";
            } else {
                text += filter(kid);
            }
        }
        return text;
    }

    std::mt19937 random_;
};

}  // namespace

TEST(DialectFilter, RandomTreesInAnyMixOfFormsTranslateToTheirMeaning) {
    TreeWriter writer(20240611);
    for (int i = 0; i < 3000; ++i) {
        const Node tree = writer.tree(1 + i % 6);
        const std::string written = writer.filter(tree);
        std::string translated;
        ASSERT_NO_THROW(translated = toRfc4515Filter(written)) << written << "\n" << filterError(written);
        EXPECT_EQ(translated, writer.rfc(tree)) << written;
    }
}

TEST(DialectFilter, ArbitraryBytesNeverCrashAndAnswerIsAlwaysValid) {
    std::mt19937 random(7);
    const std::string alphabet = "()()&|!=*\\:;~<>a1.-";
    const std::string seeds[] = {"(&((a=1)(b=2)))", "(|(&((a=1))(b=2)))", "(!a=b)", "(&(a=1)(!b=2))",
                                 "(cn:dn:1.2:=x)"};
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        if (i % 2 == 0) {
            const int length = static_cast<int>(random() % 24);
            for (int j = 0; j < length; ++j) {
                text += (random() % 8 == 0) ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
            }
        } else {
            text = seeds[random() % std::size(seeds)];
            const int edits = 1 + static_cast<int>(random() % 3);
            for (int j = 0; j < edits; ++j) {
                const std::size_t at = random() % (text.size() + 1);
                if (random() % 2 == 0 && at < text.size()) {
                    text.erase(at, 1);
                } else {
                    text.insert(at, 1, alphabet[random() % alphabet.size()]);
                }
            }
        }
        try {
            const std::string rfc = toRfc4515Filter(text);
            EXPECT_TRUE(isRfc4515Filter(rfc)) << text;
            if (isRfc4515Filter(text)) {
                EXPECT_EQ(rfc, text);
            }
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.number(), qv::err::FilterUnknown);
            EXPECT_FALSE(isRfc4515Filter(text)) << text;
        }
    }
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
