#pragma once

#include "platform/jet/datacontrol.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <memory>

namespace kolta::query {

// The grid's view of a recordset: rows are read from the engine as the view
// scrolls, and only a bounded number of pages of them are kept here.
class RecordsetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int BatchRows = 256;
    static constexpr int PageRows = 128;
    static constexpr int CachedPages = 64;

    explicit RecordsetModel(QObject *parent = nullptr);

    // Shows another result (or none).
    void setRecordset(std::shared_ptr<jet::Recordset> recordset);
    std::shared_ptr<jet::Recordset> recordset() const { return m_recordset; }

    // Reads the whole result (the grid's last record), a batch at a time.
    void fetchAll();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex &parent = QModelIndex()) override;

    // Pages held right now (for tests of the memory bound).
    int cachedPages() const { return int(m_pages.size()); }

signals:
    // Reading further rows failed (the statement broke off part-way, or was
    // stopped); the rows read so far stay.
    void readFailed(const QString &reason);

private:
    void readMore(int rows);
    const QList<QVariantList> *page(qint64 index) const;

    std::shared_ptr<jet::Recordset> m_recordset;
    int m_rows = 0;
    mutable QHash<qint64, QList<QVariantList>> m_pages;
    mutable QList<qint64> m_pageOrder; // least recently used first
};

} // namespace kolta::query
