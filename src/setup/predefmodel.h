#pragma once
// The read-only view of the predefined list: a copy taken at each load, one row per
// entry with what its kind does in words and its address in lower case. Rows are made
// when drawn, so a list of a million entries opens at once. A filter shows only the
// entries whose address holds a text; it looks through the entries in slices between
// the window's other events, so even a million of them never stop the window.
#include "data/textlist.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PredefModel : public QAbstractTableModel {
public:
    explicit PredefModel(QObject* parent = nullptr);

    void setEntries(TextList entries);
    void clear() { setEntries({}); }
    // Any letter case; empty shows every entry. The rows change when the search ends.
    void setFilter(const std::string& text);
    bool searching() const { return slice_.isActive(); }
    std::size_t total() const { return entries_.size(); }
    // "7 entries", "2 of 7 entries", or that the search is still going on.
    std::string countText() const;
    // After the rows shown, or the search, changed.
    std::function<void()> onChanged;

    static std::string kindWords(char kind);
    static std::string addressText(std::string_view entry);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr std::size_t SliceEntries = 32768;  // looked at between two events

private:
    void searchSlice();
    void changed();

    TextList entries_;
    std::string needle_;                 // upper case, as the entries are
    bool filtered_ = false;              // rows_ holds the entries shown
    std::vector<std::uint32_t> rows_;
    std::vector<std::uint32_t> found_;   // of the search going on
    std::size_t searched_ = 0;
    QTimer slice_;
};
