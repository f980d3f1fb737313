#pragma once
// The fixture of the designer's dialog tests: the DL dialogs' fixture (the
// writer account, a private settings folder and event log) with a main window
// whose first title is the site.
#include <QListWidget>
#include <QStringList>
#include <memory>

#include "console/DLDialogFixture.h"

namespace qv::test {

class DesignerUiFixture : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        window_ = std::make_unique<frmMain>();
        window_->SetTitle(0, sitePath());
    }

    static QString sitePath() { return serverPath(sharedDirectory()) + "/o=Northwind Traders/ou=Amsterdam"; }

    static QStringList items(const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }
};

}  // namespace qv::test
