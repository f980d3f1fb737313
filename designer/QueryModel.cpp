#include "designer/QueryModel.h"

#include <algorithm>

#include "engine/QueryString.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapFilter.h"

namespace qv {

namespace {

constexpr std::string_view OperatorLabelList = "Starts with;Ends with;Is (exactly);Is not;Present;Not present";

constexpr std::string_view KeptFilterNote =
    "This filter is not written in the designer's own form. Its criteria are shown, but the filter is kept "
    "exactly as written until you change them.";
constexpr std::string_view LockedFilterNote =
    "This filter cannot be shown as criteria. It is kept exactly as written; change it on the Guru tab.";

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int hexValue(char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

bool escapeStartsAt(std::string_view text, std::size_t pos) {
    return text[pos] == '\\' && pos + 2 < text.size() && isHex(text[pos + 1]) && isHex(text[pos + 2]);
}

void appendEscape(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    out += '\\';
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

// True for a character that the list scan or the query string would read as
// structure, or that a text box would lose.
bool isStructural(char c) {
    return c == '(' || c == ')' || c == '&' || c == '|' || c == ';' || static_cast<unsigned char>(c) < 0x20;
}

// A field name or value escaped for a criterion item. `escapeAt(i)` names
// further positions whose character must be escaped.
template <typename Extra>
std::string escapeText(std::string_view text, Extra escapeAt) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isStructural(c) || escapeStartsAt(text, i) || escapeAt(i)) {
            appendEscape(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeField(std::string_view field) {
    return escapeText(field, [&](std::size_t i) { return field[i] == '=' || (i == 0 && field[i] == '!'); });
}

// Every "*" of a value stays the wildcard the user typed, at either end too:
// "Starts with" *smith searches (f=*smith*), "Is (exactly)" Smi* (f=Smi*).
std::string escapeValue(std::string_view value) {
    return escapeText(value, [](std::size_t) { return false; });
}

// Every \XX escape replaced by its byte; a lone backslash stays.
std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (escapeStartsAt(text, i)) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The designer's own reading of a filter field: every "(", ")", "&" and "|"
// is structure, every other character belongs to a criterion. A filter that
// is one criterion alone reads as that criterion.
std::vector<std::string> scanFilter(std::string_view filter) {
    std::vector<std::string> items;
    std::string buffer;
    for (char c : filter.substr(1, filter.size() - 2)) {
        if (c == '(') continue;
        if (c == ')') {
            items.push_back(buffer.empty() ? std::string(GroupCloser) : "(" + buffer + ")");
            buffer.clear();
        } else if (c == '&' || c == '|') {
            items.push_back(std::string(1, c) + "(");
        } else {
            buffer += c;
        }
    }
    if (items.empty() && !buffer.empty()) items.push_back("(" + buffer + ")");
    return items;
}

// Criteria items for a filter in RFC 4515 notation; nothing when the filter
// holds a negated group, which the designer's items cannot express.
class RfcItemReader {
public:
    explicit RfcItemReader(std::string_view filter) : text_(filter) {}

    std::optional<std::vector<std::string>> read() {
        if (!filter()) return std::nullopt;
        return std::move(items_);
    }

private:
    bool filter() {
        const char c = text_[++pos_];  // after "("
        if (c == '&' || c == '|') {
            items_.push_back(std::string(1, c) + "(");
            ++pos_;
            while (text_[pos_] == '(') {
                if (!filter()) return false;
            }
            items_.push_back(std::string(GroupCloser));
            ++pos_;
            return true;
        }
        if (c == '!') {
            const char inner = text_[pos_ + 2];
            if (inner == '&' || inner == '|' || inner == '!') return false;
            ++pos_;
            items_.push_back("(!" + test() + ")");
            ++pos_;  // the negation's ")"
            return true;
        }
        --pos_;
        items_.push_back("(" + test() + ")");
        return true;
    }

    // The test in the parentheses at pos_, with "&" and "|" escaped.
    std::string test() {
        const std::size_t end = text_.find(')', pos_);
        std::string item;
        for (char c : text_.substr(pos_ + 1, end - pos_ - 1)) {
            if (c == '&' || c == '|') {
                appendEscape(item, static_cast<unsigned char>(c));
            } else {
                item += c;
            }
        }
        pos_ = end + 1;
        return item;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::vector<std::string> items_;
};

void keepFilter(QueryModel& model, std::string_view filter, std::vector<std::string> criteria, bool locked,
                std::string note) {
    model.keptFilter = std::string(filter);
    model.criteria = std::move(criteria);
    model.criteriaLocked = locked;
    model.filterNote = std::move(note);
}

void releaseFilter(QueryModel& model) {
    model.keptFilter.reset();
    model.criteriaLocked = false;
    model.filterNote.clear();
}

// Reads the filter field into the criteria. A filter in the designer's own
// form becomes the list. Any other filter is kept as written, and its
// criteria are shown as read in its own notation where the items can show
// them, so that reading and rebuilding never alters it.
void readFilter(QueryModel& model, std::string_view filter) {
    releaseFilter(model);
    if (!platform::isRfc4515Filter(filter)) {
        auto items = scanFilter(filter);
        if (BuildFilter(items) == filter) {
            model.criteria = std::move(items);
            return;
        }
    }
    std::string rfc;
    try {
        rfc = platform::toRfc4515Filter(filter);
    } catch (const Error& e) {
        keepFilter(model, filter, {}, true, std::string(LockedFilterNote) + " " + e.description());
        return;
    }
    auto items = RfcItemReader(rfc).read();
    if (!items) {
        keepFilter(model, filter, {}, true, std::string(LockedFilterNote));
    } else if (BuildFilter(*items) == filter) {
        model.criteria = std::move(*items);
    } else {
        keepFilter(model, filter, std::move(*items), false, std::string(KeptFilterNote));
    }
}

void readScope(QueryModel& model, const std::string& scope) {
    const auto entries = DepthEntries();
    model.depth.reset();
    model.otherScope.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (equalsIgnoringCase(scope, entries[i])) model.depth = static_cast<int>(i);
    }
    if (!model.depth) model.otherScope = scope;
}

// The text of the selected depth entry, or the scope kept from the text.
std::string depthText(const QueryModel& model) {
    const auto entries = DepthEntries();
    if (model.depth && *model.depth >= 0 && static_cast<std::size_t>(*model.depth) < entries.size()) {
        return entries[static_cast<std::size_t>(*model.depth)];
    }
    return model.otherScope;
}

// The list changed by the user: the criteria are now the filter.
void criteriaChanged(QueryModel& model) { releaseFilter(model); }

}  // namespace

std::vector<std::string> OperatorLabels() { return SplitQuery(OperatorLabelList); }

std::vector<std::string> DepthEntries() { return {"subtree", "oneLevel"}; }

std::string FormatCriterion(std::string_view field, int op, std::string_view value) {
    const std::string f = escapeField(field);
    const std::string v = escapeValue(value);
    // A "*" the user typed where the operator adds one is that one, not a second:
    // "**" is no filter a server takes.
    const bool starAtEnd = !v.empty() && v.back() == '*', starInFront = !v.empty() && v.front() == '*';
    switch (op) {
        case StartsWith: return "(" + f + "=" + v + (starAtEnd ? "" : "*") + ")";
        case EndsWith: return "(" + f + "=" + (starInFront ? "" : "*") + v + ")";
        case IsExactly: return "(" + f + "=" + v + ")";
        case IsNot: return "(!" + f + "=" + v + ")";
        case Present: return "(" + f + "=*)";
        case NotPresent: return "(!" + f + "=*)";
        default: throw Error(err::SubscriptOutOfRange, "Subscript out of range");
    }
}

std::optional<Criterion> ReadCriterion(std::string_view item) {
    if (!item.empty() && item.front() == '(') {
        item.remove_prefix(1);
        if (!item.empty()) item.remove_suffix(1);
    }
    const bool negated = !item.empty() && item.front() == '!';
    if (negated) item.remove_prefix(1);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) return std::nullopt;

    Criterion criterion{unescape(item.substr(0, equals)), IsExactly, ""};
    const std::string_view rest = item.substr(equals + 1);
    if (!rest.empty() && rest.front() == '*') {
        if (rest.size() == 1) {
            criterion.op = negated ? NotPresent : Present;
        } else {
            criterion.op = EndsWith;
            criterion.value = unescape(rest.substr(1));
        }
    } else if (!rest.empty() && rest.back() == '*') {
        criterion.op = StartsWith;
        criterion.value = unescape(rest.substr(0, rest.size() - 1));
    } else {
        criterion.op = negated ? IsNot : IsExactly;
        criterion.value = unescape(rest);
    }
    return criterion;
}

bool IsGroupItem(std::string_view item) { return item == AndOpener || item == OrOpener || item == GroupCloser; }

QueryModel NewQuery(const std::string& container) {
    QueryModel model;
    model.rawText = std::string(StartingQuery);
    model.container = container;
    model.criteria = {std::string(AndOpener), std::string(GroupCloser)};
    model.depth = 0;
    BuildQueryText(model, container);
    model.current = model.criteria.size() - 1;
    return model;
}

QueryModel OpenQuery(std::string_view query, const std::string& container) {
    if (query.empty()) return NewQuery(container);
    QueryModel model;
    model.rawText = std::string(query);
    ParseQueryText(model);
    if (!model.criteria.empty()) model.current = model.criteria.size() - 1;
    return model;
}

std::string BuildFilter(const std::vector<std::string>& criteria) {
    std::string filter;
    for (const auto& item : criteria) filter += item;
    return criteria.size() > 1 ? "(" + filter + ")" : filter;
}

void BuildQueryText(QueryModel& model, const std::optional<std::string>& container) {
    auto parts = SplitQuery(model.rawText);
    if (parts.size() < 4) parts.resize(4);
    if (container) parts[0] = "<" + *container + ">";
    parts[1] = model.keptFilter ? *model.keptFilter : BuildFilter(model.criteria);
    parts[2] = std::string(DesignerAttributes);
    parts[3] = depthText(model);
    model.rawText = JoinQuery(parts);
}

void ParseQueryText(QueryModel& model) {
    std::erase_if(model.rawText, [](char c) { return c == '\n' || c == '\r'; });
    if (!ValidQuery(model.rawText)) return;
    const auto fields = SplitQuery(model.rawText);
    model.container = fields[0].substr(1, fields[0].size() - 2);
    readFilter(model, fields[1]);
    model.current.reset();
    readScope(model, fields[3]);
    BuildQueryText(model, model.container);
}

std::string_view QueryStatus(std::string_view rawText) {
    return ValidQuery(rawText) ? QuerySyntaxOk : QuerySyntaxIncorrect;
}

void SetContainer(QueryModel& model, const std::string& container) {
    model.container = container;
    BuildQueryText(model, container);
}

void SelectDepth(QueryModel& model, int entry) {
    if (entry < 0 || entry >= static_cast<int>(DepthEntries().size())) return;
    model.depth = entry;
    model.otherScope.clear();
    BuildQueryText(model, model.container);
}

bool CriteriaEditable(const QueryModel& model) { return !model.criteriaLocked; }

void SelectCriterion(QueryModel& model, std::optional<std::size_t> index) {
    model.current = (index && *index < model.criteria.size()) ? index : std::nullopt;
}

std::string CriterionToEdit(const QueryModel& model) {
    if (!model.current) return "";
    const std::string& item = model.criteria[*model.current];
    return IsGroupItem(item) ? "" : item;
}

bool RemoveCriterion(QueryModel& model) {
    if (model.criteriaLocked) return false;
    const bool removing = model.current.has_value();
    if (removing) {
        const std::size_t i = *model.current;
        model.criteria.erase(model.criteria.begin() + static_cast<std::ptrdiff_t>(i));
        model.current = i >= 1 ? std::optional<std::size_t>(i - 1) : std::nullopt;
        criteriaChanged(model);
    }
    BuildQueryText(model);
    return removing;
}

bool MoveCriterionUp(QueryModel& model) {
    return model.current && *model.current >= 1 && SwapCriteria(model, *model.current, -1);
}

bool MoveCriterionDown(QueryModel& model) {
    return model.current && *model.current + 1 < model.criteria.size() && SwapCriteria(model, *model.current, +1);
}

bool SwapCriteria(QueryModel& model, std::size_t i, int d) {
    const std::size_t j = i + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(d));
    if (model.criteriaLocked || i >= model.criteria.size() || j >= model.criteria.size()) return false;
    std::swap(model.criteria[i], model.criteria[j]);
    model.current = j;
    criteriaChanged(model);
    BuildQueryText(model);
    return true;
}

bool AddCriterionItem(QueryModel& model, const std::string& item, bool& editMode) {
    if (model.criteriaLocked) return false;
    std::size_t at = model.criteria.size();
    std::optional<std::size_t> edited;
    if (model.current) {
        const std::size_t i = *model.current;
        at = item == GroupCloser ? i + 1 : i;
        edited = at <= i ? i + 1 : i;
    }
    model.criteria.insert(model.criteria.begin() + static_cast<std::ptrdiff_t>(at), item);
    if (editMode && edited) {
        model.criteria.erase(model.criteria.begin() + static_cast<std::ptrdiff_t>(*edited));
        if (*edited < at) --at;
    }
    editMode = false;
    model.current = at;
    criteriaChanged(model);
    return true;
}

}  // namespace qv
