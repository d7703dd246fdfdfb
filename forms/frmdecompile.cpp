#include "frmdecompile.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmdecompile::frmdecompile(QWidget* owner) : QDialog(owner) {
    createControls();
    connectHandlers();
}

void frmdecompile::createControls() {
    setObjectName(QStringLiteral("frmdecompile"));
    setWindowTitle(QStringLiteral("反编译 CHM文件"));
    Label1 = new QLabel(QStringLiteral("文  件  夹："), this);
    Label2 = new QLabel(QStringLiteral("CHM文件："), this);
    Text1 = new QLineEdit(this);
    Text2 = new QLineEdit(this);
    Command1 = new QPushButton(QStringLiteral("..."), this);
    Command2 = new QPushButton(QStringLiteral("..."), this);
    Command3 = new QPushButton(QStringLiteral("反编译"), this);
    Command4 = new QPushButton(QStringLiteral("取 消"), this);
    Line1 = new QFrame(this);
}

void frmdecompile::connectHandlers() {
    connect(Command1, &QPushButton::clicked, this, &frmdecompile::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmdecompile::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmdecompile::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmdecompile::Command4_Click);
}

void frmdecompile::Command1_Click() {}
void frmdecompile::Command2_Click() {}
void frmdecompile::Command3_Click() {}
void frmdecompile::Command4_Click() {
    reject();
}

void frmdecompile::reject() {
    if (!m_running) {
        QDialog::reject();
    }
}

void frmdecompile::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void openDecompileDialog(QWidget* owner) {
    frmdecompile dialog(owner);
    dialog.exec();
}
