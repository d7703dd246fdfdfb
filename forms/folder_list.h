// The folder list of the main window: the chosen folder's ancestors from the drive's root down,
// then its own sub-folders one level deeper. Activating an entry asks for that folder; the
// window decides whether the change goes through.
#pragma once

#include <QListWidget>
#include <string>
#include <vector>

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    const std::string& path() const { return m_path; }
    const std::string& root() const { return m_root; }

    // Shows folder (inside the drive whose root is root). Throws host::HostError, leaving the
    // list as it was, when the folder's sub-folders cannot be listed. Emits pathChanged when the
    // path differs from the one shown before.
    void setPath(const std::string& folder, const std::string& root);
    // Shows folder without its sub-folders, for a folder that cannot be listed: the way up to
    // the drive's root stays open. Emits pathChanged as setPath does.
    void setUnlistedPath(const std::string& folder, const std::string& root);

    // The folder an entry stands for.
    static std::string folderOf(const QListWidgetItem* item);

signals:
    void pathChanged();
    // The user activated (double-clicked, or pressed Enter on) the entry of folder.
    void folderRequested(const std::string& folder);

private:
    void show(const std::string& folder, const std::string& root,
              const std::vector<std::string>& subFolders);

    std::string m_path;
    std::string m_root;
};
