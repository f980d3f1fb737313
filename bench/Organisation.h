#pragma once
// The benchmark organisation: people with varied attributes, and the stored
// queries of Quorvel DLs over them, with the members each query selects.
// Everything is drawn from one seeded generator, so a seed always gives the
// same organisation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::bench {

// SplitMix64: small, fast and the same on every platform and compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::size_t below(std::size_t n);  // uniform in [0, n)
    bool chance(double p);
    std::size_t weighted(const std::vector<double>& weights);

private:
    std::uint64_t state_;
};

// The attributes a query can test.
enum class Field { Department, City, Title, Company, EmployeeType, CostCentre, Cohort, Team, EmployeeNumber };

struct Person {
    std::size_t index = 0;
    std::size_t region = 0;
    std::size_t department = 0, city = 0, title = 0, company = 0, type = 0, costCentre = 0, cohort = 0, team = 0;
    std::string uid, given, surname;
};

// One assertion "attribute=value"; a value with a leading or trailing "*" is a substring test.
struct Atom {
    Field field;
    std::string value;
};

// Any of its atoms (an "or" when there are several), or none of them when negated.
struct Term {
    std::vector<Atom> anyOf;
    bool negated = false;
};

enum class Base { Organisation, Site, Recipients, Region };

struct Query {
    Base base = Base::Site;
    std::size_t region = 0;   // with Base::Region
    bool oneLevel = false;
    std::vector<Term> terms;  // all of them, and the person class
    bool dialect = false;     // written in the designer's dialect rather than RFC 4515
    bool treePath = false;    // the base written outermost first with "/"
    std::string scopeText = "subtree";
    std::string name;         // what the DL is for, as its display name
};

class Organisation {
public:
    static constexpr const char* kOrganisation = "o=Northwind Traders";
    static constexpr const char* kSite = "ou=Amsterdam,o=Northwind Traders";
    static constexpr const char* kRecipients = "cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    static constexpr const char* kLists = "cn=Distribution Lists,ou=Amsterdam,o=Northwind Traders";

    Organisation(std::size_t people, std::size_t maxMembers, Random& random);

    const std::vector<Person>& people() const { return people_; }
    std::size_t maxMembers() const { return maxMembers_; }

    // The attribute a field is stored in, and the text of a person's value.
    static const char* attributeOf(Field field);
    std::string valueOf(const Person& person, Field field) const;
    const std::vector<std::string>& domain(Field field) const;
    std::size_t regionCount() const;
    const std::string& regionName(std::size_t region) const;
    std::string personDn(const Person& person) const;
    std::string regionDn(std::size_t region) const;

    // The indexes of the people a query selects, in index order.
    std::vector<std::size_t> select(const Query& query) const;

    std::string baseDn(const Query& query) const;
    std::string baseText(const Query& query) const;  // as the stored query writes it
    static std::string rfcFilter(const Query& query);
    static std::string storedFilter(const Query& query);
    static int ldapScope(const Query& query) { return query.oneLevel ? 1 : 2; }

    // Changes one attribute (city, department or title) of `count` people;
    // each change as an LDIF modify record.
    std::vector<std::string> change(std::size_t count, Random& random);

    // Moves one person of each cohort to the next cohort (the last one's to
    // the first): every cohort keeps its size and changes by one name going
    // and one coming. Each move as an LDIF modify record.
    std::vector<std::string> rotateCohorts(Random& random);

    std::string personLdif(const Person& person) const;

private:
    struct CompiledAtom;
    static std::size_t idOf(const Person& person, Field field);
    CompiledAtom compile(const Atom& atom) const;
    void addPerson(std::size_t index, const std::vector<std::size_t>& cohortRank, Random& random);

    std::size_t maxMembers_;
    std::vector<Person> people_;
    std::vector<std::string> cohorts_, costCentres_, teams_;
    std::vector<double> costCentreWeights_, teamWeights_;
};

}  // namespace qv::bench
