#include "bench/Organisation.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>

namespace qv::bench {
namespace {

struct Weighted {
    const char* text;
    double weight;
};

const std::vector<Weighted> kDepartments = {
    {"Engineering", 18}, {"Sales", 14},   {"Support", 10},    {"Operations", 9},     {"R&D", 8},
    {"IT", 7},           {"Marketing", 6}, {"Logistics", 6},  {"Finance", 5},        {"HR", 3},
    {"Procurement", 3},  {"Quality", 3},  {"Legal", 2},       {"Facilities", 2},     {"Communications", 2},
    {"Executive Office", 0.5}};

struct City {
    const char* name;
    const char* country;
    std::size_t region;
    double weight;
};

const std::vector<std::string> kRegions = {"Europe", "Americas", "Asia-Pacific"};
const std::vector<City> kCities = {
    {"Amsterdam", "Netherlands", 0, 20}, {"Utrecht", "Netherlands", 0, 8},  {"Rotterdam", "Netherlands", 0, 8},
    {"Den Haag", "Netherlands", 0, 5},   {"Eindhoven", "Netherlands", 0, 4}, {"Brussels", "Belgium", 0, 5},
    {"Antwerp", "Belgium", 0, 2},        {"Paris", "France", 0, 6},          {"Lyon", "France", 0, 2},
    {"Berlin", "Germany", 0, 6},         {"Munich", "Germany", 0, 3},        {"London", "United Kingdom", 0, 8},
    {"Dublin", "Ireland", 0, 2},         {"Madrid", "Spain", 0, 3},          {"New York", "United States", 1, 5},
    {"Chicago", "United States", 1, 3},  {"Toronto", "Canada", 1, 2},        {"Sao Paulo", "Brazil", 1, 2},
    {"Singapore", "Singapore", 2, 3},    {"Tokyo", "Japan", 2, 2}};

const std::vector<Weighted> kTitles = {
    {"Engineer", 10},         {"Senior Engineer", 7},   {"Lead Engineer", 2},     {"Support Engineer", 5},
    {"Research Engineer", 3}, {"Account Manager", 4},   {"Manager", 5},           {"Senior Manager", 2},
    {"Director", 0.6},        {"Analyst", 6},           {"Senior Analyst", 3},    {"Consultant", 5},
    {"Specialist", 6},        {"Coordinator", 4},       {"Assistant", 3},         {"Technician", 5},
    {"Controller", 1},        {"Administrator", 3},     {"Sales Representative", 6}, {"Buyer", 2},
    {"Planner", 2},           {"Designer", 2},          {"Architect", 1.5},       {"Intern", 2}};

const std::vector<Weighted> kCompanies = {{"Northwind Traders", 85}, {"Northwind Logistics", 10}, {"Contoso Partners", 5}};
const std::vector<Weighted> kTypes = {{"Employee", 80}, {"Contractor", 15}, {"Intern", 5}};

const std::vector<std::string> kGiven = {
    "Anna", "Bas", "Carla", "Daan", "Emma", "Femke", "Gerrit", "Hanna", "Ivo", "Joost", "Karin", "Lars", "Maud",
    "Noah", "Olga", "Pieter", "Quinten", "Roos", "Sem", "Tess", "Umar", "Vera", "Wim", "Xander", "Yara", "Zoe",
    "Ahmed", "Bianca", "Chen", "Diego", "Elif", "Fatima", "Giulia", "Hiro", "Ines", "Jonas", "Kofi", "Lena",
    "Mateo", "Nadia", "Omar", "Priya", "Rafael", "Sofia", "Tomas", "Ursula", "Viktor", "Wen", "Yusuf", "Zara"};
const std::vector<std::string> kSurnames = {
    "de Vries", "Jansen", "Bakker", "Visser", "Smit", "Meijer", "Mulder", "de Boer", "de Jong", "van Dijk",
    "Bos", "Vos", "Peters", "Hendriks", "van Leeuwen", "Dekker", "Brouwer", "de Wit", "Dijkstra", "Smits",
    "de Graaf", "van der Meer", "Kok", "Jacobs", "de Haan", "Vermeulen", "van den Berg", "Schouten", "Willems",
    "Hoekstra", "Koster", "Prins", "Huisman", "Peeters", "Maes", "Dubois", "Lefevre", "Muller", "Schmidt",
    "Schneider", "Fischer", "Smith", "Brown", "Murphy", "Garcia", "Lopez", "Silva", "Tanaka", "Lim", "Wong"};

std::vector<double> weightsOf(const std::vector<Weighted>& table) {
    std::vector<double> out;
    for (const auto& w : table) out.push_back(w.weight);
    return out;
}

std::vector<std::string> textsOf(const std::vector<Weighted>& table) {
    std::vector<std::string> out;
    for (const auto& w : table) out.emplace_back(w.text);
    return out;
}

std::vector<std::string> cityNames() {
    std::vector<std::string> out;
    for (const auto& c : kCities) out.emplace_back(c.name);
    return out;
}

const std::vector<std::string>& departmentNames() {
    static const auto names = textsOf(kDepartments);
    return names;
}
const std::vector<std::string>& titleNames() {
    static const auto names = textsOf(kTitles);
    return names;
}
const std::vector<std::string>& companyNames() {
    static const auto names = textsOf(kCompanies);
    return names;
}
const std::vector<std::string>& typeNames() {
    static const auto names = textsOf(kTypes);
    return names;
}
const std::vector<std::string>& cities() {
    static const auto names = cityNames();
    return names;
}

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string slug(const std::string& text) {
    std::string out;
    for (char c : lower(text))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
    return out;
}

std::string numbered(const char* format, std::size_t n) {
    char text[64];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// Case-insensitive match of a value against an assertion with an optional
// leading and trailing "*" (as the directory's caseIgnore rules compare).
bool assertionMatches(const std::string& assertion, const std::string& value) {
    std::string a = lower(assertion), v = lower(value);
    bool anyBefore = !a.empty() && a.front() == '*';
    bool anyAfter = a.size() > 1 && a.back() == '*';
    std::string core = a.substr(anyBefore ? 1 : 0, a.size() - (anyBefore ? 1 : 0) - (anyAfter ? 1 : 0));
    if (anyBefore && anyAfter) return v.find(core) != std::string::npos;
    if (anyBefore) return v.size() >= core.size() && v.compare(v.size() - core.size(), core.size(), core) == 0;
    if (anyAfter) return v.rfind(core, 0) == 0;
    return v == core;
}

std::string atomText(const Atom& atom) { return std::string(Organisation::attributeOf(atom.field)) + "=" + atom.value; }

std::string rfcTerm(const Term& term) {
    std::string inner;
    if (term.anyOf.size() == 1) {
        inner = "(" + atomText(term.anyOf.front()) + ")";
    } else {
        inner = "(|";
        for (const auto& atom : term.anyOf) inner += "(" + atomText(atom) + ")";
        inner += ")";
    }
    return term.negated ? "(!" + inner + ")" : inner;
}

std::string dialectTerm(const Term& term) {
    if (term.negated) return "(!" + atomText(term.anyOf.front()) + ")";
    if (term.anyOf.size() == 1) return "(" + atomText(term.anyOf.front()) + ")";
    std::string inner = "(|(";
    for (const auto& atom : term.anyOf) inner += "(" + atomText(atom) + ")";
    return inner + "))";
}

}  // namespace

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::size_t Random::below(std::size_t n) { return n == 0 ? 0 : std::size_t(next() % n); }

bool Random::chance(double p) { return double(next() >> 11) * 0x1.0p-53 < p; }

std::size_t Random::weighted(const std::vector<double>& weights) {
    double total = std::accumulate(weights.begin(), weights.end(), 0.0);
    double at = double(next() >> 11) * 0x1.0p-53 * total;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (at < weights[i]) return i;
        at -= weights[i];
    }
    return weights.size() - 1;
}

Organisation::Organisation(std::size_t people, std::size_t maxMembers, Random& random) : maxMembers_(maxMembers) {
    for (std::size_t i = 0; i < 250; ++i) {
        costCentres_.push_back(numbered("CC-%03zu", 100 + i));
        costCentreWeights_.push_back(0.5 + double(random.below(100)) / 50.0);
    }
    for (std::size_t i = 0; i < 600; ++i) {
        teams_.push_back(numbered("Team-%03zu", i + 1));
        teamWeights_.push_back(1.0 / double(i + 8));  // a long tail of small teams
    }
    std::vector<std::size_t> rank(people);
    std::iota(rank.begin(), rank.end(), 0);
    for (std::size_t i = people; i > 1; --i) std::swap(rank[i - 1], rank[random.below(i)]);
    for (std::size_t c = 0; c * maxMembers_ < people; ++c) cohorts_.push_back(numbered("Cohort-%zu", c + 1));
    for (std::size_t i = 0; i < people; ++i) addPerson(i, rank, random);
}

void Organisation::addPerson(std::size_t index, const std::vector<std::size_t>& cohortRank, Random& random) {
    static const auto departmentWeights = weightsOf(kDepartments);
    static const auto titleWeights = weightsOf(kTitles);
    static const auto companyWeights = weightsOf(kCompanies);
    static const auto typeWeights = weightsOf(kTypes);
    std::vector<double> cityWeights;
    for (const auto& c : kCities) cityWeights.push_back(c.weight);

    Person p;
    p.index = index;
    p.department = random.weighted(departmentWeights);
    p.city = random.weighted(cityWeights);
    p.region = kCities[p.city].region;
    p.title = random.weighted(titleWeights);
    p.company = random.weighted(companyWeights);
    p.type = random.weighted(typeWeights);
    p.costCentre = random.weighted(costCentreWeights_);
    p.team = random.weighted(teamWeights_);
    p.cohort = cohortRank[index] / maxMembers_;
    p.given = kGiven[random.below(kGiven.size())];
    p.surname = kSurnames[random.below(kSurnames.size())];
    p.uid = lower(p.given.substr(0, 1)) + slug(p.surname) + numbered("%05zu", index + 1);
    people_.push_back(std::move(p));
}

const char* Organisation::attributeOf(Field field) {
    switch (field) {
        case Field::Department: return "department";
        case Field::City: return "l";
        case Field::Title: return "title";
        case Field::Company: return "Company";
        case Field::EmployeeType: return "employeeType";
        case Field::CostCentre: return "extension-attribute-1";
        case Field::Cohort: return "extension-attribute-2";
        case Field::Team: return "extension-attribute-3";
        case Field::EmployeeNumber: return "employeeNumber";
    }
    return "";
}

const std::vector<std::string>& Organisation::domain(Field field) const {
    switch (field) {
        case Field::Department: return departmentNames();
        case Field::City: return cities();
        case Field::Title: return titleNames();
        case Field::Company: return companyNames();
        case Field::EmployeeType: return typeNames();
        case Field::CostCentre: return costCentres_;
        case Field::Cohort: return cohorts_;
        case Field::Team: return teams_;
        case Field::EmployeeNumber: break;
    }
    throw std::logic_error("employee numbers have no fixed domain");
}

std::string Organisation::valueOf(const Person& p, Field field) const {
    switch (field) {
        case Field::Department: return departmentNames()[p.department];
        case Field::City: return cities()[p.city];
        case Field::Title: return titleNames()[p.title];
        case Field::Company: return companyNames()[p.company];
        case Field::EmployeeType: return typeNames()[p.type];
        case Field::CostCentre: return costCentres_[p.costCentre];
        case Field::Cohort: return cohorts_[p.cohort];
        case Field::Team: return teams_[p.team];
        case Field::EmployeeNumber: return numbered("E%06zu", p.index + 1);
    }
    return {};
}

std::size_t Organisation::regionCount() const { return kRegions.size(); }
const std::string& Organisation::regionName(std::size_t region) const { return kRegions.at(region); }

std::string Organisation::regionDn(std::size_t region) const {
    return "cn=" + kRegions.at(region) + "," + kRecipients;
}

std::string Organisation::personDn(const Person& person) const {
    return "cn=" + person.uid + "," + regionDn(person.region);
}

std::size_t Organisation::idOf(const Person& p, Field field) {
    switch (field) {
        case Field::Department: return p.department;
        case Field::City: return p.city;
        case Field::Title: return p.title;
        case Field::Company: return p.company;
        case Field::EmployeeType: return p.type;
        case Field::CostCentre: return p.costCentre;
        case Field::Cohort: return p.cohort;
        case Field::Team: return p.team;
        case Field::EmployeeNumber: return p.index;
    }
    return 0;
}

// An atom as a table over its field's values (an employee number: its person's index).
struct Organisation::CompiledAtom {
    Field field;
    std::vector<bool> matching;
    std::size_t person = 0;
    bool matches(const Person& p) const {
        std::size_t id = idOf(p, field);
        return field == Field::EmployeeNumber ? id == person : matching[id];
    }
};

Organisation::CompiledAtom Organisation::compile(const Atom& atom) const {
    CompiledAtom out{atom.field, {}, 0};
    if (atom.field == Field::EmployeeNumber) {
        out.person = std::stoul(atom.value.substr(1)) - 1;
        return out;
    }
    for (const auto& value : domain(atom.field)) out.matching.push_back(assertionMatches(atom.value, value));
    return out;
}

std::vector<std::size_t> Organisation::select(const Query& query) const {
    std::vector<std::pair<std::vector<CompiledAtom>, bool>> terms;
    for (const auto& term : query.terms) {
        std::vector<CompiledAtom> atoms;
        for (const auto& atom : term.anyOf) atoms.push_back(compile(atom));
        terms.emplace_back(std::move(atoms), term.negated);
    }
    std::vector<std::size_t> out;
    for (const auto& person : people_) {
        if (query.base == Base::Region && person.region != query.region) continue;
        bool all = std::all_of(terms.begin(), terms.end(), [&](const auto& term) {
            bool any = std::any_of(term.first.begin(), term.first.end(),
                                   [&](const CompiledAtom& atom) { return atom.matches(person); });
            return any != term.second;
        });
        if (all) out.push_back(person.index);
    }
    return out;
}

std::string Organisation::baseDn(const Query& query) const {
    switch (query.base) {
        case Base::Organisation: return kOrganisation;
        case Base::Site: return kSite;
        case Base::Recipients: return kRecipients;
        case Base::Region: return regionDn(query.region);
    }
    return {};
}

std::string Organisation::baseText(const Query& query) const {
    if (!query.treePath) return baseDn(query);
    std::string path = std::string(kOrganisation) + "/ou=Amsterdam";
    if (query.base == Base::Organisation) return kOrganisation;
    if (query.base == Base::Site) return path;
    path += "/cn=Recipients";
    if (query.base == Base::Region) path += "/cn=" + kRegions.at(query.region);
    return path;
}

std::string Organisation::rfcFilter(const Query& query) {
    std::string out = "(&(objectClass=organizationalPerson)";
    for (const auto& term : query.terms) out += rfcTerm(term);
    return out + ")";
}

std::string Organisation::storedFilter(const Query& query) {
    if (!query.dialect) return rfcFilter(query);
    std::string out = "(&((objectClass=organizationalPerson)";
    for (const auto& term : query.terms) out += dialectTerm(term);
    return out + "))";
}

std::vector<std::string> Organisation::change(std::size_t count, Random& random) {
    std::vector<std::size_t> order(people_.size());
    std::iota(order.begin(), order.end(), 0);
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random.below(i)]);
    std::vector<std::string> records;
    for (std::size_t k = 0; k < count && k < order.size(); ++k) {
        Person& p = people_[order[k]];
        Field field = k % 3 == 0 ? Field::City : k % 3 == 1 ? Field::Department : Field::Title;
        if (field == Field::City) {
            std::vector<std::size_t> sameRegion;
            for (std::size_t c = 0; c < kCities.size(); ++c)
                if (kCities[c].region == p.region && c != p.city) sameRegion.push_back(c);
            if (sameRegion.empty()) field = Field::Department;
            else p.city = sameRegion[random.below(sameRegion.size())];
        }
        if (field == Field::Department)
            p.department = (p.department + 1 + random.below(kDepartments.size() - 1)) % kDepartments.size();
        if (field == Field::Title) p.title = (p.title + 1 + random.below(kTitles.size() - 1)) % kTitles.size();
        std::string attribute = attributeOf(field);
        records.push_back("dn: " + personDn(p) + "\nchangetype: modify\nreplace: " + attribute + "\n" + attribute +
                          ": " + valueOf(p, field) + (field == Field::City ? "\n-\nreplace: co\nco: " +
                                                                                  std::string(kCities[p.city].country)
                                                                            : std::string()) +
                          "\n-\n");
    }
    return records;
}

std::vector<std::string> Organisation::rotateCohorts(Random& random) {
    std::vector<std::vector<std::size_t>> members(cohorts_.size());
    for (const auto& p : people_) members[p.cohort].push_back(p.index);
    std::vector<std::size_t> moving;
    for (const auto& cohort : members)
        if (!cohort.empty()) moving.push_back(cohort[random.below(cohort.size())]);
    std::vector<std::string> records;
    if (moving.size() < 2) return records;
    for (std::size_t index : moving) {
        Person& p = people_[index];
        p.cohort = (p.cohort + 1) % cohorts_.size();
        const char* attribute = attributeOf(Field::Cohort);
        records.push_back("dn: " + personDn(p) + "\nchangetype: modify\nreplace: " + attribute + "\n" + attribute +
                          ": " + valueOf(p, Field::Cohort) + "\n-\n");
    }
    return records;
}

std::string Organisation::personLdif(const Person& p) const {
    const std::string mail = p.uid + "@northwind.example";
    std::string out = "dn: " + personDn(p) + "\nobjectClass: organizationalPerson\ncn: " + p.given + " " + p.surname +
                      "\ncn: " + p.uid + "\nuid: " + p.uid + "\nrdn: " + p.uid + "\ngivenName: " + p.given +
                      "\nsn: " + p.surname + "\nmail: " + mail + "\nrfc822Mailbox: " + mail;
    for (Field f : {Field::Department, Field::Title, Field::City, Field::Company, Field::EmployeeNumber,
                    Field::EmployeeType, Field::CostCentre, Field::Cohort, Field::Team})
        out += std::string("\n") + attributeOf(f) + ": " + valueOf(p, f);
    out += "\nco: " + std::string(kCities[p.city].country);
    out += numbered("\ntelephoneNumber: +31 20 555 %04zu", p.index % 10000);
    out += "\nHome-MDB: cn=Microsoft Private MDB,cn=AMS0" + std::to_string(1 + p.index % 2) +
           ",cn=Servers,cn=Configuration," + kSite + "\n\n";
    return out;
}

}  // namespace qv::bench
