#include "engine/MembershipChange.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qv;

namespace {
std::vector<std::string> names(std::size_t n, const std::string& stem = "cn=p") {
    std::vector<std::string> v;
    for (std::size_t i = 0; i < n; ++i) v.push_back(stem + std::to_string(i) + ",o=Org");
    return v;
}
}  // namespace

TEST(MembershipChange, OrderDoesNotMatterButCaseAndLengthDo) {
    std::vector<std::string> old{"cn=a,o=Org", "cn=b,o=Org", "cn=c,o=Org"};
    EXPECT_FALSE(CompareMembership({"cn=c,o=Org", "cn=a,o=Org", "cn=b,o=Org"}, old).changed);

    auto longer = CompareMembership({"cn=a,o=Org", "cn=b,o=Org", "cn=c,o=Org", "cn=d,o=Org"}, old);
    EXPECT_TRUE(longer.changed);
    EXPECT_TRUE(longer.firstDifference.empty());  // a length change names no difference
    EXPECT_TRUE(CompareMembership({}, old).changed);

    auto cased = CompareMembership({"cn=a,o=Org", "cn=B,o=Org", "cn=c,o=Org"}, old);
    EXPECT_TRUE(cased.changed);
    EXPECT_EQ(cased.firstDifference,
              "oc=2\r\nnc=1\r\narrNewMembers(nc)=cn=B,o=Org\r\narrOldMembers(oc)=cn=c,o=Org");
}

TEST(MembershipChange, CountsNamesNotDistinctNames) {
    // Equal lengths where every new name occurs somewhere in the old list: unchanged,
    // even though the old list holds a name twice and lacks one of the new ones' copies.
    EXPECT_FALSE(CompareMembership({"cn=a", "cn=a", "cn=b"}, {"cn=a", "cn=b", "cn=b"}).changed);
    auto missing = CompareMembership({"cn=a", "cn=z"}, {"cn=a", "cn=a"});
    EXPECT_TRUE(missing.changed);
    EXPECT_EQ(missing.firstDifference, "oc=1\r\nnc=1\r\narrNewMembers(nc)=cn=z\r\narrOldMembers(oc)=cn=a");
}

TEST(MembershipChange, LimitIsFiveThousand) {
    auto atLimit = CompareMembership(names(5000), {});
    EXPECT_TRUE(atLimit.changed);
    EXPECT_FALSE(atLimit.limitRefused);

    auto over = CompareMembership(names(5001), {});
    EXPECT_FALSE(over.changed);
    EXPECT_TRUE(over.limitRefused);
}

TEST(MembershipChange, NamesInPlaceAndNamesMovedAreFoundAlike) {
    auto held = names(5000);
    EXPECT_FALSE(CompareMembership(held, held).changed);

    // The first half in place, the rest in another order: still the same names.
    auto found = held;
    std::reverse(found.begin() + 2500, found.end());
    EXPECT_FALSE(CompareMembership(found, held).changed);

    // One name replaced after the part in place: reported at its own position.
    found[4000] = "cn=q1,o=Org";
    auto change = CompareMembership(found, held);
    EXPECT_TRUE(change.changed);
    EXPECT_EQ(change.firstDifference,
              "oc=4999\r\nnc=4000\r\narrNewMembers(nc)=cn=q1,o=Org\r\narrOldMembers(oc)=cn=p4999,o=Org");
    // And within it.
    auto first = held;
    first[0] = "cn=p0,o=ORG";
    EXPECT_EQ(CompareMembership(first, held).firstDifference,
              "oc=4999\r\nnc=0\r\narrNewMembers(nc)=cn=p0,o=ORG\r\narrOldMembers(oc)=cn=p4999,o=Org");
}

// Names respelled (the same DN) are neither added nor removed, but written: deleted as held, added as found.
TEST(MembershipChange, DeltaCountsCopiesKeepsOrderAndTellsRespellings) {
    struct Row {
        std::vector<std::string> found, held, added, removed, deleted, adds;
    };
    const std::vector<Row> rows{
        {{"a", "b", "c"}, {"c", "b", "a"}, {}, {}, {}, {}},
        {{"a", "d", "b"}, {"a", "b", "c"}, {"d"}, {"c"}, {"c"}, {"d"}},
        {{"a", "a", "b"}, {"a", "b", "b"}, {"a"}, {"b"}, {"b"}, {"a"}},
        {{}, {"x", "y"}, {}, {"x", "y"}, {"x", "y"}, {}},
        {{"B"}, {"b"}, {"B"}, {"b"}, {"b"}, {"B"}},  // no DNs: compared exactly
        {{"a"}, {"a", "a", "a"}, {}, {"a", "a"}, {"a", "a"}, {}},
        {{"cn=B,o=x", "cn=n,o=x"}, {"CN=b, O=X", "cn=o,o=x"}, {"cn=n,o=x"}, {"cn=o,o=x"},
         {"cn=o,o=x", "CN=b, O=X"}, {"cn=n,o=x", "cn=B,o=x"}},
    };
    for (const auto& row : rows) {
        const auto delta = DiffMembership(row.found, row.held);
        EXPECT_EQ(delta.added, row.added);
        EXPECT_EQ(delta.removed, row.removed);
        EXPECT_EQ(ValuesToDelete(delta), row.deleted);
        EXPECT_EQ(ValuesToAdd(delta), row.adds);
    }
}
