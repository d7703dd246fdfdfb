#include "folder_list.h"

#include "platform/file_system.h"
#include "platform/path_style.h"
#include "qt_host.h"

#include <QApplication>
#include <QStyle>
#include <vector>

namespace {

constexpr int kFolderRole = Qt::UserRole + 1;

// "/a/b/" -> "/a/b"; a root ("/", "C:\") keeps its separator.
std::string withoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && folder.back() == host::kSeparator &&
           !(folder.size() == 3 && folder[1] == ':')) {
        folder.pop_back();
    }
    return folder;
}

std::string child(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == host::kSeparator) {
        return folder + name;
    }
    return folder + host::kSeparator + name;
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit folderRequested(folderOf(item)); });
}

std::string FolderList::folderOf(const QListWidgetItem* item) {
    return item == nullptr ? std::string() : host::fromQString(item->data(kFolderRole).toString());
}

void FolderList::setPath(const std::string& folder, const std::string& root) {
    // Read first: a folder that cannot be listed leaves the list as it was.
    show(folder, root, host::fileSystem().listFolders(withoutTrailingSeparator(folder)));
}

void FolderList::setUnlistedPath(const std::string& folder, const std::string& root) {
    show(folder, root, {});
}

void FolderList::show(const std::string& folder, const std::string& root,
                      const std::vector<std::string>& subFolders) {
    const std::string path = withoutTrailingSeparator(folder);
    const std::string top = withoutTrailingSeparator(root.empty() ? path : root);

    // The chain of folders from the drive's root down to the chosen one.
    std::vector<std::string> chain{top};
    if (path.size() > top.size() && path.compare(0, top.size(), top) == 0) {
        std::size_t pos = top.size();
        while (pos < path.size()) {
            if (path[pos] == host::kSeparator) {
                ++pos;
                continue;
            }
            const std::size_t end = path.find(host::kSeparator, pos);
            const std::size_t stop = end == std::string::npos ? path.size() : end;
            chain.push_back(path.substr(0, stop));
            pos = stop;
        }
    } else if (path != top) {
        chain.push_back(path);
    }

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();
    int depth = 0;
    auto add = [this](const QIcon& icon, const std::string& label, const std::string& target,
                      int level) {
        auto* item = new QListWidgetItem(
            icon, QString(level * 2, QLatin1Char(' ')) + host::toQString(label), this);
        item->setData(kFolderRole, host::toQString(target));
        return item;
    };
    QListWidgetItem* current = nullptr;
    for (const auto& folderInChain : chain) {
        const std::string label = depth == 0 ? folderInChain : host::namePart(folderInChain);
        current = add(open, label, folderInChain, depth);
        ++depth;
    }
    for (const auto& name : subFolders) {
        add(closed, name, child(path, name), depth);
    }
    setCurrentItem(current);

    const bool changed = path != m_path;
    m_path = path;
    m_root = top;
    if (changed) {
        emit pathChanged();
    }
}
