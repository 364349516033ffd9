#pragma once
// What the setup window needs of the main window: its two lists, its nine site
// slots and buttons, and its start-address table.
#include "data/textlist.h"

#include <QPixmap>

#include <string>
#include <vector>

class RequestDesk;

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    virtual const TextList& predefinedList() const = 0;
    virtual const TextList& mainList() const = 0;  // the approved addresses "Verify" asks
    virtual void clearStartAddresses() = 0;
    virtual void setStartAddress(int site, const std::string& address) = 0;
    virtual void showSiteSlot(int site, bool shown) = 0;
    virtual void setSiteLabel(int site, const std::string& label) = 0;
    virtual void setSitePicture(int site, const QPixmap& picture) = 0;
    // "Update Now": the indicator goes, a download starts.
    virtual void hideUpdateIndicator() = 0;
    virtual void UpdateData() = 0;
    // The children's requests and the refusals, where the program records them.
    virtual RequestDesk* requests() { return nullptr; }
};
