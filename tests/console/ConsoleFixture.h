#pragma once
// The fixture of the console tests that talk to the reference directory:
// settings, runtime folder and event log in a temporary folder, a fresh
// module state with the reader's credentials and the shared directory as
// the last server, and the binary's QApplication.
#include <gtest/gtest.h>

#include <QApplication>

#include "ConsoleTestSupport.h"
#include "core/IsolatedEnvironment.h"
#include "core/mdlMain.h"
#include "support/ReferenceDirectory.h"

namespace qv::test {

class ConsoleFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        useAccount(kReader);
        mdl().strServer = sharedDirectory().server();
    }

    static void useAccount(const Account& account) {
        mdl().objConnection->setUsername(account.user);
        mdl().objConnection->setPassword(account.password);
        mdl().objConnection->setDomain(kDomain);
        mdl().objConnection->setAdmin(false);
    }

    IsolatedEnvironment env_;
};

}  // namespace qv::test
