#include "viewer_models.h"

#include <QApplication>
#include <QStyle>

namespace hh {

namespace {

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

ContentsModel::ContentsModel(QObject* parent) : QAbstractItemModel(parent) {
    if (QStyle* style = QApplication::style()) {
        m_book = style->standardIcon(QStyle::SP_DirIcon);
        m_page = style->standardIcon(QStyle::SP_FileIcon);
    }
}

void ContentsModel::setDocument(const HelpDocument* document) {
    beginResetModel();
    m_document = document;
    endResetModel();
}

// Each index carries its node number; the node knows its parent and its row.
QModelIndex ContentsModel::indexOfNode(int node) const {
    if (!m_document || node < 0 || node >= static_cast<int>(m_document->contents().size()))
        return {};
    return createIndex(m_document->contents()[static_cast<std::size_t>(node)].row, 0,
                       static_cast<quintptr>(node));
}

int ContentsModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<int>(index.internalId()) : -1;
}

QModelIndex ContentsModel::index(int row, int column, const QModelIndex& parent) const {
    if (!m_document || column != 0 || row < 0)
        return {};
    const std::vector<int>& siblings =
        parent.isValid() ? m_document->contents()[static_cast<std::size_t>(nodeOf(parent))].children
                         : m_document->contentsRoots();
    if (row >= static_cast<int>(siblings.size()))
        return {};
    return createIndex(row, 0, static_cast<quintptr>(siblings[static_cast<std::size_t>(row)]));
}

QModelIndex ContentsModel::parent(const QModelIndex& child) const {
    if (!m_document || !child.isValid())
        return {};
    return indexOfNode(m_document->contents()[static_cast<std::size_t>(nodeOf(child))].parent);
}

int ContentsModel::rowCount(const QModelIndex& parent) const {
    if (!m_document)
        return 0;
    if (!parent.isValid())
        return static_cast<int>(m_document->contentsRoots().size());
    return static_cast<int>(
        m_document->contents()[static_cast<std::size_t>(nodeOf(parent))].children.size());
}

int ContentsModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant ContentsModel::data(const QModelIndex& index, int role) const {
    if (!m_document || !index.isValid())
        return {};
    const ContentsNode& node = m_document->contents()[static_cast<std::size_t>(nodeOf(index))];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return utf8(node.title);
    case Qt::DecorationRole:
        return node.children.empty() ? m_page : m_book;
    case kLocalRole:
        return utf8(node.local);
    default:
        return {};
    }
}

IndexModel::IndexModel(QObject* parent) : QAbstractListModel(parent) {}

void IndexModel::setDocument(const HelpDocument* document) {
    beginResetModel();
    m_document = document;
    m_folded.clear();
    if (document) {
        m_folded.reserve(static_cast<qsizetype>(document->index().size()));
        for (const IndexEntry& e : document->index())
            m_folded << utf8(e.keyword).toCaseFolded();
    }
    endResetModel();
}

int IndexModel::rowForPrefix(const QString& text) const {
    if (!m_document || m_folded.isEmpty())
        return -1;
    const QString wanted = text.trimmed().toCaseFolded();
    const auto& entries = m_document->index();
    int after = -1;
    for (int row = 0; row < m_folded.size(); ++row) {
        if (entries[static_cast<std::size_t>(row)].depth != 0)
            continue;
        if (m_folded[row].startsWith(wanted))
            return row;
        if (after < 0 && m_folded[row].compare(wanted) > 0)
            after = row;
    }
    return after >= 0 ? after : static_cast<int>(m_folded.size()) - 1;
}

int IndexModel::rowCount(const QModelIndex& parent) const {
    return m_document && !parent.isValid() ? static_cast<int>(m_document->index().size()) : 0;
}

QVariant IndexModel::data(const QModelIndex& index, int role) const {
    if (!m_document || !index.isValid() || index.row() >= rowCount())
        return {};
    const IndexEntry& entry = m_document->index()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString(entry.depth * 4, QLatin1Char(' ')) + utf8(entry.keyword);
    case kLocalRole:
        return entry.topics.empty() ? QString() : utf8(entry.topics.front().local);
    default:
        return {};
    }
}

} // namespace hh
