#include "platform/LdapFilter.h"

#include <optional>
#include <vector>

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/Utf8.h"

namespace qv::platform {

namespace {

// Deeper nesting is refused, so that no input can exhaust the stack.
constexpr std::size_t kMaxDepth = 100;
constexpr std::size_t npos = std::string_view::npos;

bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool isKeyChar(char c) { return isAlpha(c) || isDigit(c) || c == '-'; }
bool isOperator(char c) { return c == '&' || c == '|'; }

char at(std::string_view text, std::size_t pos) { return pos < text.size() ? text[pos] : '\0'; }

void appendHexEscape(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    out += '\\';
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

// A place in the text and what is wrong there.
struct Problem {
    std::size_t pos = 0;
    std::string what;
};

// ---- The grammar of one test: attribute description, match type, value ----

// End of a numeric OID component ("0" or a number without leading zero).
std::size_t scanNumber(std::string_view text, std::size_t pos) {
    if (!isDigit(at(text, pos))) return npos;
    if (text[pos] == '0') return pos + 1;
    while (isDigit(at(text, pos))) ++pos;
    return pos;
}

// End of an OID (a descriptor such as "cn", or a numeric OID such as
// "2.5.4.3") that starts at `pos`, or npos.
std::size_t scanOid(std::string_view text, std::size_t pos) {
    if (isAlpha(at(text, pos))) {
        ++pos;
        while (isKeyChar(at(text, pos))) ++pos;
        return pos;
    }
    std::size_t end = scanNumber(text, pos);
    if (end == npos) return npos;
    bool dotted = false;
    while (at(text, end) == '.') {
        end = scanNumber(text, end + 1);
        if (end == npos) return npos;
        dotted = true;
    }
    return dotted ? end : npos;
}

// End of an attribute description (an OID with options such as ";lang-en").
std::size_t scanAttributeDescription(std::string_view text, std::size_t pos) {
    std::size_t end = scanOid(text, pos);
    while (end != npos && at(text, end) == ';') {
        std::size_t option = end + 1;
        if (!isKeyChar(at(text, option))) return npos;
        while (isKeyChar(at(text, option))) ++option;
        end = option;
    }
    return end;
}

bool isDn(std::string_view word) {
    return word.size() == 2 && (word[0] == 'd' || word[0] == 'D') && (word[1] == 'n' || word[1] == 'N');
}

// The ":dn" and ":rule" parts of an extensible match up to and including
// ":=", starting at the first ":". Returns the position after ":=".
std::optional<std::size_t> readExtensibleParts(std::string_view text, std::size_t pos, bool hasAttribute,
                                               Problem& problem) {
    const std::size_t start = pos;
    std::size_t parts = 0;
    bool firstIsDn = false;
    while (true) {
        if (at(text, pos) != ':') {
            problem = {pos, "':=' is expected in an extensible match"};
            return std::nullopt;
        }
        if (at(text, pos + 1) == '=') break;
        const std::size_t end = scanOid(text, pos + 1);
        if (end == npos || parts == 2) {
            problem = {pos + 1, "a matching rule or ':=' is expected"};
            return std::nullopt;
        }
        if (parts == 0) firstIsDn = isDn(text.substr(pos + 1, end - pos - 1));
        ++parts;
        pos = end;
    }
    const bool shapeOk = (parts < 2 || firstIsDn) && (hasAttribute || parts >= 1);
    if (!shapeOk) {
        problem = {start, "an extensible match is written attr:dn:rule:=value, attr:=value or :rule:=value"};
        return std::nullopt;
    }
    return pos + 2;
}

// The value of a test, read up to the next parenthesis or the end of the
// text. Strict mode accepts RFC 4515 values only; dialect mode takes every
// character literally (but "*" as a wildcard and a valid "\XX" as an escape)
// and appends the value in RFC 4515 form to `out`.
std::optional<std::size_t> readValue(std::string_view text, std::size_t pos, bool wildcards, bool dialect,
                                     std::string* out, Problem& problem) {
    auto invalid = [&](const char* what) {
        problem = {pos, what};
        return std::nullopt;
    };
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '(' || c == ')') break;
        if (c == '*') {
            if (!wildcards) return invalid("'*' is a wildcard only in an '=' test (write \\2a for an asterisk)");
            if (out) *out += c;
            ++pos;
        } else if (c == '\\' && isHex(at(text, pos + 1)) && isHex(at(text, pos + 2))) {
            if (out) out->append(text.substr(pos, 3));
            pos += 3;
        } else if (c == '\\' || c == '\0') {
            if (!dialect) return invalid("a backslash must be followed by two hexadecimal digits");
            if (out) appendHexEscape(*out, static_cast<unsigned char>(c));
            ++pos;
        } else {
            const std::size_t length = utf8SequenceLength(text, pos);
            if (length == 0) {
                if (!dialect) return invalid("the value is not valid UTF-8");
                if (out) appendHexEscape(*out, static_cast<unsigned char>(c));
                ++pos;
            } else {
                if (out) out->append(text.substr(pos, length));
                pos += length;
            }
        }
    }
    return pos;
}

// One test ("cn=a*", "age>=3", "cn:dn:2.5.13.2:=x", ...) starting at `pos`
// and ending before the next parenthesis. Returns the position after it; in
// dialect mode the test is appended to `out` in RFC 4515 form.
std::optional<std::size_t> readItem(std::string_view text, std::size_t pos, bool dialect, std::string* out,
                                    Problem& problem) {
    const std::size_t start = pos;
    std::optional<std::size_t> valueStart;
    bool wildcards = false;
    if (at(text, pos) == ':') {
        valueStart = readExtensibleParts(text, pos, false, problem);
    } else {
        const std::size_t end = scanAttributeDescription(text, pos);
        if (end == npos) {
            problem = {pos, "an attribute name is expected"};
            return std::nullopt;
        }
        const char c = at(text, end);
        if (c == ':') {
            valueStart = readExtensibleParts(text, end, true, problem);
        } else if (c == '=') {
            valueStart = end + 1;
            wildcards = true;
        } else if ((c == '~' || c == '>' || c == '<') && at(text, end + 1) == '=') {
            valueStart = end + 2;
        } else {
            problem = {end, "'=', '~=', '>=', '<=' or ':=' is expected after the attribute name"};
        }
    }
    if (!valueStart) return std::nullopt;
    if (out) out->append(text.substr(start, *valueStart - start));
    return readValue(text, *valueStart, wildcards, dialect, out, problem);
}

// ---- RFC 4515 check ----

class RfcChecker {
public:
    explicit RfcChecker(std::string_view text) : text_(text) {}

    bool wholeText() { return filter(1) && pos_ == text_.size(); }

private:
    bool filter(std::size_t depth) {
        if (depth > kMaxDepth || at(text_, pos_) != '(') return false;
        ++pos_;
        if (!component(depth)) return false;
        if (at(text_, pos_) != ')') return false;
        ++pos_;
        return true;
    }

    bool component(std::size_t depth) {
        const char c = at(text_, pos_);
        if (isOperator(c)) {
            ++pos_;
            while (at(text_, pos_) == '(') {
                if (!filter(depth + 1)) return false;
            }
            return true;
        }
        if (c == '!') {
            ++pos_;
            return filter(depth + 1);
        }
        Problem ignored;
        const auto end = readItem(text_, pos_, false, nullptr, ignored);
        if (!end) return false;
        pos_ = *end;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// ---- The designer's dialect ----
//
// Read on the tree of parentheses: a node's content is either a run of terms
// (an implicit "and"), an operator with its terms, a negation or one test.
// A term of a run is a node, or "&" / "|" directly followed by a node that
// holds the group's own run: "&((a=1)(b=2))". An operator directly followed
// by a node that holds a single filter instead is read as RFC 4515 style,
// "&(a=1)(!b=2)", taking every following node as a term.
class DialectTranslator {
public:
    explicit DialectTranslator(std::string_view text) : text_(text) {}

    std::string translate() {
        if (text_.empty()) fail(0, "the filter is empty");
        matchParentheses();
        if (text_[0] != '(') fail(0, "a filter must begin with '('");
        if (close_[0] != text_.size() - 1) fail(close_[0] + 1, "there is text after the filter's closing ')'");
        filterAt(0);
        return std::move(out_);
    }

private:
    [[noreturn]] void fail(std::size_t pos, const std::string& what) const {
        throw Error(err::FilterUnknown, "The search filter is not valid at character " +
                                            std::to_string(utf8Length(text_.substr(0, pos)) + 1) + ": " + what +
                                            ".");
    }

    void matchParentheses() {
        close_.assign(text_.size(), npos);
        std::vector<std::size_t> open;
        for (std::size_t pos = 0; pos < text_.size(); ++pos) {
            if (text_[pos] == '(') {
                if (open.size() == kMaxDepth) fail(pos, "the filter is nested too deeply");
                open.push_back(pos);
            } else if (text_[pos] == ')') {
                if (open.empty()) fail(pos, "')' has no matching '('");
                close_[open.back()] = pos;
                open.pop_back();
            }
        }
        if (!open.empty()) fail(open.back(), "'(' is never closed");
        holdsRun_.assign(text_.size(), -1);
    }

    // True when the node opened at `open` holds a run of terms (possibly
    // none) rather than one filter.
    bool holdsRun(std::size_t open) {
        signed char& known = holdsRun_[open];
        if (known < 0) {
            const std::size_t b = open + 1, e = close_[open];
            const char c = text_[b];
            if (b == e || c == '(') {
                known = 1;
            } else if (isOperator(c) && b + 1 < e && text_[b + 1] == '(') {
                known = holdsRun(b + 1) ? 1 : 0;
            } else {
                known = 0;
            }
        }
        return known == 1;
    }

    void filterAt(std::size_t open) { content(open + 1, close_[open]); }

    void content(std::size_t b, std::size_t e) {
        if (b == e) fail(b - 1, "'()' holds no test");
        const char c = text_[b];
        if (c == '(') {
            list(b, e);
        } else if (isOperator(c)) {
            if (b + 1 == e) {
                out_ += '(';
                out_ += c;
                out_ += ')';
            } else if (text_[b + 1] != '(') {
                fail(b + 1, std::string("'(' is expected after '") + c + "'");
            } else if (holdsRun(b + 1)) {
                list(b, e);
            } else {
                operatorWithTerms(c, b + 1, e);
            }
        } else if (c == '!') {
            negation(b + 1, e);
        } else {
            item(b, e);
        }
    }

    // A run of terms: one term stands for itself, several mean all of them.
    void list(std::size_t b, std::size_t e) {
        std::size_t count = 0;
        for (std::size_t pos = b; pos < e; ++count) pos = termEnd(pos, e);
        if (count != 1) out_ += "(&";
        for (std::size_t pos = b; pos < e;) pos = term(pos, e);
        if (count != 1) out_ += ')';
    }

    // Checks the term at `pos` and returns the position after it.
    std::size_t termEnd(std::size_t pos, std::size_t e) {
        const char c = text_[pos];
        if (c == '(') return close_[pos] + 1;
        if (!isOperator(c)) fail(pos, "a test in parentheses or a group is expected");
        if (pos + 1 >= e || text_[pos + 1] != '(') fail(pos + 1, std::string("'(' is expected after '") + c + "'");
        if (!holdsRun(pos + 1)) {
            fail(pos + 1, "the terms of a group belong in one more pair of parentheses, as in (&((a=1)(b=2)))");
        }
        return close_[pos + 1] + 1;
    }

    std::size_t term(std::size_t pos, std::size_t e) {
        const std::size_t end = termEnd(pos, e);
        if (text_[pos] == '(') {
            filterAt(pos);
        } else {
            out_ += '(';
            out_ += text_[pos];
            for (std::size_t inner = pos + 2; inner < end - 1;) inner = term(inner, end - 1);
            out_ += ')';
        }
        return end;
    }

    void operatorWithTerms(char op, std::size_t b, std::size_t e) {
        out_ += '(';
        out_ += op;
        for (std::size_t pos = b; pos < e; pos = close_[pos] + 1) {
            if (text_[pos] != '(') fail(pos, "a test in parentheses is expected");
            filterAt(pos);
        }
        out_ += ')';
    }

    void negation(std::size_t b, std::size_t e) {
        if (b == e) fail(b, "a test is expected after '!'");
        out_ += "(!";
        const char c = text_[b];
        if (c == '(' || isOperator(c)) {
            if (term(b, e) != e) fail(c == '(' ? close_[b] + 1 : close_[b + 1] + 1, "'!' negates exactly one test");
        } else {
            item(b, e);
        }
        out_ += ')';
    }

    void item(std::size_t b, std::size_t e) {
        out_ += '(';
        Problem problem;
        const auto end = readItem(text_, b, true, &out_, problem);
        if (!end) fail(problem.pos, problem.what);
        if (*end != e) fail(*end, "'(' inside a test (write \\28 for a parenthesis in a value)");
        out_ += ')';
    }

    std::string_view text_;
    std::vector<std::size_t> close_;      // for each '(' the position of its ')'
    std::vector<signed char> holdsRun_;  // memo of holdsRun: -1 not known yet
    std::string out_;
};

}  // namespace

bool isRfc4515Filter(std::string_view filter) { return RfcChecker(filter).wholeText(); }

std::string toRfc4515Filter(std::string_view filter) {
    if (isRfc4515Filter(filter)) return std::string(filter);
    std::string translated = DialectTranslator(filter).translate();
    if (!isRfc4515Filter(translated)) {
        throw Error(err::FilterUnknown, "The search filter cannot be translated: " + std::string(filter));
    }
    return translated;
}

bool isAttributeDescription(std::string_view name) {
    return !name.empty() && scanAttributeDescription(name, 0) == name.size();
}

std::string escapeFilterValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t pos = 0; pos < value.size();) {
        const char c = value[pos];
        const std::size_t length = utf8SequenceLength(value, pos);
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0' || length == 0) {
            appendHexEscape(out, static_cast<unsigned char>(c));
            ++pos;
        } else {
            out.append(value.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

}  // namespace qv::platform
