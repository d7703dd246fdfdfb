// The About box: the program's name and version, its makers, and a contact address that
// opens a new mail message when clicked.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
public:
    explicit frmAbout(QWidget* owner = nullptr);

    void cmdOK_Click();
    void lblVersion_Click();

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblVersion = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdOK = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectHandlers();
};
