#include "records/tally.h"

#include "records/records.h"

RefusalTally::RefusalTally(Records& records, Complete complete, int delayMs)
    : records_(records), complete_(std::move(complete)) {
    timer_.setSingleShot(true);
    timer_.setInterval(delayMs);
    connect(&timer_, &QTimer::timeout, this, [this] { flush(); });
}

RefusalTally::~RefusalTally() { flush(); }

void RefusalTally::count(const QUrl& page, const QUrl& address, bool frame) {
    Key key{page, frame ? QString() : address.host(), frame};
    if (frame) key.where = address.toString(QUrl::FullyEncoded);
    auto found = counted_.find(key);
    if (found == counted_.end()) {
        if (counted_.size() >= KeyLimit) key.where = QStringLiteral("*");
        found = counted_.find(key);
        if (found == counted_.end())
            found = counted_.insert(key, {address.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment), 0});
    }
    ++found->count;
    if (!timer_.isActive()) timer_.start();
}

void RefusalTally::flush() {
    timer_.stop();
    for (auto it = counted_.cbegin(); it != counted_.cend(); ++it) {
        Record r;
        r.kind = it.key().frame ? RecordKind::Frame : RecordKind::Subresources;
        r.address = it->sample.toStdString();
        r.site = it.key().where == QStringLiteral("*") ? std::string("*") : siteOf(r.address);
        r.page = pageOf(it.key().page.toEncoded(QUrl::RemoveUserInfo).toStdString());
        r.count = it->count;
        if (complete_) complete_(r);
        records_.add(std::move(r));
    }
    counted_.clear();
}
