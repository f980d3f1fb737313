// main() of the test binaries that share one reference directory: starts it
// before the first test, stops it after the last, and prints the tail of its
// log under every failed test so that a failure shows what the server saw.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "support/ReferenceDirectory.h"

namespace qv::test {
namespace {

std::unique_ptr<ReferenceDirectory> shared;

class RefDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override { shared = std::make_unique<ReferenceDirectory>(); }
    void TearDown() override { shared.reset(); }
};

class LogOnFailure : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (info.result()->Failed() && shared)
            std::cerr << "---- slapd log (last lines) ----\n" << shared->logTail() << "----\n";
    }
};

}  // namespace

ReferenceDirectory& sharedDirectory() {
    if (!shared) shared = std::make_unique<ReferenceDirectory>();
    return *shared;
}

}  // namespace qv::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new qv::test::RefDirEnvironment);
    ::testing::UnitTest::GetInstance()->listeners().Append(new qv::test::LogOnFailure);
    return RUN_ALL_TESTS();
}
