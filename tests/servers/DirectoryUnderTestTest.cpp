// The compatibility fixture on each directory: a DL it adds in the
// directory's own schema reads back through each account as that account's
// rights allow, and survives a stop and resume of the server.
#include "support/DirectoryUnderTest.h"

namespace qv::test {
namespace {

class FixtureTest : public DirectoryTest {};

TEST_P(FixtureTest, DlReadsBackPerAccountAndSurvivesRestart) {
    auto& d = directory();
    const auto& o = d.layout();
    std::string filter = std::string("(&(objectClass=") + o.personClass + ")(" + o.department + "=Sales))";
    auto sales = d.tool(Role::Service).dns(o.peopleBase, filter);
    ASSERT_GE(sales.size(), 3u);
    auto container = d.addContainer(o.dlContainer, "fixture");
    auto dl = d.addDl(container, "qvl-fixture", d.definition(o.peopleBase, filter), {*sales.begin()});

    EXPECT_EQ(d.tool(Role::Service).values(dl, o.definitionField),
              std::vector<std::string>{d.definition(o.peopleBase, filter)});
    d.tool(Role::Service).replace(dl, "member", {sales.begin(), sales.end()});
    EXPECT_EQ(d.tool(Role::Reader).members(dl), sales);
    EXPECT_THROW(d.tool(Role::Reader).replace(dl, "member", {*sales.begin()}), std::runtime_error);
    if (d.has(Role::Blind)) {
        EXPECT_TRUE(d.tool(Role::Blind).members(dl).empty());
    }

    d.stop();
    EXPECT_FALSE(d.running());
    d.resume();
    EXPECT_TRUE(d.running());
    EXPECT_EQ(d.tool(Role::Limited).members(dl), sales);
    d.tool().remove(dl);
    d.tool().remove(container);
}

QUORVEL_ALL_DIRECTORIES(FixtureTest);

}  // namespace
}  // namespace qv::test
