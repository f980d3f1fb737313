// Writes the benchmark organisation for the reference directory:
//   seed.ldif    the organisation, @SERVER@ standing for the server (refdir.sh --seed),
//                every Quorvel DL holding one stale member
//   seed-held.ldif  the same with every DL holding what a first pass leaves
//                (the members its query selects; a list over the limit keeps
//                its stale member), to start the later scenarios without one
//   dls.tsv      one line per Quorvel DL: its DN, the members its query selects
//                before and after the change, and the search it runs (base DN,
//                scope, filter in RFC 4515 form)
//   change.ldif  one attribute changed for a share of the people
// With --full-lists N the DLs are N lists of exactly --max-members people
// each (one cohort each; the people a multiple of it), and the change moves
// one person of each cohort to the next: every list changes by one name.
// and prints a summary. The same options and seed always give the same files.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/Organisation.h"

namespace qv::bench {
namespace {

struct Options {
    std::size_t people = 20000;
    std::size_t dls = 300;
    std::size_t maxMembers = 5000;
    std::uint64_t seed = 1;
    double changePercent = 1.0;
    std::size_t fullLists = 0;
    std::string out = ".";
};

const char* kUsage =
    "usage: quorvel_bench_generate [--people N] [--dls N] [--seed N] [--max-members N]\n"
    "                              [--change-percent P] [--full-lists N] [--out DIR]\n"
    "defaults: 20000 people, 300 DLs, seed 1, 5000 members at most, 1% changed, DIR .\n";

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) throw std::invalid_argument(arg);
        const char* value = argv[++i];
        if (arg == "--people") o.people = std::stoul(value);
        else if (arg == "--dls") o.dls = std::stoul(value);
        else if (arg == "--seed") o.seed = std::stoull(value);
        else if (arg == "--max-members") o.maxMembers = std::stoul(value);
        else if (arg == "--change-percent") o.changePercent = std::stod(value);
        else if (arg == "--full-lists") o.fullLists = std::stoul(value);
        else if (arg == "--out") o.out = value;
        else throw std::invalid_argument(arg);
    }
    if (o.people == 0 || o.maxMembers == 0) throw std::invalid_argument("--people and --max-members must be positive");
    if (o.fullLists && o.people % o.maxMembers != 0)
        throw std::invalid_argument("--full-lists needs --people to be a multiple of --max-members");
    return o;
}

Term is(Field field, std::string value) { return Term{{Atom{field, std::move(value)}}, false}; }
Term isNot(Field field, std::string value) { return Term{{Atom{field, std::move(value)}}, true}; }
Term anyOf(Field field, const std::vector<std::string>& values) {
    Term t;
    for (const auto& v : values) t.anyOf.push_back(Atom{field, v});
    return t;
}

// Builds the candidate queries; the forms of base, filter and scope vary at random.
class Candidates {
public:
    Candidates(const Organisation& org, Random& random) : org_(org), random_(random) {}

    std::vector<Query> all() {
        singles();
        pairs();
        unions();
        special();
        return std::move(queries_);
    }

private:
    void add(std::string name, std::vector<Term> terms, Base base = Base::Site, std::size_t region = 0) {
        Query q;
        q.name = std::move(name);
        q.terms = std::move(terms);
        q.base = base;
        q.region = region;
        if (base != Base::Region) q.base = std::array{Base::Organisation, Base::Site, Base::Recipients}[random_.below(3)];
        q.oneLevel = base == Base::Region && random_.chance(0.5);
        q.dialect = random_.chance(0.3);
        q.treePath = random_.chance(0.4);
        static const char* subtree[] = {"subtree", "SubTree", "SUBTREE"};
        q.scopeText = q.oneLevel ? (random_.chance(0.5) ? "onelevel" : "oneLevel") : subtree[random_.below(3)];
        queries_.push_back(std::move(q));
    }

    const std::vector<std::string>& values(Field f) const { return org_.domain(f); }

    void singles() {
        for (Field f : {Field::Department, Field::City, Field::Title, Field::Company, Field::EmployeeType})
            for (const auto& v : values(f)) add(std::string(Organisation::attributeOf(f)) + " " + v, {is(f, v)});
        for (const auto& v : values(Field::CostCentre)) add("Cost centre " + v, {is(Field::CostCentre, v)});
        for (std::size_t i = 0; i < 150 && i < values(Field::Team).size(); ++i)
            add("Project " + values(Field::Team)[i], {is(Field::Team, values(Field::Team)[i])});
        for (const char* pattern : {"*Engineer", "Senior*", "*Manager", "*Analyst"})
            add(std::string("Titles ") + pattern, {is(Field::Title, pattern)});
    }

    void pairs() {
        for (const auto& d : values(Field::Department)) {
            for (const auto& c : values(Field::City))
                add(d + " in " + c, {is(Field::Department, d), is(Field::City, c)});
            for (const auto& t : values(Field::Title)) add(t + ", " + d, {is(Field::Department, d), is(Field::Title, t)});
            for (const char* pattern : {"*Engineer", "Senior*", "*Manager", "*Analyst"})
                add(d + " " + pattern, {is(Field::Department, d), is(Field::Title, pattern)});
            add(d + " contractors", {is(Field::Department, d), is(Field::EmployeeType, "Contractor")});
            for (std::size_t r = 0; r < org_.regionCount(); ++r)
                add(d + " in " + org_.regionName(r), {is(Field::Department, d)}, Base::Region, r);
        }
        for (std::size_t r = 0; r < org_.regionCount(); ++r)
            add("Everybody in " + org_.regionName(r), {}, Base::Region, r);
        for (int k = 0; k < 40; ++k) {
            const auto& d = values(Field::Department)[random_.below(values(Field::Department).size())];
            const auto& c = values(Field::City)[random_.below(values(Field::City).size())];
            add(d + " outside " + c, {is(Field::Department, d), isNot(Field::City, c)});
        }
    }

    std::vector<std::string> some(Field f, std::size_t n) {
        std::vector<std::string> pool = values(f), out;
        for (std::size_t i = 0; i < n && !pool.empty(); ++i) {
            std::size_t at = random_.below(pool.size());
            out.push_back(pool[at]);
            pool.erase(pool.begin() + std::ptrdiff_t(at));
        }
        return out;
    }

    void unions() {
        for (int k = 0; k < 60; ++k) add("Cities " + std::to_string(k), {anyOf(Field::City, some(Field::City, 2 + k % 3))});
        for (int k = 0; k < 40; ++k)
            add("Departments " + std::to_string(k), {anyOf(Field::Department, some(Field::Department, 2))});
        for (int k = 0; k < 120; ++k)
            add("Cost centres " + std::to_string(k),
                {anyOf(Field::CostCentre, some(Field::CostCentre, 2 + std::size_t(random_.below(60))))});
        for (int k = 0; k < 60; ++k)
            add("Projects " + std::to_string(k), {anyOf(Field::Team, some(Field::Team, 2 + random_.below(12)))});
    }

    void special() {
        add("Astronauts", {is(Field::Title, "Astronaut")});
        add("Former staff", {is(Field::Department, "Former")});
        add("Project Team-999", {is(Field::Team, "Team-999")});
        const auto& people = org_.people();
        const auto& cohorts = values(Field::Cohort);
        for (std::size_t c = 0; c < cohorts.size(); ++c)
            for (int variant = 0; variant < 3; ++variant) add(cohorts[c], {is(Field::Cohort, cohorts[c])});
        if (cohorts.size() > 1) {
            // One cohort and one person more: one name over the limit.
            auto other = std::find_if(people.begin(), people.end(), [](const Person& p) { return p.cohort == 1; });
            if (other != people.end())
                add(cohorts[0] + " and one more",
                    {Term{{Atom{Field::Cohort, cohorts[0]},
                           Atom{Field::EmployeeNumber, org_.valueOf(*other, Field::EmployeeNumber)}}}});
        }
    }

    const Organisation& org_;
    Random& random_;
    std::vector<Query> queries_;
};

struct Chosen {
    Query query;
    std::vector<std::size_t> before, after;
    std::string dn;
};

// Size classes and their share of the DLs: a spread from none to the limit.
struct SizeClass {
    double from, to;  // as fractions of the limit; `to` included
    double share;
};

std::vector<Chosen> choose(std::vector<Query> queries, const Organisation& org, std::size_t count, Random& random) {
    const double m = double(org.maxMembers());
    // Sizes as numbers of people: exactly 0, 1-10, 11-50, ... the limit, one over it.
    const std::vector<std::pair<std::size_t, std::size_t>> classes = {
        {0, 0},       {1, 10},       {11, 50},       {51, 200},  {201, 500},          {501, 1000},
        {1001, 2000}, {2001, 3500},  {3501, std::size_t(m) - 1}, {std::size_t(m), std::size_t(m)},
        {std::size_t(m) + 1, std::size_t(m) + 1}};
    const std::vector<double> shares = {8, 25, 45, 60, 55, 40, 32, 20, 9, 5, 1};
    std::vector<std::vector<Chosen>> byClass(classes.size());
    for (std::size_t i = queries.size(); i > 1; --i) std::swap(queries[i - 1], queries[random.below(i)]);
    for (auto& q : queries) {
        auto members = org.select(q);
        for (std::size_t c = 0; c < classes.size(); ++c)
            if (members.size() >= classes[c].first && members.size() <= classes[c].second) {
                byClass[c].push_back({std::move(q), std::move(members), {}, {}});
                break;
            }
    }
    std::vector<Chosen> out;
    double total = 0;
    for (double s : shares) total += s;
    std::size_t carry = 0;
    for (std::size_t c = 0; c < classes.size(); ++c) {
        std::size_t want = std::size_t(std::lround(shares[c] * double(count) / total)) + carry;
        if (c + 1 == classes.size() && want == 0 && !byClass[c].empty()) want = 1;
        std::size_t take = std::min(want, byClass[c].size());
        carry = (c + 2 < classes.size()) ? want - take : 0;  // the limit classes do not pass theirs on
        for (std::size_t i = 0; i < take; ++i) out.push_back(std::move(byClass[c][i]));
        byClass[c].erase(byClass[c].begin(), byClass[c].begin() + std::ptrdiff_t(take));
    }
    // Rounding or thin classes: fill up (or cut back) with lists below the limit.
    for (std::size_t c = 0; out.size() < count && c + 2 < classes.size(); ++c)
        while (out.size() < count && !byClass[c].empty()) {
            out.push_back(std::move(byClass[c].back()));
            byClass[c].pop_back();
        }
    while (out.size() > count) out.erase(out.begin() + std::ptrdiff_t(random.below(out.size())));
    return out;
}

// N lists of one whole cohort each, the cohorts taken in turn; base and
// filter forms vary as for the other lists.
std::vector<Chosen> fullLists(const Organisation& org, std::size_t count, Random& random) {
    std::vector<Chosen> out;
    const auto& cohorts = org.domain(Field::Cohort);
    for (std::size_t k = 0; k < count; ++k) {
        Query q;
        const auto& cohort = cohorts[k % cohorts.size()];
        q.name = cohort + " list " + std::to_string(k + 1);
        q.terms = {is(Field::Cohort, cohort)};
        q.base = std::array{Base::Organisation, Base::Site, Base::Recipients}[random.below(3)];
        q.dialect = random.chance(0.3);
        q.treePath = random.chance(0.4);
        auto members = org.select(q);
        out.push_back({std::move(q), std::move(members), {}, {}});
    }
    return out;
}

const char* containerOf(const Query& q) {
    Field f = q.terms.empty() ? Field::City : q.terms.front().anyOf.front().field;
    if (q.base == Base::Region) return "Locations";
    switch (f) {
        case Field::Department:
        case Field::Title: return "Departments";
        case Field::City: return "Locations";
        case Field::CostCentre:
        case Field::Team: return "Projects";
        default: return "Company-wide";
    }
}

std::string slug(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
        else if (!out.empty() && out.back() != '-') out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out.substr(0, 40);
}

const char* kStaleMember = "cn=Former Employee,cn=Leavers,ou=Amsterdam,o=Northwind Traders";
const char* kNotice =
    "This is an automated distribution list, please do not modify membership.  Membership is controlled by Quorvel.";

std::string container(const std::string& dn, const std::string& cn, const std::string& parent) {
    return "dn: " + dn + "\nobjectClass: Container\ncn: " + cn + "\nObj-View-Containers: " + parent + "\n\n";
}

std::string frame(const Organisation& org) {
    const std::string site = Organisation::kSite, config = "cn=Configuration," + site;
    std::string out = "# The benchmark organisation of Quorvel (generated; @SERVER@ is the server).\n\n";
    out += "dn: o=Northwind Traders\nobjectClass: organization\no: Northwind Traders\n\n";
    out += "dn: " + site + "\nobjectClass: organizationalUnit\nou: Amsterdam\nrdn: Amsterdam\n\n";
    out += container(config, "Configuration", site);
    out += container("cn=Servers," + config, "Servers", config);
    for (const char* server : {"AMS01", "AMS02"}) {
        std::string dn = std::string("cn=") + server + ",cn=Servers," + config;
        out += container(dn, server, "cn=Servers," + config);
        out += container("cn=Microsoft Private MDB," + dn, "Microsoft Private MDB", dn);
    }
    out += container(Organisation::kRecipients, "Recipients", site);
    for (std::size_t r = 0; r < org.regionCount(); ++r)
        out += container(org.regionDn(r), org.regionName(r), Organisation::kRecipients);
    out += container("cn=Leavers," + site, "Leavers", site);
    out += std::string("dn: ") + kStaleMember + "\nobjectClass: remote-Address\ncn: Former Employee\n\n";
    out += container(Organisation::kLists, "Distribution Lists", site);
    for (const char* c : {"Departments", "Locations", "Projects", "Company-wide"})
        out += container(std::string("cn=") + c + "," + Organisation::kLists, c, Organisation::kLists);
    return out;
}

std::string dlLdif(const std::string& dn, const std::string& alias, const std::string& name, const std::string& parent,
                   const std::string& definition, const std::vector<std::string>& members = {kStaleMember}) {
    std::string out = "dn: " + dn + "\nobjectClass: groupOfNames\ncn: " + name + "\ncn: " + alias + "\nuid: " + alias +
                      "\nrdn: " + alias + "\nmail: " + alias + "@northwind.example\nrfc822Mailbox: " + alias +
                      "@northwind.example\nObj-View-Containers: " + parent +
                      "\ntextEncodedORaddress: c=US;a= ;p=Northwind Trader;o=Amsterdam;s=" + alias +
                      ";\nHide-DL-Membership: TRUE\nReport-To-Originator: TRUE\nReport-To-Owner: FALSE\n"
                      "Replication-Sensitivity: 20\ninfo: " + kNotice + "\n";
    if (!definition.empty()) out += "extension-attribute-15: QVL=" + definition + "\n";
    for (const auto& member : members) out += "member: " + member + "\n";
    return out + "\n";
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) throw std::runtime_error("cannot write " + path);
}

struct Written {
    std::size_t firstPass = 0, changePass = 0, refused = 0;
};

// The writes a pass makes in each scenario (a list over the limit is never written).
Written expectedWrites(const std::vector<Chosen>& dls, std::size_t limit) {
    Written w;
    for (const auto& dl : dls) {
        bool firstWritten = dl.before.size() <= limit;  // every list starts with a stale member
        if (firstWritten) ++w.firstPass; else ++w.refused;
        if (dl.after.size() <= limit && (!firstWritten || dl.after != dl.before)) ++w.changePass;
    }
    return w;
}

int run(const Options& o) {
    Random random(o.seed);
    Organisation org(o.people, o.maxMembers, random);
    auto dls = o.fullLists ? fullLists(org, o.fullLists, random)
                           : choose(Candidates(org, random).all(), org, o.dls, random);

    std::string seed = frame(org), manifest = "# dn\tbefore\tafter\tscope\tbase\tfilter\n";
    for (const auto& p : org.people()) seed += org.personLdif(p);
    std::string held = seed;
    for (std::size_t i = 0; i < dls.size(); ++i) {
        auto& dl = dls[i];
        std::string alias = "qvl-" + std::to_string(i + 1) + "-" + slug(dl.query.name);
        std::string parent = std::string("cn=") + containerOf(dl.query) + "," + Organisation::kLists;
        dl.dn = "cn=" + alias + "," + parent;
        std::string definition = "<LDAP://@SERVER@/" + org.baseText(dl.query) + ">;" +
                                 Organisation::storedFilter(dl.query) + ";cn,ADsPath,distinguishedName;" +
                                 dl.query.scopeText;
        seed += dlLdif(dl.dn, alias, dl.query.name, parent, definition);
        std::vector<std::string> members;
        for (std::size_t p : dl.before) members.push_back(org.personDn(org.people()[p]));
        if (members.size() > o.maxMembers) members = {kStaleMember};
        held += dlLdif(dl.dn, alias, dl.query.name, parent, definition, members);
        if (i % 30 == 0) {  // ordinary lists beside them, which a pass leaves alone
            std::string ordinary = dlLdif("cn=list-" + std::to_string(i + 1) + "," + parent,
                                          "list-" + std::to_string(i + 1), "Ordinary list " + std::to_string(i + 1),
                                          parent, "");
            seed += ordinary;
            held += ordinary;
        }
    }
    auto changes = o.fullLists
                       ? org.rotateCohorts(random)
                       : org.change(std::size_t(std::lround(double(o.people) * o.changePercent / 100.0)), random);
    for (auto& dl : dls) {
        dl.after = org.select(dl.query);
        manifest += dl.dn + "\t" + std::to_string(dl.before.size()) + "\t" + std::to_string(dl.after.size()) + "\t" +
                    std::to_string(Organisation::ldapScope(dl.query)) + "\t" + org.baseDn(dl.query) + "\t" +
                    Organisation::rfcFilter(dl.query) + "\n";
    }
    std::string changeLdif;
    for (const auto& c : changes) changeLdif += c + "\n";
    writeFile(o.out + "/seed.ldif", seed);
    writeFile(o.out + "/seed-held.ldif", held);
    writeFile(o.out + "/dls.tsv", manifest);
    writeFile(o.out + "/change.ldif", changeLdif);

    std::map<std::size_t, std::size_t> sizes;
    std::size_t total = 0, atLimit = 0, overLimit = 0;
    for (const auto& dl : dls) {
        total += dl.before.size();
        atLimit += dl.before.size() == o.maxMembers;
        overLimit += dl.before.size() > o.maxMembers;
    }
    Written w = expectedWrites(dls, o.maxMembers);
    std::printf("people %zu, Quorvel DLs %zu (%zu at exactly %zu members, %zu over it), %zu names selected in all\n",
                o.people, dls.size(), atLimit, o.maxMembers, overLimit, total);
    std::printf("writes expected: first pass %zu, second pass 0, after changing %zu people %zu\n", w.firstPass,
                changes.size(), w.changePass);
    return 0;
}

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
    try {
        return qv::bench::run(qv::bench::parseOptions(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quorvel_bench_generate: bad option %s\n%s", e.what(), qv::bench::kUsage);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel_bench_generate: %s\n", e.what());
    }
    return 2;
}
