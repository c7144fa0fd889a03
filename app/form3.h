#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The folder import dialog: the user picks a folder and its MP3 files are added to the play list.
// Built afresh for each use and shown with exec(); it remembers nothing between uses.
class Form3 : public QDialog {
    Q_OBJECT
public:
    // Receives the new entries, all in one call, when the user imports a folder.
    using AppendEntries = std::function<void(const QStringList&)>;

    Form3(QWidget* parent, AppendEntries appendEntries);

    // The folder open in `Dir1`.
    QString openFolder() const { return dir1Path_; }

public slots:
    void Drive1_Change();
    void CmdOk_Click();
    void CmdCancel_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool openDir1(const QString& folder);
    void openDir1Item(QListWidgetItem* item);
    void pointFile1At(const QString& folder);

    QComboBox* Drive1;
    QListWidget* Dir1;
    QPushButton* CmdOk;
    QPushButton* CmdCancel;
    QListWidget* File1;

    QString dir1Path_;
    QString file1Path_;
    AppendEntries appendEntries_;
};
