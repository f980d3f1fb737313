#pragma once
// The fixture of the designer's dialog tests: the console fixture (reader
// account, the shared reference directory as the last server, a private
// settings folder and event log), a main window whose first title is the
// site.
#include <QListWidget>
#include <QStringList>
#include <memory>

#include "console/ConsoleFixture.h"
#include "console/clsDialogParameter.h"
#include "console/frmMain.h"
#include "directory/clsExchangeStore.h"

namespace qv::test {

class DesignerUiFixture : public ConsoleFixture {
protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        objDialogParameter().Clear();
        main_ = std::make_unique<frmMain>();
        main_->SetTitle(0, sitePath());
    }
    void TearDown() override {
        main_.reset();
        objDialogParameter().Clear();
    }

    static QString serverPath() { return "LDAP://" + QString::fromStdString(sharedDirectory().server()); }
    static QString sitePath() { return serverPath() + "/o=Northwind Traders/ou=Amsterdam"; }

    // The store connected as the console would have it.
    static void connectStore() {
        ASSERT_TRUE(mdl().objExchangeStore->Connect(mdl().objConnection.get(), mdl().strServer));
    }

    static QStringList items(const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }

    std::unique_ptr<frmMain> main_;
};

}  // namespace qv::test
