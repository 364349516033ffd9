#include "setup/predefmodel.h"

#include "platform/text.h"

void PredefModel::setEntries(TextList entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

std::string PredefModel::displayText(std::string_view entry) {
    const std::string lower = lowerAZ(std::string(entry));
    if (lower.empty()) return " ";
    return lower.substr(0, 1) + " " + lower.substr(1);
}

int PredefModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant PredefModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return fromAnsi(displayText(entries_[static_cast<size_t>(index.row())]));
}
