#pragma once
// What link approval and the download read of the settings, at each use. The setup
// window answers from its controls, so a change counts at once, saved or not; tests
// and tools answer from plain values.
#include "approval/sitelist.h"
#include "data/setupfiles.h"

#include <string>
#include <vector>

class SettingsView {
public:
    virtual ~SettingsView() = default;
    // Positions of the options line (Option): the five switches, the update source and
    // time as chosen, verification.
    virtual bool option(int position) const = 0;
    virtual bool verify(int site) const = 0;  // site 1..9
    virtual const std::vector<std::string>& parentList() const = 0;
    virtual std::string updateAddress() const = 0;
    // The parent's approved sites and whole-site blocks, and whether only the approved
    // sites open (sites.dat); whether searches are sent in their safe form.
    virtual const SiteList& siteList() const {
        static const SiteList none;
        return none;
    }
    virtual bool onlyApproved() const { return false; }
    virtual bool safeSearch() const { return false; }
};

// Settings from plain values, as read from the setup files.
class PlainSettings : public SettingsView {
public:
    PlainSettings() = default;
    PlainSettings(SetupValues setup, std::vector<std::string> parent)
        : setup(std::move(setup)), parent(std::move(parent)) {}

    bool option(int position) const override { return setup.option(position); }
    bool verify(int site) const override { return site >= 1 && site <= 9 && setup.verify[site - 1]; }
    const std::vector<std::string>& parentList() const override { return parent; }
    std::string updateAddress() const override { return setup.updateAddress; }
    const SiteList& siteList() const override { return sites; }
    bool onlyApproved() const override { return onlyApprovedSites; }
    bool safeSearch() const override { return safeSearchOn; }
    void setSites(const SitesValues& v) {
        onlyApprovedSites = v.onlyApproved;
        safeSearchOn = v.safeSearch;
        sites = SiteList(storedForm(v).entries);
    }

    SetupValues setup;
    std::vector<std::string> parent;
    bool onlyApprovedSites = false;
    bool safeSearchOn = false;
    SiteList sites;
};
