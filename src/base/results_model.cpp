#include "results_model.h"

#include "apperror.h"
#include "huge_pages.h"

#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <new>

namespace lexivane {

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::checkIndex(int index) const {
    if (index < 1 || index > Count()) throw AppError(QStringLiteral("Index out of bounds"));
}

namespace {
// Blocks start on a huge-page boundary, so that a whole block can be one huge page.
constexpr std::align_val_t kBlockAlignment{size_t(2) << 20};
} // namespace

void ResultsModel::FreeBlock::operator()(char16_t* p) const {
    ::operator delete(p, kBlockAlignment);
}

void ResultsModel::Clear() {
    beginResetModel();
    blocks_.clear();
    blockUsed_ = 0;
    words_.clear();
    words_.shrink_to_fit();
    checked_.clear();
    checked_.shrink_to_fit();
    published_ = 0;
    endResetModel();
}

namespace {
// Doubles the room when it runs out, asking for huge pages: the first fill of a long list
// then costs a few page faults instead of one per 4 KiB.
template <typename T> void makeRoom(std::vector<T>& v) {
    if (v.size() < v.capacity()) return;
    v.reserve(std::max(v.capacity() * 2, size_t(4096)));
    preferHugePages(v.data(), v.capacity() * sizeof(T));
}
} // namespace

char16_t* ResultsModel::room(size_t chars) {
    if (chars > kBlockChars || words_.size() >= size_t(INT_MAX))
        throw AppError(QStringLiteral("Out of memory"));
    if (blocks_.empty() || blockUsed_ + chars > kBlockChars) {
        constexpr size_t kBytes = kBlockChars * sizeof(char16_t);
        auto* block = static_cast<char16_t*>(::operator new(kBytes, kBlockAlignment, std::nothrow));
        if (!block) throw AppError(QStringLiteral("Out of memory"));
        // A short list stays in small pages of the first block.
        if (!blocks_.empty()) preferHugePages(block, kBytes);
        blocks_.emplace_back(block);
        blockUsed_ = 0;
    }
    makeRoom(words_);
    makeRoom(checked_);
    return blocks_.back().get() + blockUsed_;
}

void ResultsModel::append(size_t chars) {
    words_.push_back({uint32_t(blocks_.size() - 1), uint32_t(blockUsed_), uint32_t(chars)});
    blockUsed_ += chars;
    checked_.push_back(0);
    added();
}

void ResultsModel::Add(const QString& text) {
    const auto length = size_t(text.size());
    std::copy_n(text.utf16(), length, room(length));
    append(length);
}

void ResultsModel::addUtf8(QUtf8StringView text) {
    // UTF-8 never takes fewer bytes than UTF-16 takes units. Plain ASCII, most words, is
    // copied here; Qt decodes the rest.
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto n = size_t(text.size());
    char16_t* out = room(n);
    size_t ascii = 0;
    while (ascii < n && in[ascii] < 0x80) {
        out[ascii] = in[ascii];
        ++ascii;
    }
    size_t length = ascii;
    if (ascii < n) {
        const QString rest =
            QUtf8StringView(text.data() + ascii, text.size() - qsizetype(ascii)).toString();
        std::copy_n(rest.utf16(), rest.size(), out + ascii);
        length += size_t(rest.size());
    }
    append(length);
}

QString ResultsModel::word(int row) const {
    const Slice w = words_[size_t(row)];
    return QString(reinterpret_cast<const QChar*>(blocks_[w.block].get() + w.offset),
                   qsizetype(w.length));
}

void ResultsModel::added() {
    if (!publishQueued_) {
        publishQueued_ = true;
        QMetaObject::invokeMethod(this, "publish", Qt::QueuedConnection);
    }
}

void ResultsModel::publish() {
    publishQueued_ = false;
    const int total = Count();
    if (total <= published_) return;
    beginInsertRows({}, published_, total - 1);
    published_ = total;
    endInsertRows();
}

void ResultsModel::Remove(int index) {
    checkIndex(index);
    publish();
    beginRemoveRows({}, index - 1, index - 1);
    words_.erase(words_.begin() + (index - 1));
    checked_.erase(checked_.begin() + (index - 1));
    --published_;
    endRemoveRows();
}

QString ResultsModel::Text(int index) const {
    checkIndex(index);
    return word(index - 1);
}

void ResultsModel::setChecked(int index, bool checked) {
    checkIndex(index);
    checked_[size_t(index - 1)] = checked;
    if (index <= published_) {
        const QModelIndex i = this->index(index - 1, 0);
        emit dataChanged(i, i, {Qt::CheckStateRole});
    }
}

void ResultsModel::setHeaderText(const QString& text) {
    header_ = text;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

QString ResultsModel::cellText(int row, int column) const {
    checkIndex(row);
    if (column != 1) throw AppError(QStringLiteral("Index out of bounds"));
    return word(row - 1);
}

bool ResultsModel::isChecked(int row) const {
    checkIndex(row);
    return checked_[size_t(row - 1)];
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_) return {};
    if (role == Qt::DisplayRole) return word(index.row());
    if (role == Qt::CheckStateRole)
        return checked_[size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= published_) return false;
    checked_[size_t(index.row())] = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return header_;
    return {};
}

} // namespace lexivane
