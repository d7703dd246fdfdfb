#include "qt_host.h"

#include "platform/host_error.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

namespace host {

QString toQString(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string fromQString(const QString& text) {
    return text.toUtf8().toStdString();
}

namespace {

// Dialogs open over the modal dialog in front, else over the active window.
QWidget* dialogOwner() {
    QWidget* owner = QApplication::activeModalWidget();
    return owner != nullptr ? owner : QApplication::activeWindow();
}

void requireTool(const ToolCommand& command) {
    const QFileInfo info(toQString(command.program));
    if (!info.isFile() || !info.isExecutable()) {
        throw HostError("无法启动 " + command.program + "：找不到该程序或它不可执行");
    }
}

// The tool, in its working folder, with the whole argument text as one argument (never split,
// so blanks in names survive) and nothing on its input.
void prepare(QProcess& process, const ToolCommand& command) {
    requireTool(command);
    process.setProgram(toQString(command.program));
    process.setArguments(command.arguments.empty() ? QStringList()
                                                   : QStringList{toQString(command.arguments)});
    process.setWorkingDirectory(toQString(command.workingFolder));
    process.setStandardInputFile(QProcess::nullDevice());
}

} // namespace

QtMessageBoxes::QtMessageBoxes(QString applicationTitle)
    : m_applicationTitle(std::move(applicationTitle)) {}

MessageAnswer QtMessageBoxes::show(const MessageRequest& request) {
    QMessageBox box(dialogOwner());
    box.setWindowTitle(request.title.empty() ? m_applicationTitle : toQString(request.title));
    box.setText(toQString(request.text));
    box.setIcon(request.icon == MessageIcon::Question ? QMessageBox::Question
                                                      : QMessageBox::NoIcon);
    QAbstractButton* yes = nullptr;
    if (request.buttons == MessageButtons::YesNo) {
        yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
        box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(qobject_cast<QPushButton*>(yes));
    } else {
        box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    }
    box.exec();
    if (request.buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtToolRunner::startDetached(const ToolCommand& command) {
    QProcess process;
    prepare(process, command);
    if (!process.startDetached()) {
        throw HostError("无法启动 " + command.program);
    }
}

ToolOutcome QtToolRunner::runAndWait(const ToolCommand& command) {
    QProcess process;
    prepare(process, command);
    process.setProcessChannelMode(QProcess::MergedChannels);

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart || e == QProcess::Crashed) {
            loop.quit();
        }
    });
    QByteArray output;
    QObject::connect(&process, &QProcess::readyRead, &loop,
                     [&process, &output] { output += process.readAll(); });
    process.start();
    if (!process.waitForStarted(-1)) {
        throw HostError("无法启动 " + command.program + "：" + fromQString(process.errorString()));
    }
    if (process.state() != QProcess::NotRunning) {
        // Paint events still run; clicks and keys wait until the tool has ended.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    process.waitForFinished(-1);
    output += process.readAll();

    ToolOutcome outcome;
    outcome.started = true;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.output = output.toStdString();
    return outcome;
}

bool QtDesktopServices::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(toQString(url)));
}

std::optional<std::string> QtFileDialogs::openFile(const OpenFileRequest& request) {
    // "Description (*.ext)|*.ext|..." becomes Qt's "Description (*.ext);;...".
    const QStringList parts = toQString(request.filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        filters << parts[i];
    }
    QFileDialog dialog(dialogOwner(), toQString(request.title));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (!request.initialFileName.empty()) {
        dialog.selectFile(toQString(request.initialFileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return fromQString(dialog.selectedFiles().front());
}

SingleInstanceLock::SingleInstanceLock(const QString& name) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    QDir().mkpath(folder);
    m_lock =
        std::make_unique<QLockFile>(folder + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // A lock whose owner process is gone is stale: QLockFile checks the recorded process
    // and takes the lock over, so a crash does not block the next start.
    m_lock->setStaleLockTime(0);
    m_acquired = m_lock->tryLock(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

} // namespace host
