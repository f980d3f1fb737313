// The designer's model: criteria items, the text conversions and the list
// operations of the designer and its criteria editor.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "designer/QueryModel.h"
#include "engine/QueryString.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"

using namespace qv;

namespace {

const std::string kContainer = "LDAP://ams01/o=Northwind Traders/ou=Amsterdam/cn=Recipients";
const std::string kBase = "<" + kContainer + ">";

std::string designerQuery(const std::string& filter, const std::string& scope = "subtree") {
    return kBase + ";" + filter + ";cn,ADsPath,distinguishedName;" + scope;
}

}  // namespace

TEST(Criterion, EachOperatorIsWrittenAndReadBack) {
    EXPECT_EQ(OperatorLabels(), (std::vector<std::string>{"Starts with", "Ends with", "Is (exactly)", "Is not",
                                                           "Present", "Not present"}));
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
    EXPECT_EQ(FormatCriterion("cn", IsExactly, "*a*"), "(cn=\\2aa\\2a)");
    EXPECT_EQ(FormatCriterion("cn", StartsWith, "*a"), "(cn=\\2aa*)");
    EXPECT_EQ(FormatCriterion("cn", EndsWith, "a*"), "(cn=*a*)");
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

namespace {

// Random lists of the designer's own items, and what their filter means.
class ListWriter {
public:
    explicit ListWriter(unsigned seed) : random_(seed) {}

    // A balanced list and the RFC 4515 filter it stands for.
    std::pair<std::vector<std::string>, std::string> balancedList() {
        std::vector<std::string> items;
        std::vector<std::string> terms;
        const int count = 1 + pick(4);
        for (int i = 0; i < count; ++i) terms.push_back(term(items, 3));
        if (terms.size() == 1) return {items, terms[0]};
        std::string rfc = "(&";
        for (const auto& t : terms) rfc += t;
        return {items, rfc + ")"};
    }

private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    std::string text() {
        static const std::vector<std::string> pieces = {"a", "Z", "R&D", "|", "(", ")", "*", "\\", "\\28",
                                                        ";", "=", "!", " ", "\xC3\xA9", "\xFF", "\n", "5c"};
        std::string t;
        const int length = pick(5);
        for (int i = 0; i < length; ++i) t += pieces[pick(static_cast<int>(pieces.size()))];
        return t;
    }

    std::string field() {
        // No attribute options: ";" always separates the query's fields.
        static const std::vector<std::string> names = {"cn", "department", "extension-attribute-15",
                                                       "2.5.4.3", "Home-MDB"};
        return names[pick(static_cast<int>(names.size()))];
    }

    std::string criterion() {
        lastField_ = field();
        lastOp_ = pick(6);
        lastValue_ = lastOp_ >= Present ? "" : text();
        if ((lastOp_ == StartsWith || lastOp_ == EndsWith) && lastValue_.empty()) lastValue_ = "v";
        return FormatCriterion(lastField_, lastOp_, lastValue_);
    }

    // One term: a criterion or a group, written into `items`; returns its
    // meaning in RFC 4515 notation.
    std::string term(std::vector<std::string>& items, int depth) {
        if (depth == 0 || pick(3) != 0) {
            items.push_back(criterion());
            return meaning(lastField_, lastOp_, lastValue_);
        }
        const char op = pick(2) == 0 ? '&' : '|';
        items.push_back(std::string(1, op) + "(");
        std::string rfc = std::string("(") + op;
        const int count = pick(4);
        for (int i = 0; i < count; ++i) rfc += term(items, depth - 1);
        items.push_back(")");
        return rfc + ")";
    }

    // What the server must see for a criterion: the value's characters
    // literally, except a "*" inside it, which is a wildcard.
    static std::string meaning(const std::string& f, int op, const std::string& v) {
        auto value = [&](bool literalFirst, bool literalLast) {
            std::string out;
            for (std::size_t i = 0; i < v.size(); ++i) {
                const bool literal = (literalFirst && i == 0) || (literalLast && i + 1 == v.size());
                out += (v[i] == '*' && !literal) ? std::string("*") : platform::escapeFilterValue(v.substr(i, 1));
            }
            return out;
        };
        switch (op) {
            case StartsWith: return "(" + f + "=" + value(true, false) + "*)";
            case EndsWith: return "(" + f + "=*" + value(false, false) + ")";
            case IsExactly: return "(" + f + "=" + value(true, true) + ")";
            case IsNot: return "(!(" + f + "=" + value(true, true) + "))";
            case Present: return "(" + f + "=*)";
            default: return "(!(" + f + "=*))";
        }
    }

    std::mt19937 random_;
    std::string lastField_, lastValue_;
    int lastOp_ = 0;
};

// A filter with every escape written in one form: "*", "(", ")", "\" and
// NUL as "\xx" in lower case, every other byte as itself.
std::string canonical(const std::string& filter) {
    auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; i < filter.size(); ++i) {
        if (filter[i] != '\\') {
            out += filter[i];
            continue;
        }
        const auto byte = static_cast<char>(hex(filter[i + 1]) * 16 + hex(filter[i + 2]));
        i += 2;
        const bool special = byte == '*' || byte == '(' || byte == ')' || byte == '\\' || byte == '\0';
        out += special ? platform::escapeFilterValue(std::string(1, byte)) : std::string(1, byte);
    }
    return out;
}

}  // namespace

TEST(QueryModel, EveryFilterTheDesignerBuildsMeansWhatItsItemsSay) {
    ListWriter writer(1234);
    for (int i = 0; i < 3000; ++i) {
        const auto [items, meaning] = writer.balancedList();
        const std::string filter = BuildFilter(items);
        std::string rfc;
        ASSERT_NO_THROW(rfc = platform::toRfc4515Filter(filter)) << filter;
        EXPECT_EQ(canonical(rfc), canonical(meaning)) << filter;
    }
}
