#include "support/LdapTool.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "support/TestEnvironment.h"

namespace qv::test {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string base64Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        auto pos = alphabet.find(c);
        if (pos == std::string::npos) continue;
        buffer = (buffer << 6) | unsigned(pos);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::vector<LdapEntry> parseLdif(const std::string& text) {
    std::vector<LdapEntry> entries;
    std::istringstream lines(text);
    std::string line;
    LdapEntry* current = nullptr;
    while (std::getline(lines, line)) {
        if (line.empty()) { current = nullptr; continue; }
        if (line[0] == '#') continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::string value;
        if (colon + 1 < line.size() && line[colon + 1] == ':')
            value = base64Decode(line.substr(colon + 2));
        else
            value = line.substr(std::min(line.size(), colon + 2));
        if (lower(name) == "dn") {
            entries.push_back({value, {}});
            current = &entries.back();
        } else if (current) {
            current->attributes[lower(name)].push_back(value);
        }
    }
    return entries;
}

}  // namespace

const std::vector<std::string>& LdapEntry::values(const std::string& name) const {
    static const std::vector<std::string> none;
    auto it = attributes.find(lower(name));
    return it == attributes.end() ? none : it->second;
}

LdapTool::LdapTool(const ReferenceDirectory& dir, Account account)
    : LdapTool(dir.url(), account.dn(), account.password) {}

LdapTool::LdapTool(std::string url, std::string bindDn, std::string password)
    : url_(std::move(url)), bindDn_(std::move(bindDn)), password_(std::move(password)) {}

std::string LdapTool::run(const std::string& tool, const std::vector<std::string>& arguments, const std::string& input,
                          int allowed) const {
    std::vector<std::string> argv{tool, "-x", "-H", url_, "-D", bindDn_, "-w", password_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto r = runCommand(argv, {{"LDAPNOINIT", "1"}}, input);
    if (r.exitCode != 0 && r.exitCode != allowed) throw std::runtime_error(tool + " failed: " + r.err + "\n" + input);
    return r.exitCode == 0 ? r.out : std::string();
}

std::vector<LdapEntry> LdapTool::search(const std::string& base, const std::string& filter,
                                        const std::string& scope,
                                        const std::vector<std::string>& attributes) const {
    std::vector<std::string> arguments{"-LLL", "-o", "ldif-wrap=no", "-b", base, "-s", scope, filter};
    arguments.insert(arguments.end(), attributes.begin(), attributes.end());
    return parseLdif(run("ldapsearch", arguments, {}, 32));  // 32: no such object
}

std::set<std::string> LdapTool::dns(const std::string& base, const std::string& filter,
                                    const std::string& scope) const {
    std::set<std::string> result;
    for (const auto& e : search(base, filter, scope, {"1.1"})) result.insert(e.dn);
    return result;
}

std::vector<std::string> LdapTool::values(const std::string& dn, const std::string& attribute) const {
    auto entries = search(dn, "(objectClass=*)", "base", {attribute});
    return entries.empty() ? std::vector<std::string>{} : entries.front().values(attribute);
}

std::set<std::string> LdapTool::members(const std::string& dn) const {
    auto v = values(dn, "member");
    return {v.begin(), v.end()};
}

bool LdapTool::exists(const std::string& dn) const { return !search(dn, "(objectClass=*)", "base", {"1.1"}).empty(); }

void LdapTool::modify(const std::string& ldif) const { run("ldapmodify", {}, ldif); }

void LdapTool::replace(const std::string& dn, const std::string& attribute,
                       const std::vector<std::string>& values) const {
    std::string ldif = "dn: " + dn + "\nchangetype: modify\nreplace: " + attribute + "\n";
    for (const auto& v : values) ldif += attribute + ": " + v + "\n";
    modify(ldif + "-\n");
}

void LdapTool::add(const std::string& ldif) const { run("ldapadd", {}, ldif); }

void LdapTool::remove(const std::string& dn) const { run("ldapdelete", {dn}, {}, 32); }

}  // namespace qv::test
