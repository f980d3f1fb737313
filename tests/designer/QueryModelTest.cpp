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

std::string filterOf(const QueryModel& model) { return SplitQuery(model.rawText).at(1); }

QueryModel withCriteria(std::vector<std::string> criteria) {
    QueryModel model = NewQuery(kContainer);
    model.criteria = std::move(criteria);
    model.current.reset();
    BuildQueryText(model, kContainer);
    return model;
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
    EXPECT_EQ(FormatCriterion("cn", IsExactly, "\\41"), "(cn=\\5c41)");
}

TEST(QueryModel, CriteriaWithoutAGroupReadBackAsThemselves) {
    const std::vector<std::vector<std::string>> lists = {
        {"(cn=a*)", "(!l=B)"}, {"(cn=a*)"}, {"(!cn=x)"}, {"(department=R\\26D)"}, {"(cn=*)"}};
    for (const auto& items : lists) {
        QueryModel model = withCriteria(items);
        if (items.size() == 1) {
            EXPECT_EQ(filterOf(model), items[0]);  // one item is not wrapped
        }
        ASSERT_TRUE(ValidQuery(model.rawText)) << model.rawText;
        QueryModel read = OpenQuery(model.rawText, "");
        EXPECT_EQ(read.criteria, items);
        EXPECT_EQ(read.rawText, model.rawText);
        EXPECT_EQ(read.container, kContainer);
        EXPECT_FALSE(read.keptFilter.has_value());
    }
    EXPECT_EQ(filterOf(withCriteria({"(cn=a*)", "(!l=B)"})), "((cn=a*)(!l=B))");
}

TEST(QueryModel, ParseRemovesLineBreaksEvenFromInvalidText) {
    QueryModel model = NewQuery(kContainer);
    const auto before = model;
    model.rawText = "<LDAP://x>;\r\n(cn=\n";
    ParseQueryText(model);
    EXPECT_EQ(model.rawText, "<LDAP://x>;(cn=");
    EXPECT_EQ(model.criteria, before.criteria);  // the fields keep their last state
    EXPECT_EQ(model.container, before.container);
    EXPECT_EQ(model.current, before.current);

    model.rawText = kBase + ";(&((cn=a*)\r\n(l=B)));cn,ADsPath,\ndistinguishedName;sub\ntree\r\n";
    ParseQueryText(model);
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)(l=B)))"));
    EXPECT_EQ(model.criteria, (std::vector<std::string>{"&(", "(cn=a*)", "(l=B)", ")"}));
    EXPECT_FALSE(model.current.has_value());
}

TEST(QueryModel, ScopesMatchIgnoringCaseAndUnusualOnesAreKept) {
    QueryModel model = OpenQuery(designerQuery("(&((cn=a*)))", "ONELEVEL"), "");
    EXPECT_EQ(model.depth, 1);
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)))", "oneLevel"));
    model = OpenQuery(designerQuery("(&((cn=a*)))", "SubTree"), "");
    EXPECT_EQ(model.depth, 0);
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)))", "subtree"));

    model = OpenQuery(designerQuery("(&((cn=a*)))", "sublevels"), "");
    EXPECT_FALSE(model.depth.has_value());
    EXPECT_EQ(model.otherScope, "sublevels");
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)))", "sublevels"));
    bool editMode = false;
    AddCriterionItem(model, "(l=B)", editMode);
    BuildQueryText(model);
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)(l=B)))", "sublevels"));  // kept through a rebuild
    SelectDepth(model, 1);
    EXPECT_EQ(model.rawText, designerQuery("(&((cn=a*)(l=B)))", "oneLevel"));
    EXPECT_EQ(model.otherScope, "");
}

TEST(QueryModel, RebuildPadsMissingPartsAndKeepsExtraOnes) {
    QueryModel model = withCriteria({"(cn=a*)", "(l=B)"});
    model.rawText = "<LDAP://x>";
    BuildQueryText(model);
    EXPECT_EQ(model.rawText, "<LDAP://x>;((cn=a*)(l=B));cn,ADsPath,distinguishedName;subtree");
    model.rawText = "";
    BuildQueryText(model, "LDAP://y");
    EXPECT_EQ(model.rawText, "<LDAP://y>;((cn=a*)(l=B));cn,ADsPath,distinguishedName;subtree");
    model.rawText = "<LDAP://x>;f;a;s;extra;more";
    BuildQueryText(model);
    EXPECT_EQ(model.rawText, "<LDAP://x>;((cn=a*)(l=B));cn,ADsPath,distinguishedName;subtree;extra;more");
    model.criteria.clear();
    model.depth.reset();
    model.rawText = "x;y";
    BuildQueryText(model);
    EXPECT_EQ(model.rawText, "x;;cn,ADsPath,distinguishedName;");
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

TEST(QueryModel, RfcCriteriaAreShownAndBecomeTheDesignersOnChange) {
    const std::string rfc = "(&(objectClass=organizationalPerson)(|(l=Utrecht)(l=Delft))(!(department=R&D)))";
    QueryModel model = OpenQuery(designerQuery(rfc), "");
    EXPECT_TRUE(CriteriaEditable(model));
    EXPECT_EQ(model.criteria, (std::vector<std::string>{"&(", "(objectClass=organizationalPerson)", "|(", "(l=Utrecht)",
                                                         "(l=Delft)", ")", "(!department=R\\26D)", ")"}));
    EXPECT_EQ(ReadCriterion(model.criteria[6]), (Criterion{"department", IsNot, "R&D"}));
    EXPECT_EQ(model.current, 7u);

    bool editMode = false;
    ASSERT_TRUE(AddCriterionItem(model, FormatCriterion("title", StartsWith, "Research"), editMode));
    BuildQueryText(model, model.container);
    EXPECT_FALSE(model.keptFilter.has_value());
    EXPECT_EQ(model.filterNote, "");
    const std::string designed = filterOf(model);
    EXPECT_EQ(designed, "(&((objectClass=organizationalPerson)|((l=Utrecht)(l=Delft))(!department=R\\26D)"
                        "(title=Research*)))");
    EXPECT_EQ(platform::toRfc4515Filter(designed),
              "(&(objectClass=organizationalPerson)(|(l=Utrecht)(l=Delft))(!(department=R\\26D))(title=Research*))");
    // From now on the text is in the designer's form and reads back as it is.
    QueryModel again = OpenQuery(model.rawText, "");
    EXPECT_EQ(again.criteria, model.criteria);
    EXPECT_FALSE(again.keptFilter.has_value());
}

TEST(QueryModel, FiltersTheItemsCannotShowAreLocked) {
    for (const std::string filter : {"(!(&(cn=a)(l=B)))", "(cn=a)(l=b)", "(cn=a)x(l=b)"}) {
        const std::string text = designerQuery(filter);
        QueryModel model = OpenQuery(text, "");
        EXPECT_FALSE(CriteriaEditable(model)) << filter;
        EXPECT_TRUE(model.criteria.empty());
        bool editMode = true;
        EXPECT_FALSE(AddCriterionItem(model, "(cn=x)", editMode));
        EXPECT_FALSE(RemoveCriterion(model));
        EXPECT_FALSE(SwapCriteria(model, 0, 1));
        EXPECT_EQ(model.rawText, text);
    }
    EXPECT_NE(OpenQuery(designerQuery("(cn=a)(l=b)"), "").filterNote.find("character"), std::string::npos);
    // Editing the text into a readable filter unlocks the list.
    QueryModel model = OpenQuery(designerQuery("(cn=a)(l=b)"), "");
    model.rawText = designerQuery("((cn=a)(l=b))");
    ParseQueryText(model);
    EXPECT_TRUE(CriteriaEditable(model));
    EXPECT_EQ(model.criteria, (std::vector<std::string>{"(cn=a)", "(l=b)"}));
}

namespace {

// Random lists of the designer's own items, and what their filter means.
class ListWriter {
public:
    explicit ListWriter(unsigned seed) : random_(seed) {}

    // Any sequence of openers, closers and criteria (balanced or not), with
    // the field, operator and value of each criterion.
    std::pair<std::vector<std::string>, std::vector<std::optional<Criterion>>> anyList() {
        std::vector<std::string> items;
        std::vector<std::optional<Criterion>> criteria;
        const int count = 1 + pick(10);
        for (int i = 0; i < count; ++i) {
            const int kind = pick(6);
            if (kind < 3) {
                items.push_back(kind == 0 ? "&(" : kind == 1 ? "|(" : ")");
                criteria.emplace_back();
            } else {
                items.push_back(criterion(true));
                // A "*" at either end of a value is a wildcard, read back by the item's form.
                const bool wildcardAtAnEnd =
                    !lastValue_.empty() && (lastValue_.front() == '*' || lastValue_.back() == '*');
                if (wildcardAtAnEnd) criteria.emplace_back();
                else criteria.push_back(Criterion{lastField_, lastOp_, lastValue_});
            }
        }
        return {items, criteria};
    }

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

    std::string text(bool anyCharacters) {
        static const std::vector<std::string> pieces = {"a", "Z", "R&D", "|", "(", ")", "*", "\\", "\\28",
                                                        ";", "=", "!", " ", "\xC3\xA9", "\xFF", "\n", "5c"};
        std::string t;
        const int length = pick(5);
        for (int i = 0; i < length; ++i) t += anyCharacters ? pieces[pick(static_cast<int>(pieces.size()))] : "x";
        return t;
    }

    std::string field(bool anyCharacters) {
        // No attribute options: ";" always separates the query's fields.
        static const std::vector<std::string> names = {"cn", "department", "extension-attribute-15",
                                                       "2.5.4.3", "Home-MDB"};
        return anyCharacters && pick(3) == 0 ? text(true) : names[pick(static_cast<int>(names.size()))];
    }

    std::string criterion(bool anyField) {
        lastField_ = field(anyField);
        lastOp_ = pick(6);
        lastValue_ = lastOp_ >= Present ? "" : text(true);
        if ((lastOp_ == StartsWith || lastOp_ == EndsWith) && lastValue_.empty()) lastValue_ = "v";
        return FormatCriterion(lastField_, lastOp_, lastValue_);
    }

    // One term: a criterion or a group, written into `items`; returns its
    // meaning in RFC 4515 notation.
    std::string term(std::vector<std::string>& items, int depth) {
        if (depth == 0 || pick(3) != 0) {
            items.push_back(criterion(false));
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
    // literally, except every "*", which is a wildcard.
    static std::string meaning(const std::string& f, int op, const std::string& v) {
        auto value = [&]() {
            std::string out;
            for (std::size_t i = 0; i < v.size(); ++i)
                out += v[i] == '*' ? std::string("*") : platform::escapeFilterValue(v.substr(i, 1));
            return out;
        };
        switch (op) {
            case StartsWith: return "(" + f + "=" + value() + "*)";
            case EndsWith: return "(" + f + "=*" + value() + ")";
            case IsExactly: return "(" + f + "=" + value() + ")";
            case IsNot: return "(!(" + f + "=" + value() + "))";
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

TEST(QueryModel, ListsOfTheDesignersItemsSurviveBuildAndParse) {
    ListWriter writer(4711);
    int checked = 0;
    for (int i = 0; i < 4000; ++i) {
        const auto [items, criteria] = writer.anyList();
        QueryModel model = withCriteria(items);
        if (!ValidQuery(model.rawText)) continue;
        ++checked;
        QueryModel read = OpenQuery(model.rawText, "");
        ASSERT_EQ(read.criteria, items) << model.rawText;
        EXPECT_EQ(read.rawText, model.rawText);
        EXPECT_FALSE(read.keptFilter.has_value()) << model.rawText;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (criteria[k]) {
                EXPECT_EQ(ReadCriterion(read.criteria[k]), criteria[k]) << read.criteria[k];
            }
        }
    }
    EXPECT_GT(checked, 500);
}

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
