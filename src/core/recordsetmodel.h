#pragma once

#include "datacontrol.h"

#include <QAbstractTableModel>
#include <QBitArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <memory>

namespace kolta::query {

// The grid's view of a recordset. Only a bounded number of pages of rows are
// kept here. Painting never waits for the engine: a cell whose page is not
// here shows empty, and the page is read once the engine's current work has
// ended, then announced with dataChanged.
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

    // For the window's own commands, not for painting: they talk to the
    // engine at once.
    // Reads up to rows more rows of the result.
    void readMore(int rows);
    // Reads the whole result (the grid's last record); the user can stop it.
    void fetchAll();
    // Reads the pages that hold rows first..last.
    void load(int first, int last);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent = QModelIndex()) const override;
    // The view's request for more rows: read once the engine is free.
    void fetchMore(const QModelIndex &parent = QModelIndex()) override;

    // Pages held right now (for tests of the memory bound).
    int cachedPages() const { return int(m_pages.size()); }

signals:
    // Reading further rows failed (the statement broke off part-way, or was
    // stopped); the rows read so far stay.
    void readFailed(const QString &reason);

private:
    struct Page
    {
        QList<QVariantList> rows;
        QList<QBitArray> numbers;
    };
    void rowsArrived();
    void readFailedWith(const QString &reason);
    const Page *cached(qint64 index) const;
    void want(qint64 index) const;
    void loadWanted();
    bool loadPage(qint64 index);
    // Runs then once the engine is free and nothing else is reading.
    void afterEngineWork(std::function<void()> then) const;

    std::shared_ptr<jet::Recordset> m_recordset;
    int m_rows = 0;
    QHash<qint64, Page> m_pages;
    mutable QList<qint64> m_pageOrder; // least recently used first
    mutable QSet<qint64> m_wanted;
    mutable bool m_loadAsked = false;
    bool m_fetchAsked = false;
    bool m_pagesFailed = false;        // said once; no page is asked for again
    int m_shown = 0;                   // which result: reads asked for another are dropped
};

} // namespace kolta::query
