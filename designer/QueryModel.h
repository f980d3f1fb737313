#pragma once
// The query designer's model: the raw query text and the fields it is shown
// in (container, criteria items, depth), the conversions that keep the two in
// step, and the list operations of the designer and its criteria editor. Plain
// data and plain functions, so the dialogs only show and forward.
//
// Criteria items are "&(" and "|(" (group openers), ")" (a group's closer)
// and criteria such as "(cn=a*)". The designer writes a group as its opener,
// its members and its closer one after another, and encloses a list of more
// than one item in one more pair of parentheses: "(&((cn=a*)(l=B)))".
//
// Characters that would be read as structure are escaped inside criteria as
// \XX ("(" \28, ")" \29, "&" \26, "|" \7c, ";" \3b, control characters,
// a backslash before two hexadecimal digits \5c, "=" and a leading "!" of a
// field name \3d and \21), so that every field and value survives the text and
// reaches the server as written. Every "*" of a value is written as typed and
// stays a wildcard, at its ends too; such a value reads back by the item's
// form ("Starts with" *a writes (f=*a*), which reads as "Ends with" a*).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The attribute list every rebuilt query carries.
inline constexpr std::string_view DesignerAttributes = "cn,ADsPath,distinguishedName";
// The raw text of a new query before its first rebuild.
inline constexpr std::string_view StartingQuery = "<LDAP://>;;;subtree";
// The designer's status line.
inline constexpr std::string_view QueryFormHint = "LDAP queries are of the form: <Start>;Criteria;Return;Depth";
inline constexpr std::string_view QuerySyntaxOk = "Query syntax is ok.";
inline constexpr std::string_view QuerySyntaxIncorrect = "Query syntax is incorrect or incomplete.";
// The items of a group.
inline constexpr std::string_view AndOpener = "&(";
inline constexpr std::string_view OrOpener = "|(";
inline constexpr std::string_view GroupCloser = ")";

// The criteria editor's operators, by their index in the operator list.
enum CriterionOperator : int { StartsWith = 0, EndsWith = 1, IsExactly = 2, IsNot = 3, Present = 4, NotPresent = 5 };

// The operator labels in index order: "Starts with", "Ends with",
// "Is (exactly)", "Is not", "Present", "Not present".
std::vector<std::string> OperatorLabels();
// The depth entries in order: "subtree" (0), "oneLevel" (1).
std::vector<std::string> DepthEntries();

// One attribute test as the criteria editor shows it.
struct Criterion {
    std::string field;
    int op = StartsWith;  // a CriterionOperator
    std::string value;    // empty for Present and Not present
    bool operator==(const Criterion&) const = default;
};

// The criterion item for field, operator and value; "Starts with" a value
// that ends in "*", or "Ends with" one that begins with it, adds no second
// "*". Throws qv::Error
// (err::SubscriptOutOfRange) for an operator outside 0 to 5.
std::string FormatCriterion(std::string_view field, int op, std::string_view value);
// Field, operator and value of a criterion item; nothing for an item
// without "=" (the editor then keeps its defaults).
std::optional<Criterion> ReadCriterion(std::string_view item);
// True for "&(", "|(" and ")".
bool IsGroupItem(std::string_view item);

struct QueryModel {
    std::string rawText;                   // the query as text, as the user may edit it
    std::string container;                 // the ADsPath where the search starts
    std::vector<std::string> criteria;     // the criteria items in order
    std::optional<std::size_t> current;    // the current item of the list
    std::optional<int> depth;              // 0 "subtree", 1 "oneLevel", none
    std::string otherScope;                // a scope read from the text that no depth entry shows
    // A filter read from the text that is not in the designer's own form. It
    // is written back exactly as read until the criteria change.
    std::optional<std::string> keptFilter;
    bool criteriaLocked = false;           // the kept filter cannot be shown as criteria
    std::string filterNote;                // why the filter is kept ("" when it is not)
};

// A new query at `container`: items "&(" and ")" with ")" current, "subtree".
QueryModel NewQuery(const std::string& container);
// The designer opening `query` (a new query when it is empty), with the last
// item current.
QueryModel OpenQuery(std::string_view query, const std::string& container);

// Rewrites the raw text from the fields: base (when a container is given),
// filter, attribute list and scope; further ";" parts stay, missing ones are
// added.
void BuildQueryText(QueryModel& model, const std::optional<std::string>& container = std::nullopt);
// Removes line breaks from the raw text; when it then is a valid query,
// reads container, criteria and depth from it and rebuilds it.
void ParseQueryText(QueryModel& model);
// The status line for a raw text.
std::string_view QueryStatus(std::string_view rawText);

// The filter field that a list of items makes.
std::string BuildFilter(const std::vector<std::string>& criteria);

// Field changes, each followed by a rebuild of the raw text.
void SetContainer(QueryModel& model, const std::string& container);
void SelectDepth(QueryModel& model, int entry);

// List operations. Those that change the list drop a kept filter; none of
// them changes a locked list (they return false).
bool CriteriaEditable(const QueryModel& model);
void SelectCriterion(QueryModel& model, std::optional<std::size_t> index);
// The current item when it is a criterion (what a double-click edits), else "".
std::string CriterionToEdit(const QueryModel& model);
bool RemoveCriterion(QueryModel& model);
bool MoveCriterionUp(QueryModel& model);
bool MoveCriterionDown(QueryModel& model);
// Exchanges items i and i + d; the moved item becomes current.
bool SwapCriteria(QueryModel& model, std::size_t i, int d);
// Inserts an item before the current item (a closer after it), or at the end
// without one, and makes it current. In edit mode the item that was current
// is replaced and edit mode ends. Does not rebuild the raw text.
bool AddCriterionItem(QueryModel& model, const std::string& item, bool& editMode);

}  // namespace qv
