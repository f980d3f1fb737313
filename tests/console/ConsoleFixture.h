#pragma once
// The fixture of the console tests that talk to the reference directory:
// settings, runtime folder and event log in a temporary folder, a fresh
// module state with the reader's credentials and the shared directory as
// the last server, and the binary's QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <QTreeWidgetItem>

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

    // The texts of a node's children, in order.
    static QStringList childTexts(const QTreeWidgetItem* node) {
        QStringList texts;
        for (int i = 0; node && i < node->childCount(); ++i) texts << node->child(i)->text(0);
        return texts;
    }

    static QTreeWidgetItem* childNamed(const QTreeWidgetItem* node, const QString& text) {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(0) == text) return node->child(i);
        return nullptr;
    }

    IsolatedEnvironment env_;
};

}  // namespace qv::test
