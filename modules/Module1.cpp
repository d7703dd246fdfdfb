#include "Module1.h"

#include "qt_host.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace Module1 {

FolderChooser::FolderChooser(QWidget* owner, const QString& title) : QDialog(owner) {
    setObjectName(QStringLiteral("FolderChooser"));
    setWindowTitle(title);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* caption = new QLabel(title, this);
    caption->setObjectName(QStringLiteral("captionLine"));
    caption->setTextFormat(Qt::PlainText);
    caption->setWordWrap(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Hidden folders stay out, as they do everywhere else in the program.
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QString());

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column) {
        m_tree->hideColumn(column);
    }

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setEnabled(false);
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_status);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
    resize(360, 420);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { BrowseCallbackProc(current); });
    // Folders are listed in the background; keep the start folder in view as they arrive.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_tree->currentIndex().isValid()) {
            m_tree->scrollTo(m_tree->currentIndex());
        }
    });
}

void FolderChooser::selectStart(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QFileInfo info(path);
    if (!info.isDir()) {
        return;
    }
    const QModelIndex index = m_model->index(info.absoluteFilePath());
    if (index.isValid()) {
        m_tree->setCurrentIndex(index);
        m_tree->scrollTo(index);
    }
}

QString FolderChooser::chosenFolder() const {
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid() || !m_model->isDir(current)) {
        return {};
    }
    // The model spells a drive root with its separator ("/", "C:/") and other folders
    // without one, which is what callers expect.
    return QDir::toNativeSeparators(m_model->filePath(current));
}

void FolderChooser::BrowseCallbackProc(const QModelIndex& current) {
    const QString path = current.isValid() && m_model->isDir(current)
                             ? QDir::toNativeSeparators(m_model->filePath(current))
                             : QString();
    m_ok->setEnabled(!path.isEmpty());
    if (!path.isEmpty()) {
        m_status->setText(path);
    }
}

std::string BrowseForFolder(QWidget* owner, const std::string& title, const std::string& start) {
    BrowseStartFolder = start;
    FolderChooser chooser(owner, host::toQString(title));
    chooser.selectStart(host::toQString(BrowseStartFolder));
    if (chooser.exec() != QDialog::Accepted) {
        return {};
    }
    return host::fromQString(chooser.chosenFolder());
}

} // namespace Module1
