// The folder picker: a modal chooser of folders, owned by the window that asks, with a caption
// line, a start selection and a status line that shows the highlighted folder's full path.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

class QFileSystemModel;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace Module1 {

// The path the chooser opens on. BrowseForFolder sets it and it keeps its value afterwards.
inline std::string BrowseStartFolder;

// Shows the chooser modally over owner, with title as its caption line and start selected
// when it names an existing folder. Returns the chosen folder's full path in the host's
// spelling (a drive root with its trailing separator, any other folder without one), or an
// empty string when the user cancels.
std::string BrowseForFolder(QWidget* owner, const std::string& title, const std::string& start);

// The chooser itself: the folders of every drive in a tree, the status line above it, and
// OK and Cancel below. Only folders are listed, so only a folder can be confirmed.
class FolderChooser : public QDialog {
    Q_OBJECT

public:
    FolderChooser(QWidget* owner, const QString& title);

    // Highlights path when it is an existing folder; anything else leaves no selection.
    void selectStart(const QString& path);
    // The highlighted folder in the host's spelling; empty when nothing is highlighted.
    QString chosenFolder() const;

    // Runs whenever the highlight moves: a folder's full path goes to the status line; an
    // item without a path leaves the line as it was and cannot be confirmed.
    void BrowseCallbackProc(const QModelIndex& current);

private:
    QFileSystemModel* m_model = nullptr;
    QTreeView* m_tree = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace Module1
