#pragma once

// The results list: one column of words with check boxes and a header text.
// Words are appended one at a time, but views hear about them in one batch the next
// time events are processed, so a load of a few hundred thousand words costs one
// layout instead of one per word. The words are kept back to back in large blocks: a
// million words are a few allocations, not a million.

#include "report_list.h"

#include <QAbstractTableModel>
#include <QString>
#include <QUtf8StringView>
#include <cstdint>
#include <memory>
#include <vector>

namespace lexivane {

class ResultsModel : public QAbstractTableModel, public ReportList {
    Q_OBJECT
  public:
    explicit ResultsModel(QObject* parent = nullptr);

    // The list's own operations (1-based indices, as the handlers use them).
    int Count() const { return int(words_.size()); }
    void Clear();
    void Add(const QString& text);
    // The same, decoded straight into the list's own text.
    void addUtf8(QUtf8StringView text);
    void Remove(int index);
    QString Text(int index) const;
    void setChecked(int index, bool checked);
    void setHeaderText(const QString& text);
    QString headerText() const { return header_; }

  public slots:
    // Tells views about words added since the last call; runs on its own when events
    // are processed.
    void publish();

  public:
    // ReportList
    int rowCount() const override { return Count(); }
    int columnCount() const override { return 1; }
    QString cellText(int row, int column) const override;
    bool isChecked(int row) const override;

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void checkIndex(int index) const;
    void added();

    QString word(int row) const;  // 0-based
    char16_t* room(size_t chars); // in the last block, for a word of at most `chars`
    void append(size_t chars);    // the word just put in room()

    // The words' text lies back to back in blocks that never move, so appending copies
    // nothing already there; past the first, each block is one huge page where the system
    // has them. A removed word's text stays until the list is cleared.
    static constexpr size_t kBlockChars = size_t(1) << 20;
    struct FreeBlock {
        void operator()(char16_t* p) const;
    };
    std::vector<std::unique_ptr<char16_t[], FreeBlock>> blocks_;
    size_t blockUsed_ = 0; // in the last block
    struct Slice {
        uint32_t block, offset, length;
    };
    std::vector<Slice> words_;
    std::vector<char> checked_;
    int published_ = 0; // rows the views know of
    bool publishQueued_ = false;
    QString header_;
};

} // namespace lexivane
