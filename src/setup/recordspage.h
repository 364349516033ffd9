#pragma once
// The parent's page of what was refused: the children's requests waiting for an answer
// first, then the refusals grouped by site, newest first; each can be allowed (the site,
// or the page) or its site blocked whole, and a request declined.
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;
class RequestDesk;

inline constexpr const char* PrivacyText =
    "Only refused addresses and the children's requests are recorded, never the approved sites they visit.";

class RecordsPage : public QWidget {
public:
    explicit RecordsPage(QWidget* parent = nullptr);

    // Where the records come from; without it the page says records are not kept.
    void setDesk(RequestDesk* desk) { desk_ = desk; }
    // What the three actions write: the same entries as the setup window's own lists.
    // An action left unset is not offered.
    struct Entries {
        std::function<void(const std::string& site)> allowSite;
        std::function<void(const std::string& address)> allowPage;
        std::function<void(const std::string& site)> blockSite;
    };
    void setEntries(Entries entries);

    // Reads the records again.
    void refresh();

    void allowSiteClick();
    void allowPageClick();
    void blockSiteClick();
    void declineClick();

    QLabel* Note;
    QTreeWidget* RecordList;
    QPushButton* AllowSite;
    QPushButton* AllowPage;
    QPushButton* BlockSite;
    QPushButton* Decline;
    QPushButton* Refresh;

protected:
    void showEvent(QShowEvent* e) override;

private:
    struct Chosen {
        bool request = false;
        std::string address, site;
    };
    bool chosen(Chosen& c) const;
    void updateButtons();
    // Answers the requests the action covers: the one chosen, or every one on the site.
    void answer(const Chosen& c, bool approved, bool wholeSite);

    RequestDesk* desk_ = nullptr;
    Entries entries_;
};
