#pragma once
// The settings that steer processing: the DL prefix, the attribute that
// holds the definition and the logging level ("General"), and, for
// directories without the messaging layout, the organisation and the member
// an emptied DL keeps ("Directory"). Edits the module's settings in memory,
// with presets for the Quorvel defaults and the RBDL scheme.
#include <QDialog>
#include <QList>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace qv {

class frmOptions : public QDialog {
    Q_OBJECT
public:
    // Where the page of the selected tab stands, and where the others wait.
    static constexpr double ShownPageLeft = 210;
    static constexpr double HiddenPageLeft = -20000;

    explicit frmOptions(QWidget* parent = nullptr);

    void RestoreDefaults();
    void RBDLMode();
    void Apply();
    // Selects tab `index` (from 0) and shows its page.
    void SelectTab(int index);
    // Adds a tab with `page` as its page; returns the tab's index.
    int AddPage(const QString& caption, QWidget* page);

    QTabBar* tbsOptions() const { return tabs_; }
    QWidget* picOptions(int index) const { return pages_.value(index); }
    QLineEdit* txtPrefix() const { return prefix_; }
    QLineEdit* txtQuorvelField() const { return field_; }
    QComboBox* cmbLoggingLevel() const { return level_; }
    QLineEdit* txtNamingContext() const { return namingContext_; }
    QLineEdit* txtEmptyMember() const { return emptyMember_; }
    // The left edge of a page in twips.
    double PageLeft(int index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    void BuildGeneralPage(QWidget* page);
    void BuildDirectoryPage(QWidget* page);
    void LoadValues();
    void ShowPages();
    bool HandleKey(QKeyEvent* event);

    QTabBar* tabs_ = nullptr;
    QList<QWidget*> pages_;
    QList<double> pageLefts_;
    QLineEdit* prefix_ = nullptr;
    QLineEdit* field_ = nullptr;
    QComboBox* level_ = nullptr;
    QLineEdit* namingContext_ = nullptr;
    QLineEdit* emptyMember_ = nullptr;
};

}  // namespace qv
