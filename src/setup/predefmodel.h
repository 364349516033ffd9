#pragma once
// The read-only view of the predefined list: a copy taken at each load, shown as the
// kind code, a blank and the rest in lower case. Rows are formatted when drawn, so a
// list of a million entries opens at once.
#include "data/textlist.h"

#include <QAbstractListModel>

#include <string>
#include <vector>

class PredefModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(TextList entries);
    void clear() { setEntries({}); }
    static std::string displayText(std::string_view entry);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    TextList entries_;
};
