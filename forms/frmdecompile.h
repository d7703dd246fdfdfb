// The decompile dialog: names a compiled help file and an output folder and has the viewer
// tool unpack the help file into a sub-folder of the output folder named after it.
#pragma once

#include <QDialog>
#include <string>

class QCloseEvent;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

class frmdecompile : public QDialog {
    Q_OBJECT

public:
    explicit frmdecompile(QWidget* owner = nullptr);

    // "..." beside the help file box: the open-file dialog.
    void Command1_Click();
    // "..." beside the folder box: the folder picker.
    void Command2_Click();
    // "反编译": runs the decompiler and waits for it.
    void Command3_Click();
    // "取 消": closes the dialog.
    void Command4_Click();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QFrame* Line1 = nullptr;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // No button is the cancel key: Esc leaves the dialog open with both boxes as they are.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void placeControls();
    void connectHandlers();

    // The open-file dialog's file name; it lasts as long as this opening of the dialog.
    std::string m_chosenFile;
    // True while the decompiler runs: the dialog then ignores requests to close.
    bool m_running = false;
};

// Shows the decompile dialog modally over owner and returns when it has closed. Each call
// opens a fresh dialog with empty boxes.
void openDecompileDialog(QWidget* owner);
