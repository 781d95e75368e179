#include "results/results_model.h"

#include "shell/apperror.h"

#include <QMetaObject>

namespace lexivane {

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::checkIndex(int index) const {
    if (index < 1 || index > Count()) throw AppError(QStringLiteral("Index out of bounds"));
}

void ResultsModel::Clear() {
    beginResetModel();
    words_.clear();
    words_.shrink_to_fit();
    checked_.clear();
    checked_.shrink_to_fit();
    published_ = 0;
    endResetModel();
}

void ResultsModel::Add(const QString& text) {
    words_.push_back(text);
    added();
}

void ResultsModel::Add(QString&& text) {
    words_.push_back(std::move(text));
    added();
}

void ResultsModel::added() {
    checked_.push_back(0);
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
    return words_[size_t(index - 1)];
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
    return words_[size_t(row - 1)];
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
    if (role == Qt::DisplayRole) return words_[size_t(index.row())];
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
