// Item models over an open help file's contents and keyword index, so that the views ask only
// for the rows they show: a help file with tens of thousands of entries opens at once.
#pragma once

#include "help_document.h"

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QIcon>
#include <QStringList>

namespace hh {

// The role under which both models give an entry's page ("dir/page.htm#anchor").
inline constexpr int kLocalRole = Qt::UserRole + 1;

class ContentsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit ContentsModel(QObject* parent = nullptr);
    // `document` may be nullptr (nothing open); it must outlive the model or be replaced.
    void setDocument(const HelpDocument* document);
    QModelIndex indexOfNode(int node) const;
    int nodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const HelpDocument* m_document = nullptr;
    QIcon m_book, m_page; // fetched once: a theme look-up per row is what makes trees slow
};

class IndexModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit IndexModel(QObject* parent = nullptr);
    void setDocument(const HelpDocument* document);
    // The first main keyword that starts with `text` (letter case aside), or failing that the
    // first that sorts at or after it; -1 when the index is empty.
    int rowForPrefix(const QString& text) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const HelpDocument* m_document = nullptr;
    QStringList m_folded; // keywords case-folded, for type-to-find
};

} // namespace hh
