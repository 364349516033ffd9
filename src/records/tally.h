#pragma once
// Refusals the request gate makes, counted where they happen and written later: one
// record a page and site (a frame: a page and address) however many requests were
// refused, so an advertisement-heavy page costs a handful of records, not thousands.
#include "records/record.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>

class Records;

class RefusalTally : public QObject {
public:
    // Fills in what only the window knows (pane, site button) and the rule that refused.
    using Complete = std::function<void(Record&)>;
    RefusalTally(Records& records, Complete complete, int delayMs = 1000);
    ~RefusalTally() override;

    // In the request gate, while the request waits: a hash look-up and an addition.
    void count(const QUrl& page, const QUrl& address, bool frame);
    // Hands what was counted to the records now.
    void flush();

    // Keys kept at once; past that, a page's further sites are counted together.
    static constexpr int KeyLimit = 512;

private:
    struct Key {
        QUrl page;
        QString where;  // a frame's address, or the host of a subresource
        bool frame;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& k, size_t seed) { return qHashMulti(seed, k.page, k.where, k.frame); }
    struct Tally {
        QByteArray sample;  // the first address refused under the key
        std::uint64_t count = 0;
    };

    Records& records_;
    Complete complete_;
    QTimer timer_;
    QHash<Key, Tally> counted_;
};
