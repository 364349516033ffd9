#include "setup/predefmodel.h"

#include "platform/text.h"

namespace {

// "1,100,000": a parent reads a long number in groups.
std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

PredefModel::PredefModel(QObject* parent) : QAbstractTableModel(parent) {
    slice_.setInterval(0);
    QObject::connect(&slice_, &QTimer::timeout, this, [this] { searchSlice(); });
}

void PredefModel::setEntries(TextList entries) {
    slice_.stop();
    beginResetModel();
    entries_ = std::move(entries);
    filtered_ = false;
    rows_.clear();
    endResetModel();
    // A filter typed before stays and is applied to the new entries.
    const std::string needle = std::move(needle_);
    needle_.clear();
    if (!needle.empty())
        setFilter(needle);
    else
        changed();
}

void PredefModel::setFilter(const std::string& text) {
    const std::string needle = upperAZ(text);
    if (needle == needle_ && (searching() || filtered_ || needle.empty())) return;
    needle_ = needle;
    found_.clear();
    searched_ = 0;
    if (needle_.empty()) {
        slice_.stop();
        beginResetModel();
        filtered_ = false;
        rows_.clear();
        endResetModel();
    } else {
        slice_.start();
    }
    changed();
}

void PredefModel::searchSlice() {
    const std::size_t end = std::min(entries_.size(), searched_ + SliceEntries);
    for (; searched_ < end; ++searched_) {
        const std::string_view entry = entries_[searched_];
        if (entry.size() > 1 && entry.substr(1).find(needle_) != std::string_view::npos)
            found_.push_back(static_cast<std::uint32_t>(searched_));
    }
    if (searched_ < entries_.size()) return;
    slice_.stop();
    beginResetModel();
    filtered_ = true;
    rows_ = std::move(found_);
    found_.clear();
    endResetModel();
    changed();
}

void PredefModel::changed() {
    if (onChanged) onChanged();
}

std::string PredefModel::countText() const {
    if (searching()) return "Searching...";
    const std::string all = grouped(entries_.size()) + (entries_.size() == 1 ? " entry" : " entries");
    return filtered_ ? grouped(rows_.size()) + " of " + all : all;
}

std::string PredefModel::kindWords(char kind) {
    switch (kind) {
    case '1': return "Blocks: begins with";
    case '2': return "Blocks: whole site";
    case '3': return "Blocks: this page";
    case '4': return "Allows: begins with";
    case '5': return "Allows: whole site";
    default: return "Not used";
    }
}

std::string PredefModel::addressText(std::string_view entry) {
    // A "1" or "4" with no address begins every address.
    if (entry.size() <= 1) return entry == "1" || entry == "4" ? "(every address)" : "";
    return lowerAZ(std::string(entry.substr(1)));
}

int PredefModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(filtered_ ? rows_.size() : entries_.size());
}

QVariant PredefModel::data(const QModelIndex& index, int role) const {
    // A long address, cut to the column's width, shows whole in its tip.
    const bool tip = role == Qt::ToolTipRole && index.column() == 1;
    if ((role != Qt::DisplayRole && !tip) || !index.isValid() || index.row() >= rowCount()) return {};
    const std::size_t at = filtered_ ? rows_[static_cast<std::size_t>(index.row())] : static_cast<std::size_t>(index.row());
    const std::string_view entry = entries_[at];
    if (index.column() == 0) return fromAnsi(kindWords(entry.empty() ? ' ' : entry[0]));
    return fromAnsi(addressText(entry));
}

QVariant PredefModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    return section == 0 ? QString("What it does") : QString("Address or site");
}
