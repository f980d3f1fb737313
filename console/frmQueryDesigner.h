#pragma once
// The query designer: one query shown as text ("Guru") and as a container,
// a list of criteria items and a depth ("Advanced"), kept in step by the
// query model. Find Now tries the query against the directory with the
// logged-on user's own rights and lists what it finds. Opened by the DL
// properties dialog (sender "frmProperties" in the parameter record, the
// query as data), OK hands the text back; opened any other way it hands
// nothing back. There is no Cancel button: closing the window (or Escape)
// discards the work.
#include <QDialog>

#include "designer/QueryModel.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTreeWidget;

namespace qv {

class frmQueryDesigner : public QDialog {
    Q_OBJECT
public:
    // The window's outer heights in twips: without and with the result list.
    static constexpr double NormalHeight = 4320;
    static constexpr double ResultsHeight = 5820;
    static constexpr int AdvancedTab = 0;
    static constexpr int GuruTab = 1;

    explicit frmQueryDesigner(QWidget* parent = nullptr);

    // Shows and enables the page of tab `index`, hides and disables the other.
    void SelectTab(int index);
    // Reads the raw text into the fields (when it is a valid query) and shows them.
    void ParseQuery();
    // The commands of the buttons and the list.
    void AddCriteria();
    void EditCriterion();
    void RemoveCriteria();
    void MoveUp();
    void MoveDown();
    void ChooseContainer();
    void ChooseDepth(int entry);
    void RunQuery();
    void ClearAll();
    void OK();

    // The query behind the controls; the criteria editor inserts through it
    // and then calls ShowCriteria.
    QueryModel& Model() { return model_; }
    const QueryModel& Model() const { return model_; }
    void ShowCriteria();

    bool FromProperties() const { return fromProperties_; }
    // The outer height in twips.
    double HeightTwips() const;
    // "0 records returned" at the start of a run, "N records returned" after it.
    QString CountText() const;

    QTabBar* tabQueryDesigner() const { return tabs_; }
    QWidget* picQuery(int index) const { return index == 2 ? advanced_ : guru_; }
    QListWidget* lstCriteria() const { return criteria_; }
    QPushButton* cmdAddCriteria() const { return add_; }
    QPushButton* cmdRemoveCriteria() const { return remove_; }
    QPushButton* cmdUp() const { return up_; }
    QPushButton* cmdDown() const { return down_; }
    QPlainTextEdit* txtQuery() const { return query_; }
    QPushButton* cmdContainer() const { return containerButton_; }
    QLineEdit* txtContainer() const { return container_; }
    QComboBox* cmbDepth() const { return depth_; }
    QPushButton* cmdRun() const { return run_; }
    QPushButton* cmdClearAll() const { return clearAll_; }
    QPushButton* cmdOK() const { return ok_; }
    QLabel* lblStatus() const { return status_; }
    QLabel* lblFilterNote() const { return filterNote_; }
    QTreeWidget* lstResults() const { return results_; }
    QLabel* lblCount() const { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void BuildAdvancedPage();
    void BuildGuruPage();
    void Load();
    void ShowModel();
    void ShowText();
    void ShowDepth();
    void ShowFilterNote();
    void UpdateListCommands();
    void QueryTextChanged();
    void SetHeight(double twips);
    void SetCountText(const QString& text);
    void ShowResult(const QString& text);
    void ShowRunError(std::int32_t number, const QString& description);

    QueryModel model_;
    bool fromProperties_ = false;
    bool showing_ = false;  // the controls are being filled from the model
    double height_ = NormalHeight;

    QTabBar* tabs_ = nullptr;
    QWidget* advanced_ = nullptr;
    QWidget* guru_ = nullptr;
    QListWidget* criteria_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QLabel* filterNote_ = nullptr;
    QPlainTextEdit* query_ = nullptr;
    QPushButton* containerButton_ = nullptr;
    QLineEdit* container_ = nullptr;
    QComboBox* depth_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* clearAll_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* results_ = nullptr;
    QLabel* count_ = nullptr;
};

// The container path of the main window (its first title), or the empty
// text when there is no main window.
QString MainWindowContainer();

}  // namespace qv
