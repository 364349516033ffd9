#pragma once
// The parent's setup window. Its controls are the settings store of the running
// program: approval and the download read them at each use (SettingsView).
#include "approval/settings.h"
#include "approval/sites.h"

#include <QDialog>

#include <array>
#include <string>
#include <vector>

class Dialogs;
class MainWindowLink;
class PredefModel;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTabWidget;
class QToolButton;
class QTreeView;
class QWidget;
class RecordsPage;
class SourcesPage;

// An entry of "Add To List": leading "/" and blanks removed, "http://" in front unless
// already there in any case ("https://" becomes "http://"), trailing "/" and blanks
// removed. Empty: nothing to add.
std::string parentEntry(std::string text);

class TForm3 : public QDialog, public SettingsView {
public:
    TForm3(MainWindowLink& main, Dialogs& dialogs, std::string programDir, QWidget* parent = nullptr);
    ~TForm3() override;

    // SettingsView: read from the controls at each call, or, in an account that cannot
    // write the program folder itself, from what the last load read (a change counts
    // there only once a parent has stored it).
    bool option(int position) const override;
    bool verify(int site) const override;
    const std::vector<std::string>& parentList() const override { return parentBlocks_; }
    // Changes with the parent's lists: single pages, whole sites and approved ones.
    std::uint64_t parentListRevision() const { return parentRevision_; }
    std::string updateAddress() const override;
    const SiteList& siteList() const override { return sites_; }
    bool onlyApproved() const override;
    bool safeSearch() const override;

    // Adds what a parent typed (or an address of a refused page) to the parent's own
    // lists, as "Add To List" does: it counts at once and its file is written at once
    // (pardata.dat for a single blocked page, as before; sites.dat for the other kinds).
    // False when the text makes no entry of the kind, or when that site entry is there
    // already; a file that cannot be written raises, and the change stays for this run
    // where this account can write the program folder (nothing changes where it cannot).
    bool addParentEntry(ParentKind kind, const QString& typed);

    // Handlers and operations.
    void FormCreate();
    void FormShow();  // the load
    void FormHide();
    void UpdateButtons();
    void CheckBoxEnableClick(int row);  // CheckBox4Click .. CheckBox12Click
    void Button4Click();   // the gate's "OK"
    void Button16Click();  // "Change Password"
    void Edit1Click();
    void Edit15Click();    // also Edit16, Edit17
    void Button1Click();   // the save
    void Button8Click();   // "Cancel Changes & Close"
    void Button15Click();  // "Help"
    void SetupTabsChange();
    void Button2Click();   // "Most Restrictive"
    void Button3Click();   // "Least Restrictive"
    void RadioButton1Click();
    void RadioButton2Click();
    void Button6Click();   // "Add To List"
    void Button7Click();   // "Delete Selected URL"
    void ApproveButtonClick();    // "Add To List" of the approved sites
    void UnapproveButtonClick();  // "Delete Selected Site"
    void Button5Click();   // "Update Now"
    // A download's progress, and how it ended: on success the page shows the new list.
    void showUpdateProgress(const QString& text);
    void showUpdateOutcome(bool stored, const std::string& outcome);
    void pictureButtonClick(int row);  // SpeedButton1Click .. SpeedButton10Click of the rows
    void ShowButtonPanel();
    void ButtonDefault(int row);        // Button17Click .. Button25Click
    void Button9Click();   // label "Preview"
    void Button10Click();  // "Browse"
    void Button11Click();  // picture "Preview"
    void Button14Click();  // picture "Default"
    void Button12Click();  // editor "OK"
    void Button13Click();  // editor "Cancel"

    // The settings as the controls and fields hold them, in the stored layout.
    SetupValues setupValues() const;
    ButtonsValues buttonsValues() const;

    // Fields.
    std::string Password;
    std::array<std::string, 10> PictureFiles;     // 1..9
    std::array<std::string, 10> ButtonLabels;     // 1..9
    std::array<std::string, 10> DefaultPictures;  // 1..9
    int SelectedButton = 1;
    int HelpTopic = 15;

    // Bottom bar.
    QWidget* Panel5;
    QPushButton* Button1;
    QPushButton* Button8;
    QPushButton* Button15;
    QTabWidget* SetupTabs;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    RecordsPage* RecordsTab;  // what was refused and asked for (recordspage.h)

    // The gate.
    QWidget* Panel4;
    QLineEdit* Edit1;
    QPushButton* Button4;
    QLineEdit* Edit15;
    QLineEdit* Edit16;
    QLineEdit* Edit17;
    QPushButton* Button16;

    // Options page.
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox14;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox13;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox15;
    QPushButton* Button2;
    QPushButton* Button3;
    QCheckBox* SafeSearchBox;

    // Predefined blocked links page.
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QLineEdit* Edit11;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton4;
    QPushButton* Button5;
    QLabel* UpdateNote;  // no default update server in this build; lists not checked
    QLabel* UpdateOutcome;  // the last download's outcome, or the running one's progress
    QLineEdit* PredefFilter;
    QLabel* PredefCount;
    QTreeView* PredefBlocks;
    PredefModel* predefModel;

    // Parent defined blocked links page.
    QLineEdit* Edit12;
    QPushButton* Button6;
    QPushButton* Button7;
    QRadioButton* BlockPageButton;  // what "Add To List" blocks: the page,
    QRadioButton* BlockSiteButton;  // or the whole site
    QListWidget* ParentBlocks;      // the pages, then the whole sites

    // Which sites open (on the Options page), and the approved sites' own window.
    QRadioButton* EverySiteButton;
    QRadioButton* OnlyApprovedButton;
    QPushButton* ApprovedSitesButton;  // "Approved Sites...": opens ApprovedDialog
    QDialog* ApprovedDialog;
    QLineEdit* ApprovedEdit;
    QRadioButton* WholeSiteButton;  // what "Add To List" approves: the whole site,
    QRadioButton* AddressButton;    // or the address and everything under it
    QPushButton* ApproveButton;
    QPushButton* UnapproveButton;
    QListWidget* ApprovedSites;
    QPushButton* ApprovedClose;

    // The lists of sources.txt, shown only.
    SourcesPage* Sources;

    // Buttons page: rows 1..9 (index 0 unused).
    QScrollArea* ScrollBox1;
    std::array<QCheckBox*, 10> enableBox{};
    std::array<QToolButton*, 10> pictureButton{};
    std::array<QLineEdit*, 10> addressBox{};
    std::array<QCheckBox*, 10> verifyBox{};
    std::array<QPushButton*, 10> defaultButton{};
    QWidget* Panel3;

    // Button editor.
    QWidget* Panel6;
    QToolButton* SpeedButton5;
    QLineEdit* Edit13;
    QPushButton* Button9;
    QLineEdit* Edit14;
    QPushButton* Button10;
    QPushButton* Button11;
    QPushButton* Button14;
    QPushButton* Button12;
    QPushButton* Button13;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildLayout();
    void buildSitesPage();
    void connectHandlers();
    void setParentBlocks(std::vector<std::string> entries);
    void loadSites();
    void showSiteEntries();
    void addTyped(ParentKind kind, const QLineEdit* box);
    void removeSiteEntry(bool approvals, int row);  // the row-th approved site, or blocked one
    void warnOfRefusingSettings();
    // The save itself: the three files, and what they now hold. Raises when refused.
    void storeSetup();
    // After a save: what the stored settings would refuse is said, and the window closes.
    void closeAfterSave();
    bool shownOption(int position) const;  // what the controls say, saved or not
    void setDefaultButton(QPushButton* button);
    void closeGate(bool closed);
    void showUpdateNote();
    std::string picturePath(const std::string& name, int site) const;
    void previewPicture(const std::string& name);

    // Write the lists given, and show and use them (after the write only where this
    // account cannot store: there a refused write changes nothing).
    void storeParentBlocks(std::vector<std::string> pages);
    void storeSites(SiteList sites);

    MainWindowLink& main_;
    Dialogs& dialogs_;
    std::string programDir_;
    std::vector<std::string> parentBlocks_;  // the pages ParentBlocks shows, as 8-bit text
    SetupValues loaded_;                     // the settings as the last load left the controls
    SiteList sites_;                         // the whole sites it shows, and the approved ones
    SitesValues storedSites_;                // sites.dat's switches as stored, and its other lines
    std::uint64_t parentRevision_ = 0;
    bool changesCountAtOnce_ = true;         // this account can write the program folder
    QObject* keyboardGuide_ = nullptr;  // a child of this window, deleted before its controls
};
